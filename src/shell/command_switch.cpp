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
  const std::string first = ParamStr(commandLine, 1);
  if (EqualsUpper(first, "/SILENT")) return CommandSwitch::Silent;
  if (EqualsUpper(first, "/SCAN")) return CommandSwitch::Scan;
  return CommandSwitch::None;
}

std::string ReportPathArgument(std::string_view commandLine) { return ParamStr(commandLine, 2); }

}  // namespace hv
