#pragma once
// A restore point's RestorePoint.ini read back as data (state_file_rules.h):
// the sections and keys restore_point.cpp writes and nothing else, each hive
// named by a drive-letter path of a hive of the installation, each copy at
// the place inside its own restore point that the program gives it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"

namespace hv::offline {

struct RestorePointHive {
  std::string name;              // hivelist value name
  std::string file;              // the hive, as a Windows path
  std::filesystem::path hive;    // the hive's host file
  std::filesystem::path copy;    // the copy's host file, inside the restore point
  std::uint64_t size = 0;        // the copy's size
};

struct RestorePointIndex {
  std::string time;
  std::string description;
  std::vector<RestorePointHive> hives;
  // "<index file>, line <n>: <reason>" when the index is invalid; then
  // nothing else in it is to be used.
  std::optional<std::string> problem;
};

inline constexpr const char* kRestorePointIndexName = "RestorePoint.ini";

// Where the copy of the hive `windowsFile` lies inside its restore point.
std::filesystem::path RestorePointCopyPlace(const std::string& windowsFile);

// Reads `point`/RestorePoint.ini; `isHive` tells the hives of the installation.
RestorePointIndex ReadRestorePointIndex(const std::filesystem::path& point, const DriveMap& drives,
                                        const std::function<bool(const std::filesystem::path&)>& isHive);

}  // namespace hv::offline
