#pragma once
// The command-line switch of the unattended modes: the first argument only,
// compared whole and without regard to ASCII letter case.
#include <string>
#include <string_view>
#include <vector>

namespace hv {

enum class CommandSwitch { None, Silent, Scan };

// `commandLine` as GetCommandLineA gives it, the program first.
CommandSwitch RecognizeSwitch(std::string_view commandLine);
// The arguments as Platform::CommandLineArguments gives them, the program first.
CommandSwitch RecognizeSwitch(const std::vector<std::string>& arguments);

// Argument 2 of the line: the report file of "/Scan" (may be empty).
std::string ReportPathArgument(std::string_view commandLine);
std::string ReportPathArgument(const std::vector<std::string>& arguments);

}  // namespace hv
