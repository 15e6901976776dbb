#pragma once
// Questions about one file, asked through the platform interface.
#include <cstdint>
#include <string>

namespace hv {

// A file's size in bytes: 0 when no file of that name exists, -1 when it
// cannot be examined. The full 64-bit size.
std::int64_t HiveFileSize(const std::string& path);

// A file (not a folder) of that name exists.
bool FileExists(const std::string& path);

}  // namespace hv
