#pragma once
// The files that make up one hive on disk: the hive, its transaction logs
// (<hive>.LOG1, <hive>.LOG2, names matched without regard to case), their
// fingerprint, and file identity (device and inode).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/offline/installation_state.h"

namespace hv::offline {

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// nullopt when the file cannot be stat'ed (symbolic links are not followed).
std::optional<FileId> FileIdOf(const std::filesystem::path& file);
// Both exist and are one file (two names of one inode).
bool SameFileId(const std::filesystem::path& a, const std::filesystem::path& b);

// The log `which` ("LOG1" or "LOG2") of a file: the existing entry of its
// folder named <file name>.<which> in any letter case, else that name as spelt.
std::filesystem::path LogOf(const std::filesystem::path& file, const char* which);
inline constexpr const char* kLogNames[] = {"LOG1", "LOG2"};

FileStamp StampOf(const std::filesystem::path& file);
// The hive's stamp and base-block sequence numbers (0 when it is no hive), and
// its logs' stamps.
HiveFingerprint FingerprintOf(const std::filesystem::path& hive);
// The same, with the hive given and the logs taken from `logsOf`'s logs.
HiveFingerprint FingerprintWithLogsOf(const std::filesystem::path& hive, const std::filesystem::path& logsOf);

// Whether the file begins with a hive's base block signature ("regf").
bool LooksLikeHive(const std::filesystem::path& file);

}  // namespace hv::offline
