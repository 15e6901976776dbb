#pragma once
// Splitting a command line into arguments, by the rules of the program's
// original runtime (not those of the C runtime):
//   - arguments are separated by runs of blanks and control characters
//     (every character up to and including ' ');
//   - a double quote opens a stretch that runs to the next double quote or to
//     the end of the line; it may hold blanks, and the quotes are dropped;
//     a stretch can sit anywhere inside an argument (a"b c"d is "ab cd");
//   - backslashes have no special meaning;
//   - an argument that would begin with an empty pair of quotes loses the
//     pair, so "" on its own is no argument at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Every argument of `line`, the program as written on the line first.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Argument `index` of `line` (0 is the program as written); empty when the
// line has fewer arguments.
std::string ParamStr(std::string_view line, std::size_t index);

}  // namespace hv
