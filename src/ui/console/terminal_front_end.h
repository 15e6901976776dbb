#pragma once
// The interactive front end: draws the forms on the terminal and turns keys
// into clicks, answers and choices.
#include <memory>

#include "ui/console/front_end.h"

namespace hv::ui::console {

class ConsoleToolkit;

// Takes the terminal (raw mode, alternate screen) for the front end's life.
std::unique_ptr<FrontEnd> MakeTerminalFrontEnd(ConsoleToolkit& toolkit);

}  // namespace hv::ui::console
