#include "platform/offline/hibernation.h"

#include <cstring>
#include <fstream>

namespace hv::offline {

bool Hibernated(const DriveMap& drives) {
  auto file = drives.ResolveNative("C:\\hiberfil.sys");
  if (!file) return false;
  std::ifstream in(*file, std::ios::binary);
  char magic[4] = {};
  if (!in.read(magic, sizeof magic)) return false;
  return std::memcmp(magic, "hibr", 4) == 0 || std::memcmp(magic, "HIBR", 4) == 0;
}

}  // namespace hv::offline
