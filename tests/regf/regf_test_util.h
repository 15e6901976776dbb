#pragma once
// Shared helpers of the hive engine tests: image patching, sample hive lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "regf/fixture.h"
#include "regf/format.h"
#include "regf/hive.h"
#include "support/shared_hives.h"
#include "support/temp_dir.h"

namespace hv::test {

using ScratchDir = TempDir;

inline void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& b) {
  WriteWholeFile(p, std::string(b.begin(), b.end()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  const std::string bytes = ReadWholeFile(p);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// Rewrites the base block checksum after a patch, so that only the intended fault remains.
inline void FixChecksum(std::vector<std::uint8_t>& image) {
  regf::Wr32(image.data() + 508, regf::BaseBlockChecksum(image.data()));
}

// Byte offset in the image of the data of the cell at bins offset `cell`.
inline std::size_t CellData(std::uint32_t cell) { return regf::kBaseBlockSize + cell + 4; }

// A small clean hive: root with keys A (values) and B\C, for patching.
inline regf::FixtureBuilder SmallFixture(std::uint32_t minor = 5) {
  regf::FixtureBuilder b(minor);
  auto& a = b.Root().AddKey("A");
  a.SetString("Name", "value").SetDword("Number", 7);
  b.Root().AddKey("B\\C").SetBinary("Blob", std::vector<std::uint8_t>(100, 0xAB));
  return b;
}

inline std::vector<std::filesystem::path> SampleHives(const std::vector<std::string>& relative) {
  std::vector<std::filesystem::path> out;
  for (const auto& r : relative) out.push_back(SharedHivesDir() / r);
  return out;
}

inline const std::vector<std::string>& CleanHives() {
  static const std::vector<std::string> list = {
      "windows/NTUSER.DAT", "windows/SYSTEM", "windows/SAM", "windows/BCD", "windows/ntuser_software_partial",
      "windows/NTUSER-WSL.DAT", "yarp/BigDataHive", "yarp/ManySubkeysHive", "yarp/UnicodeHive",
      "yarp/ExtendedASCIIHive", "yarp/UpcaseHive", "yarp/MultiSzHive", "yarp/StringValuesHive",
      "yarp/TwoOwnersHive", "yarp/EmptyHive", "yarp/CompHive", "yarp/NewFlagsHive", "yarp/OffHive",
      "yarp/System_Delta", "yarp/NewDirtyHive1/RecoveredHive_Windows10", "yarp/OldDirtyHive/RecoveredHive_Windows7",
      "hivex/minimal", "hivex/special", "hivex/rlenvalue_test_hive", "offreg/testhive", "plaso/100_sub_keys.hiv"};
  return list;
}
inline const std::vector<std::string>& BrokenHives() {
  static const std::vector<std::string> list = {
      "windows/corrupted_system_hive", "yarp/BadListHive", "yarp/BadSubkeyHive", "yarp/TruncatedHive",
      "yarp/GarbageHive", "yarp/WrongOrderHive", "yarp/DuplicateSubkeysHive", "plaso/corrupt_sub_key_list.hiv"};
  return list;
}
inline const std::vector<std::string>& DirtyHives() {
  static const std::vector<std::string> list = {"windows/SYSTEM_B", "windows/UsrClass.dat",
                                                "windows/transactions_NTUSER.DAT", "windows/SECURITY",
                                                "yarp/NewDirtyHive1/NewDirtyHive", "yarp/OldDirtyHive/OldDirtyHive"};
  return list;
}

}  // namespace hv::test
