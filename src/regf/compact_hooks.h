#pragma once
// Seams for tests of CompactHiveFile: they damage what a check is there to catch, to prove that
// the check refuses it.
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace hv::regf {

struct CompactHooks {
  // Called on each piece of the copy (`at` its offset in the file) as it is produced, before it
  // is counted and written.
  void (*piece)(std::uint64_t at, std::uint8_t* bytes, std::size_t size) = nullptr;
  // Called with the temporary file's path after it was written and before it is read back.
  void (*written)(const std::filesystem::path& temp) = nullptr;
};

// Installs `hooks` (nullptr: none) for the compactions that follow. The hooks must outlive them.
void SetCompactHooksForTest(const CompactHooks* hooks);

}  // namespace hv::regf
