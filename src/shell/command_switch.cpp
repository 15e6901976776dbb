#include "shell/command_switch.h"

#include "platform/command_line.h"
#include "regf/text_case.h"

namespace hv {

CommandSwitch RecognizeSwitch(std::string_view commandLine) {
  return RecognizeSwitch(std::vector<std::string>{ParamStr(commandLine, 0), ParamStr(commandLine, 1)});
}

CommandSwitch RecognizeSwitch(const std::vector<std::string>& arguments) {
  const std::string first = arguments.size() > 1 ? arguments[1] : std::string();
  if (SameText(first, "/SILENT")) return CommandSwitch::Silent;
  if (SameText(first, "/SCAN")) return CommandSwitch::Scan;
  return CommandSwitch::None;
}

std::string ReportPathArgument(std::string_view commandLine) { return ParamStr(commandLine, 2); }

std::string ReportPathArgument(const std::vector<std::string>& arguments) {
  return arguments.size() > 2 ? arguments[2] : std::string();
}

}  // namespace hv
