#include "platform/offline/full_path.h"

#include <cstring>

#include "platform/offline/drive_map.h"

namespace hv::offline {

std::string FullDrivePath(std::string_view path) {
  std::string full(path.substr(0, 2));
  for (const std::string& part : SplitPath(path.substr(2))) full += "\\" + part;
  const char last = path.back();
  if (full.size() == 2 || last == '\\' || last == '/') return full + "\\";
  while (full.back() == '.' || full.back() == ' ') full.pop_back();  // stops at the separator before
  return full;
}

DWORD StoreFullPath(const std::string& full, DWORD bufferLength, char* buffer, char** filePart) {
  const DWORD length = static_cast<DWORD>(full.size());
  if (buffer == nullptr || bufferLength < length + 1) return length + 1;
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  if (filePart != nullptr) {
    const std::size_t slash = full.find_last_of("\\/");
    *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
  }
  return length;
}

}  // namespace hv::offline
