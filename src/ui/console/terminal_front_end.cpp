#include "ui/console/terminal_front_end.h"

#include "ui/console/make_console_toolkit.h"

namespace hv::ui::console {

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd(ConsoleToolkit&) {
  throw ConsoleSetupError("the interactive terminal is not available yet");
}

}  // namespace hv::ui::console
