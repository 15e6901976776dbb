#pragma once
// Facts about a hive file for a person to read.
#include <cstdint>
#include <filesystem>
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
// unreadable.
Status ReadHiveInfo(const std::filesystem::path& file, HiveInfo& info);
std::string FormatHiveInfo(const HiveInfo& info);

}  // namespace hv::regf
