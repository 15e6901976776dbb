#include "ui/console/make_console_toolkit.h"

#include <unistd.h>

#include <fstream>
#include <iostream>

#include "ui/console/script_runner.h"
#include "ui/console/terminal_front_end.h"

namespace hv::ui::console {

std::unique_ptr<ConsoleToolkit> MakeConsoleToolkit(ConsoleOptions options) {
  if (!IsSupportedCodePage(options.codePage)) {
    throw ConsoleSetupError("unsupported code page " + std::to_string(options.codePage));
  }
  if (options.mode == ConsoleOptions::Mode::Auto) {
    if (options.scriptPath.empty() && ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
      options.mode = ConsoleOptions::Mode::Interactive;
    } else {
      options.mode = ConsoleOptions::Mode::Script;
      if (options.scriptPath.empty()) options.scriptPath = "-";
    }
  }
  std::unique_ptr<std::istream> script;
  if (options.mode == ConsoleOptions::Mode::Script) {
    if (options.scriptPath.empty() || options.scriptPath == "-") {
      script = std::make_unique<std::istream>(std::cin.rdbuf());
    } else {
      auto file = std::make_unique<std::ifstream>(options.scriptPath);
      if (!*file) throw ConsoleSetupError("cannot read script " + options.scriptPath);
      script = std::move(file);
    }
  }
  auto toolkit = std::make_unique<ConsoleToolkit>(options);
  switch (options.mode) {
    case ConsoleOptions::Mode::Script:
      toolkit->SetTranscript(&std::cout);
      toolkit->SetDiagnostics(&std::cerr);
      InstallScript(*toolkit, std::move(script));
      break;
    case ConsoleOptions::Mode::Interactive:
      toolkit->SetDiagnostics(&std::cerr);
      toolkit->SetFrontEnd(MakeTerminalFrontEnd(*toolkit));
      break;
    default:
      break;
  }
  return toolkit;
}

}  // namespace hv::ui::console
