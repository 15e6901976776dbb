#pragma once
// How the Linux program gets its toolkit.
//
//   ConsoleOptions options;            // from the command line
//   options.mode = ConsoleOptions::Mode::Auto;
//   options.scriptPath = "...";         // --script FILE ("-": stdin)
//   auto toolkit = MakeConsoleToolkit(options);
//   HWND other = toolkit->FindWindowA(className);
//   if (other) { toolkit->PostMessageA(other, kWmActivateInstance, 0, 0);
//                toolkit->SetForegroundWindow(other); return 0; }
//   TfrmMain main(*toolkit, className);
//   toolkit->RunMain(main);
#include <memory>
#include <stdexcept>

#include "ui/console/console_options.h"
#include "ui/console/console_toolkit.h"

namespace hv::ui::console {

class ConsoleSetupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Resolves Mode::Auto, opens the script (throws ConsoleSetupError when it
// cannot be read or the code page is unknown), points the transcript at
// stdout and diagnostics at stderr in script mode, and in interactive mode
// takes the terminal (restored when the toolkit goes, or on a fatal signal).
std::unique_ptr<ConsoleToolkit> MakeConsoleToolkit(ConsoleOptions options);

}  // namespace hv::ui::console
