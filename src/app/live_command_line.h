#pragma once
// The live Windows program's own options, taken out of its command line
// wherever they stand before the application sees the rest:
//   --json FILE (or --json=FILE)  each hive's result and the exit code, as JSON
#include <optional>
#include <string>
#include <vector>

namespace hv::app {

struct LiveCommandLine {
  std::vector<std::string> arguments;  // what the application sees, the program first
  std::optional<std::string> json;
};

// nullopt with *problem (one line) when an option is malformed: without its
// value, or given twice.
std::optional<LiveCommandLine> TakeLiveOptions(const std::vector<std::string>& argv, std::string* problem);

}  // namespace hv::app
