#include "app/live_command_line.h"

namespace hv::app {

std::optional<LiveCommandLine> TakeLiveOptions(const std::vector<std::string>& argv, std::string* problem) {
  constexpr const char kJson[] = "--json";
  constexpr const char kJsonEquals[] = "--json=";
  LiveCommandLine line;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (i == 0 || (arg != kJson && arg.rfind(kJsonEquals, 0) != 0)) {
      line.arguments.push_back(arg);
      continue;
    }
    std::string value;
    if (arg != kJson) {
      value = arg.substr(sizeof kJsonEquals - 1);
    } else if (i + 1 < argv.size()) {
      value = argv[++i];
    }
    if (value.empty()) {
      *problem = "option --json needs a value";
      return std::nullopt;
    }
    if (line.json) {
      *problem = "option --json is given twice";
      return std::nullopt;
    }
    line.json = value;
  }
  return line;
}

}  // namespace hv::app
