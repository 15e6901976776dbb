#pragma once
// Facts about a hive file for a person to read.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "regf.h"

namespace hv::regf {

struct HiveInfo {
  std::uint32_t major = 0, minor = 0;
  std::uint32_t primarySeq = 0, secondarySeq = 0;
  bool checksumOk = false;
  std::uint64_t lastWritten = 0;
  std::uint64_t fileSize = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t bins = 0;
  std::uint32_t allocatedCells = 0;
  std::uint32_t freeCells = 0;
  std::uint64_t freeBytes = 0;
  std::string rootName;
  bool treeRead = false;  // false when the tree is broken: counts below are unknown
  std::string treeProblem;
  std::uint64_t keys = 0, values = 0;
};

// Reads what can be read, dirty hives included; fails only when the base block or bins are
// unreadable. A clean hive is read through a window of its bins (kTreeWindowBytes), anything the
// windowed reader refuses whole, so the answer is the same either way.
Status ReadHiveInfo(const std::filesystem::path& file, HiveInfo& info);
// ReadHiveInfo's two ways of reading the file, apart, for the tests that hold them to one answer:
// the whole file, and a window of `windowBytes` (nullopt, `info` untouched, when the windowed
// reader refuses the file).
Status ReadHiveInfoWhole(const std::filesystem::path& file, HiveInfo& info);
std::optional<Status> ReadHiveInfoWindowed(const std::filesystem::path& file, std::size_t windowBytes, HiveInfo& info);
std::string FormatHiveInfo(const HiveInfo& info);

}  // namespace hv::regf
