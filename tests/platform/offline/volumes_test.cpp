#include "platform/offline/volumes.h"

#include <gtest/gtest.h>

#include <string>

namespace hv::offline {
namespace {

std::string Query(const Volumes& volumes, const char* name, DWORD max, DWORD* stored, DWORD* error) {
  std::string buf(max + 4, '#');
  *stored = volumes.QueryDosDevice(name, buf.data(), max, error);
  return buf.substr(0, *stored);
}

TEST(VolumesTest, DrivesAreListedInLetterOrderWithTheSizeRule) {
  Volumes volumes;
  volumes.AddDrive('n', drive::kRemote, {"\\Device\\LanmanRedirector"});
  volumes.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  char buf[16];
  EXPECT_EQ(volumes.LogicalDriveStrings(0, nullptr), 9u);
  EXPECT_EQ(volumes.LogicalDriveStrings(8, buf), 9u);  // the final NUL must fit too
  ASSERT_EQ(volumes.LogicalDriveStrings(9, buf), 8u);
  EXPECT_EQ(std::string(buf, 9), std::string("C:\\\0N:\\\0\0", 9));
  Volumes none;
  ASSERT_EQ(none.LogicalDriveStrings(1, buf), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST(VolumesTest, OnlyADriveRootHasADriveType) {
  Volumes volumes;
  volumes.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  volumes.AddDrive('E', drive::kRemovable, {"\\Device\\HarddiskVolume2"});
  EXPECT_EQ(volumes.DriveType("C:\\"), drive::kFixed);
  EXPECT_EQ(volumes.DriveType("e:"), drive::kRemovable);
  EXPECT_EQ(volumes.DriveType("E:/"), drive::kRemovable);
  EXPECT_EQ(volumes.DriveType(nullptr), drive::kFixed);  // the current folder's drive
  EXPECT_EQ(volumes.DriveType("C:\\Windows"), drive::kNoRootDir);
  EXPECT_EQ(volumes.DriveType("Q:\\"), drive::kNoRootDir);
  EXPECT_EQ(volumes.DriveType(""), drive::kNoRootDir);
  EXPECT_EQ(volumes.DriveType("\\\\server\\share\\"), drive::kNoRootDir);
}

TEST(VolumesTest, DeviceQueriesFollowTheBufferRules) {
  Volumes volumes;
  volumes.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1", "\\Device\\Old"});
  volumes.AddDrive('B', drive::kFixed, {});
  volumes.Define("Global", {"\\GLOBAL??"});
  DWORD stored = 0, error = 0;
  // Every target NUL-terminated, then one more NUL; the count includes them all.
  EXPECT_EQ(Query(volumes, "c:", 64, &stored, &error),
            std::string("\\Device\\HarddiskVolume1\0\\Device\\Old\0\0", 37));
  EXPECT_EQ(stored, 37u);
  Query(volumes, "C:", 36, &stored, &error);
  EXPECT_EQ(stored, 0u);
  EXPECT_EQ(error, err::kInsufficientBuffer);
  EXPECT_EQ(volumes.QueryDosDevice("C:", nullptr, 64, &error), 0u);
  EXPECT_EQ(error, err::kInsufficientBuffer);
  // A drive without a target, an unknown name and a root with its backslash are no device names.
  for (const char* name : {"B:", "Q:", "C:\\"}) {
    error = 0;
    Query(volumes, name, 64, &stored, &error);
    EXPECT_EQ(stored, 0u) << name;
    EXPECT_EQ(error, err::kFileNotFound) << name;
  }
  // No name: every defined name.
  EXPECT_EQ(Query(volumes, nullptr, 64, &stored, &error), std::string("C:\0Global\0\0", 11));
}

TEST(VolumesTest, ADefinitionReplacesTheTargetsOfItsName) {
  Volumes volumes;
  volumes.AddDrive('D', drive::kFixed, {"\\Device\\HarddiskVolume3"});
  volumes.Define("d:", {"\\Device\\HarddiskVolume9"});
  DWORD stored = 0, error = 0;
  EXPECT_EQ(Query(volumes, "D:", 64, &stored, &error), std::string("\\Device\\HarddiskVolume9\0\0", 25));
  EXPECT_EQ(volumes.DriveType("D:\\"), drive::kFixed);
}

}  // namespace
}  // namespace hv::offline
