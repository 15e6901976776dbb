#pragma once
// Shared helpers of the hive engine tests: scratch folders, image patching, sample hive lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "regf/fixture.h"
#include "regf/format.h"
#include "regf/hive.h"
#include "support/shared_hives.h"

namespace hv::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("hivora-regf-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& b) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
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
