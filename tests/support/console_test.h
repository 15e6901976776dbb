#pragma once
#include "ui/console/console_toolkit.h"

namespace hv::test {

// The terminal toolkit's test mode on a virtual clock, without the
// single-instance endpoint, so that tests may run side by side.
inline ui::console::ConsoleOptions TestToolkitOptions() {
  ui::console::ConsoleOptions options;
  options.mode = ui::console::ConsoleOptions::Mode::Test;
  options.virtualClock = true;
  options.singleInstance = false;
  return options;
}

}  // namespace hv::test
