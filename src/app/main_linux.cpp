// hivora: the Linux program. Compacts the hives of an offline Windows
// installation, with the terminal as its front end.
//
//   hivora [--root DIR | --machine FILE] [--script FILE] [/Silent | /Scan REPORT]
//   hivora --help | --version
//
// Exit codes: see UsageText (front_end_options.h).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/offline/demo_machine.h"
#include "platform/offline/front_end_options.h"
#include "platform/offline/installation_notes.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "shell/startup.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/messages.h"

namespace {

namespace fs = std::filesystem;
using hv::ui::console::ConsoleOptions;

int Fail(const std::string& message) {
  std::fprintf(stderr, "hivora: %s\n", message.c_str());
  return hv::offline::kUsageExitCode;
}

// The installation the program works on, as one absolute path.
std::string InstallationKey(const hv::offline::FrontEndOptions& options) {
  fs::path where;
  if (options.root) {
    where = *options.root;
  } else if (options.machine) {
    where = *options.machine;
  } else {
    where = options.demoFolder.empty() ? hv::offline::DefaultDemoMachineFolder() : options.demoFolder;
  }
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(fs::absolute(where, ec), ec);
  return (ec ? where : canonical).string();
}

// One instance per installation: two programs working on different
// installations do not meet, two on the same one do.
std::string InstanceNameFor(const std::string& installation) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : installation) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(hv::kInstanceName) + " " + hex;
}

ConsoleOptions ToolkitOptions(const hv::offline::FrontEndOptions& options) {
  ConsoleOptions console;
  if (options.script) {
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = options.script->string();
  } else if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
    console.mode = ConsoleOptions::Mode::Interactive;
  } else {
    // Without a terminal and without a script: the empty script, so that
    // the window is shown, the unattended modes run, and the program ends.
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = "/dev/null";
  }
  return console;
}

int Run(int argc, char** argv) {
  std::string error;
  auto options = hv::offline::ParseFrontEndOptions(argc, argv, &error);
  if (!options) return Fail(error);
  if (options->help) {
    std::fputs(hv::offline::UsageText("hivora").c_str(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("hivora (Talvix Hivora) %s\n", hv::BuiltinText(hv::kTextVersion));
    return 0;
  }
  auto platform = hv::offline::MakeOfflinePlatform(*options, &error);
  if (!platform) return Fail(error);
  const hv::offline::InstallationCheck check = hv::offline::CheckInstallation(*platform);
  if (check.refusal) {
    const std::string where = options->root ? options->root->string() + ": "
                              : options->machine ? options->machine->string() + ": "
                                                 : std::string();
    return Fail(where + *check.refusal);
  }

  std::unique_ptr<hv::ui::console::ConsoleToolkit> toolkit;
  try {
    toolkit = hv::ui::console::MakeConsoleToolkit(ToolkitOptions(*options));
  } catch (const hv::ui::console::ConsoleSetupError& e) {
    return Fail(e.what());
  }

  const std::string instanceName = InstanceNameFor(InstallationKey(*options));
  // At a restart the system asks the program to close; it closes as the
  // user would close it.
  hv::ui::Toolkit* tk = toolkit.get();
  platform->SetRestartHandler([tk, instanceName] {
    if (hv::HWND window = tk->FindWindowA(instanceName.c_str()); window != nullptr) {
      tk->PostMessageA(window, hv::ui::kWmClose, 0, 0);
    }
  });
  if (toolkit->Options().mode == ConsoleOptions::Mode::Interactive) {
    // The terminal names the installation and, for the selected hive, the
    // host files an analysis reads and writes.
    const hv::offline::OfflinePlatform* offline = platform.get();
    hv::ui::console::ConsoleToolkit::ScreenNotes notes;
    notes.title = [title = hv::offline::InstallationTitle(*options, *platform)] { return title; };
    notes.rowInfo = [offline](const hv::ui::ListView& list, int row) -> std::string {
      if (row < 0 || static_cast<std::size_t>(row) >= list.Rows().size()) return {};
      const auto& data = list.Rows()[static_cast<std::size_t>(row)];
      return hv::offline::HiveRowNote(*offline, data.caption, data.subItems.size() > 1 ? data.subItems[1] : "");
    };
    toolkit->SetScreenNotes(std::move(notes));
    // A line printed on the terminal would be drawn over at once: with no
    // desktop to open it, the address is shown where it can be read and copied.
    hv::ui::console::ConsoleToolkit* shown = toolkit.get();
    platform->SetOpenNotice([shown](const std::string& address, bool opened) {
      if (opened) return;
      shown->MessageBoxA(nullptr, "No web browser could be opened here. The address is:\n\n" + address,
                         hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
    });
    if (!check.warnings.empty()) {
      std::string text;
      for (const std::string& warning : check.warnings) text += (text.empty() ? "" : "\n\n") + warning;
      hv::ui::console::ConsoleToolkit* console = toolkit.get();
      toolkit->PostTask([console, text] {
        console->MessageBoxA(nullptr, text, hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
      });
    }
  } else {
    for (const std::string& warning : check.warnings) std::fprintf(stderr, "hivora: warning: %s\n", warning.c_str());
  }
  hv::SetPlatform(std::move(platform));
  return hv::RunApplication(*toolkit, instanceName);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hivora: %s\n", e.what());
    return 1;
  }
}
