#include "platform/offline/instance_name.h"

#include <cstdint>
#include <cstdio>

namespace hv::offline {

std::string InstanceNameFor(const std::string& base, const std::string& identity) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : identity) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return base + " " + hex;
}

}  // namespace hv::offline
