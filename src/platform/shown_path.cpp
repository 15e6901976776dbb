#include "platform/shown_path.h"

namespace hv {

std::string ShownPath(std::string_view path) {
  constexpr std::string_view kLong = "\\\\?\\";
  constexpr std::string_view kUnc = "UNC\\";
  if (!path.starts_with(kLong)) return std::string(path);
  std::string_view rest = path.substr(kLong.size());
  if (rest.size() > kUnc.size() && (rest.substr(0, kUnc.size()) == kUnc || rest.substr(0, kUnc.size()) == "unc\\")) {
    return "\\\\" + std::string(rest.substr(kUnc.size()));
  }
  return std::string(rest);
}

}  // namespace hv
