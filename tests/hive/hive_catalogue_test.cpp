#include "hive/hive_catalogue.h"

#include <gtest/gtest.h>

#include "support/fake_fixture.h"

namespace hv {
namespace {

class HiveCatalogueTest : public test::FakePlatformTest {
 protected:
  void SetUp() override {
    fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume2"});
    fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM", 100);
    fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SOFTWARE", 100);
  }

  HiveCatalogue catalogue;
};

TEST_F(HiveCatalogueTest, UnopenableHivelistLeavesTheTableEmpty) {
  catalogue.Hives = {{"stale", "stale"}};
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\SYSTEM", "\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SYSTEM");
  fake.SetHivelistUnopenable(true);
  catalogue.BuildHiveTable();
  EXPECT_TRUE(catalogue.Hives.empty());
}

TEST_F(HiveCatalogueTest, OnlyStringValuesThatMapToExistingFilesAreKept) {
  const std::string system = "\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SYSTEM";
  fake.AddHivelistValue("\\REGISTRY\\MACHINE\\DWORD", reg::kDword, {1, 0, 0, 0});
  fake.AddHivelistValue("\\REGISTRY\\MACHINE\\BINARY", reg::kBinary,
                        std::vector<BYTE>(system.begin(), system.end()));
  fake.AddHivelistValue("\\REGISTRY\\MACHINE\\EMPTY", reg::kSz, {});
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\NUL", "");
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\GONE", "\\Device\\HarddiskVolume2\\missing");
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\NOLETTER", "\\Device\\HarddiskVolume9\\x");
  fake.AddHivelistValue("\\REGISTRY\\MACHINE\\UNREADABLE", reg::kSz,
                        std::vector<BYTE>(system.begin(), system.end()), true);
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\SYSTEM", system);
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\SOFTWARE",
                         "\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SOFTWARE",
                         reg::kExpandSz);
  // Data without a final NUL is read whole.
  fake.AddHivelistValue("\\REGISTRY\\MACHINE\\SYSTEM2", reg::kSz,
                        std::vector<BYTE>(system.begin(), system.end()));
  catalogue.BuildHiveTable();
  EXPECT_EQ(catalogue.HiveNames(),
            (std::vector<std::string>{"\\REGISTRY\\MACHINE\\SYSTEM", "\\REGISTRY\\MACHINE\\SOFTWARE",
                                      "\\REGISTRY\\MACHINE\\SYSTEM2"}));
  EXPECT_EQ(catalogue.HiveFiles(),
            (std::vector<std::string>{"C:\\Windows\\System32\\config\\SYSTEM",
                                      "C:\\Windows\\System32\\config\\SOFTWARE",
                                      "C:\\Windows\\System32\\config\\SYSTEM"}));
  EXPECT_EQ(fake.OpenKeyCount(), 0);
}

TEST_F(HiveCatalogueTest, MeasuringKeepsAHiveWithoutItsCopyOutOfTheReduction) {
  catalogue.Hives = {{"\\REGISTRY\\MACHINE\\SYSTEM", "C:\\Windows\\System32\\config\\SYSTEM"},
                     {"\\REGISTRY\\MACHINE\\SOFTWARE", "C:\\Windows\\System32\\config\\SOFTWARE"}};
  EXPECT_FALSE(catalogue.AnyCopied());
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM.hvx", 60);
  catalogue.MeasureHives();
  EXPECT_EQ(catalogue.Hives[0].State, HiveState::kCopied);
  EXPECT_EQ(catalogue.Hives[0].NewSize, 60);
  EXPECT_EQ(catalogue.Hives[1].State, HiveState::kNotCopied);
  EXPECT_EQ(catalogue.Hives[1].NewSize, 0);
  EXPECT_TRUE(catalogue.AnyCopied());
  // SOFTWARE without its copy counts 100 bytes on both sides, not as a gain of 100.
  const HiveTotals totals = catalogue.Totals();
  EXPECT_EQ(totals.Current, 200);
  EXPECT_EQ(totals.New, 160);
}

TEST_F(HiveCatalogueTest, LongValueNamesAreEnumerated) {
  const std::string name = "\\REGISTRY\\USER\\" + std::string(600, 'S');
  fake.CreateFileOfSize("C:\\Users\\u\\NTUSER.DAT", 10);
  fake.AddHivelistString(name, "\\Device\\HarddiskVolume2\\Users\\u\\NTUSER.DAT");
  catalogue.BuildHiveTable();
  ASSERT_EQ(catalogue.Hives.size(), 1u);
  EXPECT_EQ(catalogue.Hives[0].Name, name);
}

TEST_F(HiveCatalogueTest, DeviceNamePrefixOfAnotherNeverMatches) {
  fake.AddDrive('D', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.AddDrive('E', drive::kFixed, {"\\Device\\HarddiskVolume10"});
  EXPECT_EQ(catalogue.MapThroughFixedDrives("\\Device\\HarddiskVolume10\\hive"), "E:\\hive");
  EXPECT_EQ(catalogue.MapThroughFixedDrives("\\device\\harddiskvolume1\\Hive"), "D:\\Hive");
  EXPECT_EQ(MapThroughDosDevices("\\Device\\HarddiskVolume10\\hive"), "e:\\hive");
}

TEST_F(HiveCatalogueTest, FixedMappingSkipsOtherDriveTypesAndFailedQueries) {
  fake.AddDrive('A', drive::kRemovable, {"\\Device\\HarddiskVolume2"});
  fake.AddDrive('B', drive::kFixed, {});
  fake.AddDrive('N', drive::kRemote, {"\\Device\\HarddiskVolume7"});
  EXPECT_EQ(catalogue.MapThroughFixedDrives("\\Device\\HarddiskVolume2\\x"), "C:\\x");
  EXPECT_EQ(catalogue.MapThroughFixedDrives("\\Device\\HarddiskVolume7\\x"), "");
  // First occurrence anywhere in the data, letters of the rest as stored.
  EXPECT_EQ(catalogue.MapThroughFixedDrives("\\??\\\\Device\\HarddiskVolume2\\Mixed\\Case"),
            "C:\\Mixed\\Case");
}

TEST_F(HiveCatalogueTest, HiveReachableOnlyThroughTheFallback) {
  fake.AddDrive('F', drive::kRemovable, {"\\Device\\Harddisk1\\Partition1"});
  fake.CreateFileOfSize("F:\\Users\\u\\NTUSER.DAT", 10);
  fake.AddDrive('G', drive::kRemovable, {"\\Device\\HarddiskVolume5"});
  fake.CreateFileOfSize("G:\\hive", 10);
  fake.AddDrive('H', drive::kCdrom, {"\\Device\\CdRom0"});
  fake.CreateFileOfSize("H:\\cd", 10);
  EXPECT_EQ(catalogue.MapHiveFile("\\Device\\Harddisk1\\Partition1\\Users\\u\\NTUSER.DAT"),
            "f:\\Users\\u\\NTUSER.DAT");
  EXPECT_EQ(catalogue.MapHiveFile("Device\\HarddiskVolume5\\hive"), "g:\\hive");
  EXPECT_EQ(MapThroughDosDevices("\\Device\\CdRom0"), "h:");
  EXPECT_EQ(catalogue.MapHiveFile("\\Device\\CdRom0"), "");  // a folder, not a file
  EXPECT_EQ(MapThroughDosDevices("\\Device\\Unknown\\x"), "");
}

TEST_F(HiveCatalogueTest, Wow64PathsGoThroughSysnativeWhenItExists) {
  fake.AddPathAlias("sysnative", "System32");
  catalogue.IsWow64Flag = true;
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\SOFTWARE",
                         "\\Device\\HarddiskVolume2\\Windows\\SyStEm32\\config\\SOFTWARE");
  catalogue.BuildHiveTable();
  EXPECT_EQ(catalogue.HiveFiles(), std::vector<std::string>{"C:\\Windows\\sysnative\\config\\SOFTWARE"});
  EXPECT_EQ(catalogue.ToSysnative("C:\\Users\\u\\NTUSER.DAT"), "C:\\Users\\u\\NTUSER.DAT");
}

TEST_F(HiveCatalogueTest, Wow64PathWithoutSysnativeStaysUnchanged) {
  catalogue.IsWow64Flag = true;
  EXPECT_EQ(catalogue.ToSysnative("C:\\Windows\\System32\\config\\SYSTEM"),
            "C:\\Windows\\System32\\config\\SYSTEM");
  EXPECT_EQ(catalogue.MapHiveFile("\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SYSTEM"),
            "C:\\Windows\\System32\\config\\SYSTEM");
  EXPECT_EQ(catalogue.MapHiveFile("\\Device\\HarddiskVolume2\\Windows\\System32\\config\\NONE"), "");
}

TEST_F(HiveCatalogueTest, FileSizes) {
  EXPECT_EQ(HiveFileSize("C:\\nothing"), 0);
  EXPECT_EQ(HiveFileSize("C:\\Windows"), 0);
  EXPECT_EQ(HiveFileSize(""), 0);
  fake.SetFindFails("C:\\Windows\\System32\\config\\SYSTEM");
  EXPECT_EQ(HiveFileSize("C:\\Windows\\System32\\config\\SYSTEM"), -1);
  fake.CreateFileOfSize("C:\\two-million", 2000000);
  EXPECT_EQ(HiveFileSize("c:\\TWO-MILLION"), 2000000);
  fake.SetReportedSize("C:\\Windows\\System32\\config\\SOFTWARE", 5368709120ull + 7);
  EXPECT_EQ(HiveFileSize("C:\\Windows\\System32\\config\\SOFTWARE"), 5368709127);
  fake.SetReportedSize("C:\\two-million", 0x80000000ull);
  EXPECT_EQ(HiveFileSize("C:\\two-million"), 2147483648);
}

}  // namespace
}  // namespace hv
