#include "hive/hive_primitives.h"

#include <gtest/gtest.h>

#include "support/fake_fixture.h"

namespace hv {
namespace {

class HivePrimitivesTest : public test::FakePlatformTest {
 protected:
  void SetUp() override {
    fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
    fake.AddHive("\\REGISTRY\\MACHINE\\SOFTWARE");
    fake.AddHive("\\REGISTRY\\MACHINE\\SYSTEM");
    fake.AddHive("\\REGISTRY\\USER\\S-1-5-21-1");
  }

  const std::string copy = "C:\\Windows\\System32\\config\\SOFTWARE.hvx";
  const std::string backup = "C:\\Windows\\System32\\config\\SOFTWARE.bak";
};

TEST_F(HivePrimitivesTest, NamesWithNeitherPrefixAreRefused) {
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.EnablePrivilege("SeRestorePrivilege");
  fake.CreateFileOfSize(copy, 5);
  fake.CreateFileOfSize(backup, 5);
  for (const char* name : {"\\REGISTRY\\A\\SOFTWARE", "", "\\REGISTRY\\MACHINE\\", "\\REGISTRY\\USER\\"}) {
    EXPECT_FALSE(SplitHiveName(name).valid) << name;
    EXPECT_FALSE(ReplaceHive(name, copy, backup)) << name;
  }
  EXPECT_TRUE(fake.Replaces().empty());
  EXPECT_TRUE(fake.Exists(backup));
  // The old copy goes all the same, so no stale copy remains.
  EXPECT_FALSE(SaveHive("\\REGISTRY\\A\\SOFTWARE", copy, false));
  EXPECT_FALSE(fake.Exists(copy));
  EXPECT_TRUE(fake.Saves().empty());
  EXPECT_TRUE(fake.KeyOpens().empty());
}

TEST_F(HivePrimitivesTest, SaveFailures) {
  fake.CreateFileOfSize(copy, 5);
  EXPECT_FALSE(SaveHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, false));  // no backup privilege
  fake.EnablePrivilege("SeBackupPrivilege");
  EXPECT_FALSE(SaveHive("\\REGISTRY\\MACHINE\\UNLOADED", copy, false));
  fake.SetSaveHook([](const std::string&, const std::string&) { return LSTATUS{err::kCantWrite}; });
  EXPECT_FALSE(SaveHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, false));
  EXPECT_EQ(fake.OpenKeyCount(), 0);
}

TEST_F(HivePrimitivesTest, SaveReplacesAnExistingCopy) {
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.CreateFileWithContent(copy, "old copy");
  fake.SetDefaultSaveSize(4096);
  EXPECT_TRUE(SaveHive("\\registry\\machine\\software", copy, false));
  EXPECT_EQ(fake.ReadContent(copy).size(), 4096u);
  ASSERT_EQ(fake.Saves().size(), 1u);
  EXPECT_EQ(fake.Saves()[0].hiveKey, "HKLM\\software");
  EXPECT_EQ(fake.OpenKeyCount(), 0);
}

TEST_F(HivePrimitivesTest, OnlyMachineSoftwareUnderWow64UsesThe64BitView) {
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.SetWow64(true, true);
  EXPECT_TRUE(SaveHive("\\REGISTRY\\MACHINE\\SOFTWARE", "C:\\a", true));
  EXPECT_TRUE(SaveHive("\\REGISTRY\\MACHINE\\SYSTEM", "C:\\b", true));
  EXPECT_TRUE(SaveHive("\\REGISTRY\\USER\\S-1-5-21-1", "C:\\c", true));
  EXPECT_TRUE(SaveHive("\\REGISTRY\\MACHINE\\SOFTWARE", "C:\\d", false));
  auto opens = fake.KeyOpens();
  ASSERT_EQ(opens.size(), 4u);
  EXPECT_EQ(opens[0].call, "RegOpenKeyExA");
  EXPECT_EQ(opens[0].sam, 0x101u);
  EXPECT_EQ(opens[0].subKey, "SOFTWARE");
  EXPECT_EQ(opens[1].call, "RegOpenKeyA");
  EXPECT_EQ(opens[2].call, "RegOpenKeyA");
  EXPECT_EQ(opens[2].root, "HKU");
  EXPECT_EQ(opens[2].subKey, "S-1-5-21-1");
  EXPECT_EQ(opens[3].call, "RegOpenKeyA");
  auto saves = fake.Saves();
  EXPECT_EQ(saves[0].hiveKey, "HKLM\\SOFTWARE");
  EXPECT_EQ(saves[3].hiveKey, "HKLM\\SOFTWARE\\Wow6432Node");
}

TEST_F(HivePrimitivesTest, SplitKeepsTheStoredLetters) {
  auto machine = SplitHiveName("\\registry\\machine\\system");
  EXPECT_TRUE(machine.valid);
  EXPECT_EQ(machine.root, HkeyLocalMachine());
  EXPECT_EQ(machine.subKey, "system");
  auto user = SplitHiveName("\\REGISTRY\\USER\\S-1-5-21-1_Classes");
  EXPECT_EQ(user.root, HkeyUsers());
  EXPECT_EQ(user.subKey, "S-1-5-21-1_Classes");
  auto both = SplitHiveName("\\REGISTRY\\USER\\REGISTRY\\MACHINE\\X");
  EXPECT_EQ(both.root, HkeyLocalMachine());
  EXPECT_EQ(both.subKey, "X");
}

TEST_F(HivePrimitivesTest, PrivilegesAreEnabledAndTokensClosed) {
  EnableBackupPrivilege();
  EnableRestorePrivilege();
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeBackupPrivilege"));
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeRestorePrivilege"));
  EXPECT_EQ(fake.OpenTokenCount(), 0);
  EXPECT_EQ(fake.TokenLog(),
            (std::vector<std::string>{"OpenProcessToken 0x28", "LookupPrivilegeValueA SeBackupPrivilege",
                                      "AdjustTokenPrivileges SeBackupPrivilege 0x2", "CloseHandle token",
                                      "OpenProcessToken 0xF00FF", "LookupPrivilegeValueA SeRestorePrivilege",
                                      "AdjustTokenPrivileges SeRestorePrivilege 0x2", "CloseHandle token"}));
  fake.SetPrivilegeNotHeld("SeShutdownPrivilege");
  EXPECT_FALSE(EnableTokenPrivilege(0x28, "SeShutdownPrivilege"));
  EXPECT_FALSE(EnableTokenPrivilege(0x28, "SeNoSuchPrivilege"));
  EXPECT_EQ(fake.OpenTokenCount(), 0);
}

// The backup is the only way back to the hive before the last replacement:
// a refused request, whatever refused it, leaves it byte for byte.
TEST_F(HivePrimitivesTest, ARefusedReplacementKeepsTheLastBackup) {
  const std::string aside = backup + ".old";
  fake.CreateFileWithContent(backup, "backup of the last restart");
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));  // no privileges
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.EnablePrivilege("SeRestorePrivilege");
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));  // no copy
  fake.CreateFileOfSize(copy, 5);
  bool nameWasFree = false;
  fake.SetReplaceHook([&](const std::string&, const std::string&, const std::string& oldFile) {
    nameWasFree = !fake.Exists(oldFile);
    return static_cast<LSTATUS>(err::kAccessDenied);
  });
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  EXPECT_TRUE(nameWasFree) << "the request gets the backup's name free";
  ASSERT_EQ(fake.Replaces().size(), 3u);
  EXPECT_EQ(fake.ReadContent(backup), "backup of the last restart");
  EXPECT_FALSE(fake.Exists(aside));
}

TEST_F(HivePrimitivesTest, AnAcceptedReplacementLeavesOneBackupAndNothingSetAside) {
  const std::string aside = backup + ".old";
  EnableBackupPrivilege();
  EnableRestorePrivilege();
  fake.CreateFileOfSize(copy, 5);
  fake.CreateFileWithContent(backup, "backup of the last restart");
  // Windows renames the hive to the backup's name as it accepts the request.
  fake.SetReplaceHook([&](const std::string&, const std::string&, const std::string& oldFile) {
    fake.CreateFileWithContent(oldFile, "the hive as it is now");
    return static_cast<LSTATUS>(err::kSuccess);
  });
  EXPECT_TRUE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  EXPECT_EQ(fake.ReadContent(backup), "the hive as it is now");
  EXPECT_FALSE(fake.Exists(aside));

  // A system that makes the backup only at the restart: until then the last
  // backup keeps its place.
  fake.SetReplaceHook({});
  fake.CreateFileOfSize(copy + "2", 5);
  EXPECT_TRUE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy + "2", backup));
  EXPECT_EQ(fake.ReadContent(backup), "the hive as it is now");
  EXPECT_FALSE(fake.Exists(aside));
}

// What a run killed between the steps leaves is settled before the request.
TEST_F(HivePrimitivesTest, ASetAsideBackupLeftByAKilledRunIsSettled) {
  const std::string aside = backup + ".old";
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.EnablePrivilege("SeRestorePrivilege");
  fake.CreateFileOfSize(copy, 5);
  fake.SetReplaceHook([](const std::string&, const std::string&, const std::string&) {
    return static_cast<LSTATUS>(err::kAccessDenied);
  });
  // Killed before the request: the set-aside file is the last backup.
  fake.CreateFileWithContent(aside, "backup of the last restart");
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  EXPECT_EQ(fake.ReadContent(backup), "backup of the last restart");
  EXPECT_FALSE(fake.Exists(aside));
  // Killed after an accepted request: the backup it made supersedes it.
  fake.CreateFileWithContent(aside, "older backup");
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  EXPECT_EQ(fake.ReadContent(backup), "backup of the last restart");
  EXPECT_FALSE(fake.Exists(aside));
}

TEST_F(HivePrimitivesTest, ABackupThatCannotBeSetAsideMeansNoRequest) {
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.EnablePrivilege("SeRestorePrivilege");
  fake.CreateFileOfSize(copy, 5);
  fake.CreateFileWithContent(backup, "backup of the last restart");
  fake.SetHeldOpen(backup);
  EXPECT_FALSE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  EXPECT_TRUE(fake.Replaces().empty());
  EXPECT_EQ(fake.ReadContent(backup), "backup of the last restart");
  EXPECT_FALSE(fake.Exists(backup + ".old"));
}

TEST_F(HivePrimitivesTest, ReplaceRequestHoldsTheCopy) {
  EnableBackupPrivilege();
  EnableRestorePrivilege();
  fake.CreateFileOfSize(copy, 5);
  fake.CreateFileOfSize(backup, 5);
  EXPECT_FALSE(IsFileInUse(copy));
  EXPECT_TRUE(ReplaceHive("\\REGISTRY\\MACHINE\\SOFTWARE", copy, backup));
  ASSERT_EQ(fake.Replaces().size(), 1u);
  EXPECT_EQ(fake.Replaces()[0].hiveKey, "HKLM\\SOFTWARE");
  EXPECT_EQ(fake.Replaces()[0].newFile, copy);
  EXPECT_EQ(fake.Replaces()[0].oldFile, backup);
  EXPECT_TRUE(IsFileInUse(copy));
}

TEST_F(HivePrimitivesTest, InUseTest) {
  EXPECT_FALSE(IsFileInUse("C:\\missing"));
  EXPECT_FALSE(IsFileInUse("C:\\"));
  fake.CreateFileOfSize("C:\\f", 1);
  EXPECT_FALSE(IsFileInUse("C:\\f"));
  fake.SetHeldOpen("C:\\f");
  EXPECT_TRUE(IsFileInUse("C:\\f"));
}

TEST_F(HivePrimitivesTest, SizeTextExamples) {
  struct Case {
    std::int64_t bytes;
    const char* text;
    char separator = ',';  // ',' is also what the one-argument form writes
  } cases[] = {{0, "0 KB"},
               {1, "1 KB"},
               {1023, "1 KB"},
               {1024, "1 KB"},
               {1025, "2 KB"},
               {2048, "2 KB"},
               {2049, "3 KB"},
               {1022976, "999 KB"},
               {1024000, "1,000 KB"},
               {1262343168, "1,232,757 KB"},
               {-1, "1 KB"},
               {-2048, "-2 KB"},
               {-1024 * 1234567LL, "-1,234,567 KB"},
               {5LL * 1024 * 1024 * 1024 * 1024, "5,368,709,120 KB"},
               {1022976, "999 KB", '.'},
               {1262343168, "1.232.757 KB", '.'},
               {-1024 * 1234567LL, "-1.234.567 KB", '.'},
               {1024000, "1\xA0" "000 KB", '\xA0'},  // a no-break space in Windows-1252
               {1262343168, "1'232'757 KB", '\''}};
  for (const auto& c : cases) {
    EXPECT_EQ(SizeText(c.bytes, c.separator), c.text) << c.bytes << " " << c.separator;
    if (c.separator == ',') {
      EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
    }
  }
}

}  // namespace
}  // namespace hv
