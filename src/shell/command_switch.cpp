#include "shell/command_switch.h"

#include "platform/command_line.h"

namespace hv {
namespace {
bool EqualsUpper(const std::string& argument, std::string_view upper) {
  if (argument.size() != upper.size()) return false;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    char c = argument[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}
}  // namespace

CommandSwitch RecognizeSwitch(std::string_view commandLine) {
  return RecognizeSwitch(std::vector<std::string>{ParamStr(commandLine, 0), ParamStr(commandLine, 1)});
}

CommandSwitch RecognizeSwitch(const std::vector<std::string>& arguments) {
  const std::string first = arguments.size() > 1 ? arguments[1] : std::string();
  if (EqualsUpper(first, "/SILENT")) return CommandSwitch::Silent;
  if (EqualsUpper(first, "/SCAN")) return CommandSwitch::Scan;
  return CommandSwitch::None;
}

std::string ReportPathArgument(std::string_view commandLine) { return ParamStr(commandLine, 2); }

std::string ReportPathArgument(const std::vector<std::string>& arguments) {
  return arguments.size() > 2 ? arguments[2] : std::string();
}

}  // namespace hv
