#include "shell/command_switch.h"

#include "platform/command_line.h"
#include "platform/text_case.h"

namespace hv {

CommandSwitch RecognizeSwitch(std::string_view commandLine) {
  const std::string first = ParamStr(commandLine, 1);
  if (SameText(first, "/SILENT")) return CommandSwitch::Silent;
  if (SameText(first, "/SCAN")) return CommandSwitch::Scan;
  return CommandSwitch::None;
}

std::string ReportPathArgument(std::string_view commandLine) { return ParamStr(commandLine, 2); }

}  // namespace hv
