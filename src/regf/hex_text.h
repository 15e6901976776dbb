#pragma once
// Offsets and checksums in messages: "0x" and lower-case hex digits.
#include <cstdint>
#include <cstdio>
#include <string>

namespace hv::regf {

inline std::string Hex(std::uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace hv::regf
