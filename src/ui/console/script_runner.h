#pragma once
// Drives the toolkit from a script, one command a line, pulled whenever the
// innermost loop is idle (so the lines after a click that opened a modal
// form run inside that form's loop):
//
//   click NAME      clicks a control or menu item of the active form
//   answer BUTTON   the next message box is answered OK / Cancel / Yes / No
//   close           closes the active form as its close box would
//   wait            waits until nothing is queued and no worker runs
//   dump            prints the active form (form_dump.h)
//   sleep MS        advances a virtual clock, or runs the loop for MS ms
//
// Blank lines and lines starting with '#' are skipped. A command that cannot
// be carried out is reported on the diagnostics stream as
// "script: line N: ..." and the script goes on. At its end the runner waits
// for quiet, then closes the active form, again and again, until the main
// form is closed as by its Exit button.
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace hv::ui::console {

class ConsoleToolkit;

class ScriptRunner {
 public:
  explicit ScriptRunner(std::unique_ptr<std::istream> script);
  // One idle step; an idle handler for ConsoleToolkit::SetIdleHandler.
  bool Step(ConsoleToolkit& toolkit);
  int LineNumber() const { return lineNumber_; }
  // Adds a command of a test's own (say, releasing a fake save); it gets the
  // rest of its line, trimmed. Built-in commands cannot be replaced.
  using Command = std::function<void(ConsoleToolkit&, std::string_view argument)>;
  void AddCommand(std::string name, Command command);
  bool AtEnd() const { return atEnd_; }

 private:
  void Execute(ConsoleToolkit& toolkit, std::string_view line, int number);
  static void Refuse(ConsoleToolkit& toolkit, int line, const std::string& why);

  std::unique_ptr<std::istream> script_;
  std::map<std::string, Command, std::less<>> commands_;
  int lineNumber_ = 0;
  bool atEnd_ = false;
};

// Installs a runner for `script` as the toolkit's idle handler; the runner
// is returned for AddCommand.
std::shared_ptr<ScriptRunner> InstallScript(ConsoleToolkit& toolkit, std::unique_ptr<std::istream> script);

}  // namespace hv::ui::console
