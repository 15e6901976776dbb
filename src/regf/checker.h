#pragma once
// The checker: everything that makes a hive sound, listed as problems rather than stopping at
// the first (a structural fault that makes the rest unreadable ends the list).
#include <filesystem>
#include <string>
#include <vector>

namespace hv::regf {

// Empty when the hive is sound. A dirty hive is not sound.
std::vector<std::string> CheckHive(const std::filesystem::path& file);

}  // namespace hv::regf
