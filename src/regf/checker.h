#pragma once
// The checker: everything that makes a hive sound, listed as problems rather than stopping at
// the first (a structural fault that makes the rest unreadable ends the list).
#include <filesystem>
#include <string>
#include <vector>

namespace hv::regf {

class Hive;

// Empty when the hive is sound. A dirty hive is not sound.
std::vector<std::string> CheckHive(const std::filesystem::path& file);

// The rules of the tree CheckHive applies, for a hive already loaded (the compactor's source,
// so that it copies exactly what the checker calls sound). Empty when the tree is sound.
std::vector<std::string> CheckTree(const Hive& hive);

}  // namespace hv::regf
