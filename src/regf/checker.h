#pragma once
// The checker: everything that makes a hive sound, listed as problems rather than stopping at
// the first (a structural fault that makes the rest unreadable ends the list).
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hv::regf {

class Hive;

// Empty when the hive is sound. A dirty hive is not sound. A clean hive is read through a window
// of its bins (kTreeWindowBytes), so memory stays bounded whatever its size; a file the windowed
// reader refuses (dirty, a wrong checksum, a broken or truncated bin chain, unreadable) is read
// whole, so that its problems are listed as they always were.
std::vector<std::string> CheckHive(const std::filesystem::path& file);
// CheckHive's two ways of reading the file, apart, for the tests that hold them to one list: the
// whole file, and a window of `windowBytes` (nullopt when the windowed reader refuses the file).
std::vector<std::string> CheckHiveWhole(const std::filesystem::path& file);
std::optional<std::vector<std::string>> CheckHiveWindowed(const std::filesystem::path& file, std::size_t windowBytes);

// The rules of the tree CheckHive applies, for a hive already loaded (the compactor's source,
// so that it copies exactly what the checker calls sound). Empty when the tree is sound.
std::vector<std::string> CheckTree(const Hive& hive);

}  // namespace hv::regf
