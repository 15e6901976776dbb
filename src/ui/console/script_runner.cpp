#include "ui/console/script_runner.h"

#include <charconv>

#include "ui/console/console_toolkit.h"
#include "ui/console/message_box_rules.h"

namespace hv::ui::console {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

ScriptRunner::ScriptRunner(std::unique_ptr<std::istream> script) : script_(std::move(script)) {}

bool ScriptRunner::Step(ConsoleToolkit& toolkit) {
  while (!atEnd_) {
    std::string line;
    if (!std::getline(*script_, line)) {
      atEnd_ = true;
      break;
    }
    ++lineNumber_;
    const std::string_view command = Trim(line);
    if (command.empty() || command.front() == '#') continue;
    // Nested loops may pull further lines while this one runs.
    Execute(toolkit, command, lineNumber_);
    return true;
  }
  if (!toolkit.Quiet()) {
    toolkit.BeginWaitForQuiet();
    return true;
  }
  Form* active = toolkit.ActiveForm();
  if (active == nullptr) return false;
  active->Close();
  return true;
}

void ScriptRunner::Refuse(ConsoleToolkit& toolkit, int line, const std::string& why) {
  toolkit.Diagnostic("script: line " + std::to_string(line) + ": " + why);
}

void ScriptRunner::Execute(ConsoleToolkit& toolkit, std::string_view line, int number) {
  const auto space = line.find_first_of(" \t");
  const std::string_view verb = line.substr(0, space);
  const std::string_view argument = space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space));
  const std::string arg(argument);

  if (verb == "click") {
    if (arg.empty()) return Refuse(toolkit, number, "click: no name given");
    Form* form = toolkit.ActiveForm();
    const auto result = toolkit.ClickByName(arg);
    if (result != ConsoleToolkit::ClickResult::Clicked) {
      Refuse(toolkit, number, "click " + arg + ": " + ConsoleToolkit::Describe(result) +
                          (form != nullptr ? " on " + form->Name() : std::string()));
    }
  } else if (verb == "answer") {
    const auto button = ParseButton(arg);
    if (!button) return Refuse(toolkit, number, "answer: unknown button \"" + arg + "\"");
    toolkit.QueueAnswer(*button);
  } else if (verb == "close") {
    Form* form = toolkit.ActiveForm();
    if (form == nullptr) return Refuse(toolkit, number, "close: no active form");
    form->Close();
  } else if (verb == "wait") {
    toolkit.BeginWaitForQuiet();
  } else if (verb == "dump") {
    const auto lines = toolkit.DumpActiveForm();
    if (lines.empty()) return Refuse(toolkit, number, "dump: no active form");
    for (const auto& text : lines) toolkit.Transcript(text);
  } else if (verb == "sleep") {
    long long ms = -1;
    const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), ms);
    if (ec != std::errc() || end != arg.data() + arg.size() || ms < 0) {
      return Refuse(toolkit, number, "sleep: not a number of milliseconds \"" + arg + "\"");
    }
    toolkit.AdvanceClock(ms);
  } else if (auto custom = commands_.find(verb); custom != commands_.end()) {
    custom->second(toolkit, argument);
  } else {
    Refuse(toolkit, number, "unknown command \"" + std::string(verb) + "\"");
  }
}

void ScriptRunner::AddCommand(std::string name, Command command) { commands_[std::move(name)] = std::move(command); }

std::shared_ptr<ScriptRunner> InstallScript(ConsoleToolkit& toolkit, std::unique_ptr<std::istream> script) {
  auto runner = std::make_shared<ScriptRunner>(std::move(script));
  toolkit.SetIdleHandler([runner](ConsoleToolkit& tk) { return runner->Step(tk); });
  return runner;
}

}  // namespace hv::ui::console
