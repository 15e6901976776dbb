// Registry of the offline platform: hivelist, hive roots, save and replace.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/offline/offline_machine.h"
#include "regf/compare.h"
#include "regf/fixture.h"
#include "regf/hive.h"
#include "regf/recovery.h"
#include "support/shared_hives.h"

namespace hv::offline {
namespace {

using test::Enable;
using test::OfflineMachine;
namespace fs = std::filesystem;

constexpr const char* kHivelist = "SYSTEM\\CurrentControlSet\\Control\\hivelist";

TEST(OfflineRegistryTest, EnumValueBufferRules) {
  OfflineMachine m;
  auto os = m.Platform();
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "system\\currentcontrolset\\control\\HIVELIST", &key), 0);
  char name[256];
  BYTE data[256];
  DWORD nameLen = 26;  // "\REGISTRY\MACHINE\HARDWARE" is 26: no room for the NUL
  DWORD type = 0, dataLen = sizeof data;
  EXPECT_EQ(os->RegEnumValueA(key, 0, name, &nameLen, &type, data, &dataLen), LONG(err::kMoreData));
  nameLen = sizeof name;
  ASSERT_EQ(os->RegEnumValueA(key, 0, name, &nameLen, &type, data, &dataLen), 0);
  EXPECT_STREQ(name, "\\REGISTRY\\MACHINE\\HARDWARE");
  EXPECT_EQ(nameLen, 26u);
  EXPECT_EQ(type, reg::kSz);
  EXPECT_EQ(dataLen, 1u);  // empty string, stored with its NUL
  // Data too small: kMoreData and the size needed.
  nameLen = sizeof name;
  dataLen = 10;
  EXPECT_EQ(os->RegEnumValueA(key, 1, name, &nameLen, &type, data, &dataLen), LONG(err::kMoreData));
  const std::string system = "\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SYSTEM";
  EXPECT_EQ(dataLen, system.size() + 1);
  // No data buffer: the size alone.
  nameLen = sizeof name;
  dataLen = 0;
  ASSERT_EQ(os->RegEnumValueA(key, 1, name, &nameLen, &type, nullptr, &dataLen), 0);
  EXPECT_EQ(dataLen, system.size() + 1);
  nameLen = sizeof name;
  dataLen = sizeof data;
  ASSERT_EQ(os->RegEnumValueA(key, 1, name, &nameLen, &type, data, &dataLen), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(data), system.c_str());

  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    nameLen = sizeof name;
    LONG r = os->RegEnumValueA(key, i, name, &nameLen, nullptr, nullptr, nullptr);
    if (r == LONG(err::kNoMoreItems)) break;
    ASSERT_EQ(r, 0);
    names.emplace_back(name);
  }
  const std::string user = std::string("\\REGISTRY\\USER\\") + kDemoUserSid;
  EXPECT_EQ(names, (std::vector<std::string>{
                       "\\REGISTRY\\MACHINE\\HARDWARE", "\\REGISTRY\\MACHINE\\SYSTEM", "\\REGISTRY\\MACHINE\\SOFTWARE",
                       "\\REGISTRY\\USER\\.DEFAULT", "\\REGISTRY\\MACHINE\\SECURITY", "\\REGISTRY\\MACHINE\\SAM",
                       user, user + "_Classes"}));
  dataLen = sizeof data;
  ASSERT_EQ(os->RegQueryValueExA(key, (user + "_classes").c_str(), &type, data, &dataLen), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(data),
               "\\Device\\HarddiskVolume1\\Users\\Demo\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
  EXPECT_EQ(os->RegQueryValueExA(key, "nothing", &type, data, &dataLen), LONG(err::kFileNotFound));
  EXPECT_EQ(os->RegCloseKey(key), 0);
  EXPECT_EQ(os->RegCloseKey(key), LONG(err::kInvalidHandle));
}

TEST(OfflineRegistryTest, HiveRootsAndTheWow64View) {
  OfflineMachine m;
  auto os = m.Platform(/*wow64=*/true);
  HKEY key = nullptr;
  EXPECT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "NOSUCH", &key), LONG(err::kFileNotFound));
  EXPECT_EQ(os->RegOpenKeyA(HkeyUsers(), (std::string(kDemoUserSid) + "_CLASSES").c_str(), &key), 0);
  os->RegCloseKey(key);
  Enable(*os, "SeBackupPrivilege");
  // The 32-bit view of SOFTWARE is a key inside the hive: it is not saved.
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SOFTWARE", &key), 0);
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\soft32.hvx"), LONG(err::kBadKey));
  os->RegCloseKey(key);
  ASSERT_EQ(os->RegOpenKeyExA(HkeyLocalMachine(), "SOFTWARE", 0, access::kKeyQueryValue | access::kKeyWow64_64Key, &key), 0);
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\Windows\\sysnative\\config\\SOFTWARE.hvx"), 0);
  os->RegCloseKey(key);
  EXPECT_TRUE(fs::is_regular_file(m.Config("SOFTWARE.hvx")));
}

TEST(OfflineRegistryTest, SaveRefusals) {
  OfflineMachine m;
  auto os = m.Platform();
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\sam.hvx"), LONG(err::kPrivilegeNotHeld));
  Enable(*os, "SeBackupPrivilege");
  test::WriteWholeFile(m.root / "taken.hvx", "x");
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\TAKEN.hvx"), LONG(err::kAlreadyExists));
  EXPECT_EQ(test::ReadWholeFile(m.root / "taken.hvx"), "x");
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\no\\sam.hvx"), LONG(err::kPathNotFound));
  os->RegCloseKey(key);
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), kHivelist, &key), 0);
  EXPECT_EQ(os->RegSaveKeyA(key, "C:\\list.hvx"), LONG(err::kBadKey));
  os->RegCloseKey(key);
}

TEST(OfflineRegistryTest, BrokenHiveGivesARegistryError) {
  HV_REQUIRE_SHARED_HIVES();
  OfflineMachine m;
  fs::remove(m.Config("SAM"));
  fs::copy_file(test::SharedHivesDir() / "yarp" / "GarbageHive", m.Config("SAM"));
  auto os = m.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  const LONG r = os->RegSaveKeyA(key, "C:\\Windows\\System32\\config\\SAM.hvx");
  EXPECT_TRUE(r == LONG(err::kBadDb) || r == LONG(err::kRegistryCorrupt) || r == LONG(err::kCantRead)) << r;
  EXPECT_FALSE(fs::exists(m.Config("SAM.hvx")));
  os->RegCloseKey(key);
}

TEST(OfflineRegistryTest, SaveWritesASmallerVerifiedCopy) {
  OfflineMachine m;
  auto os = m.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SYSTEM", &key), 0);
  ASSERT_EQ(os->RegSaveKeyA(key, "c:\\windows\\system32\\config\\SYSTEM.hvx"), 0);
  os->RegCloseKey(key);
  EXPECT_LT(fs::file_size(m.Config("SYSTEM.hvx")), fs::file_size(m.Config("SYSTEM")));
}

// A hive left dirty by a running or crashed system is saved as Windows would load it: recovered
// from its logs, then compacted. The copy's sequence numbers are those of the last entry
// applied, so no entry of the logs beside the hive can ever apply to it; the hive and its logs
// stay as they were.
TEST(OfflineRegistryTest, SaveOfADirtyHiveIsItsRecoveredTreeCompacted) {
  OfflineMachine m;
  regf::FixtureBuilder before(5), after(5);
  before.Root().AddKey("Domains\\Account").SetDword("F", 1);
  after.Root().AddKey("Domains\\Account").SetDword("F", 2);
  after.Root().AddKey("Domains\\Builtin");
  const auto from = before.AddGarbage(0.3).Build(), to = after.Build();
  const auto primary = regf::WithSequenceNumbers(from, 41, 40);
  const auto log = regf::BuildNewFormatLog(from, 40, {regf::LogEntryBetween(from, to, 40), regf::LogEntryBetween(to, to, 41)});
  fs::remove(m.Config("SAM"));
  test::WriteWholeFile(m.Config("SAM"), std::string(primary.begin(), primary.end()));
  test::WriteWholeFile(m.Config("SAM.LOG1"), std::string(log.begin(), log.end()));
  test::WriteWholeFile(m.Config("SAM.LOG2"), "");
  auto os = m.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  ASSERT_EQ(os->RegSaveKeyA(key, "C:\\Windows\\System32\\config\\SAM.hvx"), 0);
  os->RegCloseKey(key);
  const regf::Hive saved = regf::Hive::Load(m.Config("SAM.hvx"));
  EXPECT_EQ(saved.Base().primarySeq, 41u);
  EXPECT_EQ(saved.Base().secondarySeq, 41u);
  EXPECT_EQ(regf::CompareTrees(saved, regf::Hive::FromBytes(to, "expected"), 3), std::vector<std::string>{});
  EXPECT_LE(fs::file_size(m.Config("SAM.hvx")), to.size());
  EXPECT_EQ(test::ReadWholeFile(m.Config("SAM")), std::string(primary.begin(), primary.end()));
  EXPECT_EQ(test::ReadWholeFile(m.Config("SAM.LOG1")), std::string(log.begin(), log.end()));
}

TEST(OfflineRegistryTest, SaveOfADirtyHiveWithoutLogsIsRefused) {
  OfflineMachine m;
  const auto primary = regf::WithSequenceNumbers(regf::FixtureBuilder(5).Build(), 3, 2);
  fs::remove(m.Config("SAM"));
  test::WriteWholeFile(m.Config("SAM"), std::string(primary.begin(), primary.end()));
  auto os = m.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  EXPECT_NE(os->RegSaveKeyA(key, "C:\\Windows\\System32\\config\\SAM.hvx"), 0);
  os->RegCloseKey(key);
  EXPECT_FALSE(fs::exists(m.Config("SAM.hvx")));
}

TEST(OfflineRegistryTest, ReplaceRefusalsThenHeldAcrossStarts) {
  OfflineMachine m;
  auto os = m.Platform();
  test::WriteWholeFile(m.Config("SAM.hvx"), "copy");
  const char* copy = "C:\\Windows\\System32\\config\\SAM.hvx";
  const char* backup = "C:\\Windows\\System32\\config\\SAM.bak";
  EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", copy, backup), LONG(err::kPrivilegeNotHeld));
  Enable(*os, "SeBackupPrivilege");
  EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", copy, backup), LONG(err::kPrivilegeNotHeld));
  Enable(*os, "SeRestorePrivilege");
  EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "NOSUCH", copy, backup), LONG(err::kFileNotFound));
  EXPECT_EQ(os->RegReplaceKeyA(HkeyUsers(), "", copy, backup), LONG(err::kInvalidParameter));
  EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "HARDWARE", copy, backup), LONG(err::kInvalidParameter));
  EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", "C:\\none.hvx", backup), LONG(err::kFileNotFound));
  // Nothing is held yet.
  HANDLE h = os->CreateFileA(copy, access::kGenericRead | access::kGenericWrite, 0, file::kOpenExisting, 0);
  ASSERT_NE(h, InvalidHandleValue());
  os->CloseHandle(h);

  ASSERT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "sam", copy, backup), 0);
  EXPECT_EQ(os->CreateFileA(copy, access::kGenericRead | access::kGenericWrite, 0, file::kOpenExisting, 0),
            InvalidHandleValue());
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  os.reset();
  auto next = m.Platform();  // the program started again, no restart in between
  EXPECT_FALSE(next->DeleteFileA(copy));
  EXPECT_EQ(next->GetLastError(), err::kSharingViolation);
  EXPECT_EQ(test::ReadWholeFile(m.Config("SAM.hvx")), "copy");
}

}  // namespace
}  // namespace hv::offline
