#pragma once
// Seams for tests of CompactHiveFile: they damage what a check is there to catch, to prove that
// the check refuses it.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace hv::regf {

struct CompactHooks {
  // Called on the built image before it is verified and written.
  void (*image)(std::vector<std::uint8_t>& image) = nullptr;
  // Called with the temporary file's path after it was written and before it is read back.
  void (*written)(const std::filesystem::path& temp) = nullptr;
};

// Installs `hooks` (nullptr: none) for the compactions that follow. The hooks must outlive them.
void SetCompactHooksForTest(const CompactHooks* hooks);

}  // namespace hv::regf
