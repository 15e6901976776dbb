#pragma once
// The command-line switch of the unattended modes: the first argument only,
// compared whole and without regard to ASCII letter case.
#include <string>
#include <string_view>

namespace hv {

enum class CommandSwitch { None, Silent, Scan };

// `commandLine` as GetCommandLineA gives it, the program first.
CommandSwitch RecognizeSwitch(std::string_view commandLine);

// Argument 2 of the line: the report file of "/Scan" (may be empty).
std::string ReportPathArgument(std::string_view commandLine);

}  // namespace hv
