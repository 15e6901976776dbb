#include "platform/file_queries.h"

#include <vector>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace hv {

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = Os().GetFileAttributesA(path.c_str());
  return attributes != file::kInvalidFileAttributes && (attributes & file::kAttributeDirectory) == 0;
}

std::int64_t HiveFileSize(const std::string& path) {
  if (!FileExists(path)) return 0;
  std::vector<char> full(260);
  DWORD n = Os().GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n + 1);
    n = Os().GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return -1;
  FindDataA found;
  UniqueFind find(Os().FindFirstFileA(full.data(), &found));
  if (!find) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                                   found.nFileSizeLow);
}

}  // namespace hv
