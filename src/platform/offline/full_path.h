#pragma once
// GetFullPathNameA's rules: the full form of a drive path and the buffer rule
// of the answer.
#include <string>
#include <string_view>

#include "platform/types.h"

namespace hv::offline {

// "X:..." with '\' separators, "." and ".." applied and empty components
// dropped; a trailing separator stays, and the drive alone is its root "X:\".
// Without a trailing separator, the last component loses its trailing dots
// and blanks, as Windows trims them.
std::string FullDrivePath(std::string_view path);

// Stores `full` and its NUL: returns its length, or the size needed (with the
// NUL) when `buffer` is null or too small. *filePart, when asked for, points
// at the last component in `buffer`, or is null when `full` ends in a separator.
DWORD StoreFullPath(const std::string& full, DWORD bufferLength, char* buffer, char** filePart);

}  // namespace hv::offline
