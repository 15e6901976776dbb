#include "platform/command_line.h"

namespace hv {

namespace {
bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Reads the argument that starts at or after `pos`; false when none is left.
bool NextArgument(std::string_view line, std::size_t& pos, std::string& argument) {
  const std::size_t end = line.size();
  for (;;) {
    while (pos < end && IsSeparator(line[pos])) ++pos;
    if (pos + 1 < end && line[pos] == '"' && line[pos + 1] == '"') {
      pos += 2;
    } else {
      break;
    }
  }
  if (pos >= end) return false;
  argument.clear();
  while (pos < end && !IsSeparator(line[pos])) {
    if (line[pos] == '"') {
      ++pos;
      while (pos < end && line[pos] != '"') argument += line[pos++];
      if (pos < end) ++pos;
    } else {
      argument += line[pos++];
    }
  }
  return true;
}
}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t pos = 0;
  std::string argument;
  while (NextArgument(line, pos, argument)) arguments.push_back(argument);
  return arguments;
}

std::string ParamStr(std::string_view line, std::size_t index) {
  std::size_t pos = 0;
  std::string argument;
  for (std::size_t i = 0; NextArgument(line, pos, argument); ++i) {
    if (i == index) return argument;
  }
  return {};
}

}  // namespace hv
