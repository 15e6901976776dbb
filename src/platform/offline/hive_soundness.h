#pragma once
// Whether a hive file is fit to be put back in place of a hive: what the
// checker of the hive tool accepts (base block, bins, cells, the whole tree),
// or a dirty hive that its logs recover into a sound tree. Nothing is written.
#include <filesystem>
#include <optional>
#include <string>

namespace hv::offline {

// Why the file is not a sound hive; nullopt when it is one.
std::optional<std::string> WhyNotSoundHive(const std::filesystem::path& file);

}  // namespace hv::offline
