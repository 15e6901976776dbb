#include "platform/offline/installation.h"

#include <gtest/gtest.h>

#include "platform/offline/offline_machine.h"
#include "regf/fixture.h"

namespace hv::offline {
namespace {

using test::OfflineMachine;
namespace fs = std::filesystem;

DriveMap MapOf(const fs::path& root) { return DriveMap({{'C', drive::kFixed, "\\Device\\HarddiskVolume1", root}}, false); }

void WriteSoftware(const fs::path& root, void (*fill)(regf::FixtureKey&)) {
  const fs::path file = root / "Windows" / "System32" / "config" / "SOFTWARE";
  fs::create_directories(file.parent_path());
  fs::remove(file);
  regf::FixtureBuilder b;
  fill(b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion"));
  ASSERT_TRUE(b.WriteFile(file).ok);
}

TEST(InstallationTest, ReleaseAsReportedWithoutAManifest) {
  test::TempDir dir;
  EXPECT_EQ(DeriveRelease(MapOf(dir.path())).version, (ReleaseVersion{6, 2}));  // no SOFTWARE
  WriteSoftware(dir.path(), [](regf::FixtureKey& k) {
    k.SetString("CurrentVersion", "6.3");
    k.SetDword("CurrentMajorVersionNumber", 10);
  });
  ReleaseInfo ten = DeriveRelease(MapOf(dir.path()));
  EXPECT_EQ(ten.version, (ReleaseVersion{6, 2}));
  EXPECT_EQ(ten.build, 9200u);
  WriteSoftware(dir.path(), [](regf::FixtureKey& k) { k.SetString("CurrentVersion", "6.3"); });
  EXPECT_EQ(DeriveRelease(MapOf(dir.path())).version, (ReleaseVersion{6, 2}));
  WriteSoftware(dir.path(), [](regf::FixtureKey& k) {
    k.SetString("CurrentVersion", "5.1");
    k.SetString("CurrentBuildNumber", "2600");
    k.SetString("CSDVersion", "Service Pack 3");
  });
  ReleaseInfo xp = DeriveRelease(MapOf(dir.path()));
  EXPECT_EQ(xp.version, (ReleaseVersion{5, 1}));
  EXPECT_EQ(xp.build, 2600u);
  EXPECT_EQ(xp.servicePack, "Service Pack 3");
  WriteSoftware(dir.path(), [](regf::FixtureKey& k) { k.SetString("CurrentVersion", "6.0"); });
  EXPECT_EQ(DeriveRelease(MapOf(dir.path())).version, (ReleaseVersion{6, 0}));
}

TEST(InstallationTest, HivelistOnlyForFilesThatExist) {
  OfflineMachine m;
  fs::remove(m.Config("SECURITY"));
  fs::remove(m.root / "Users" / "Demo" / "AppData" / "Local" / "Microsoft" / "Windows" / "UsrClass.dat");
  test::WriteWholeFile(m.root / "Boot" / "BCD", "bcd");
  auto list = SynthesizeHivelist(MapOf(m.root));
  std::vector<std::string> names;
  for (const auto& v : list) names.push_back(v.name);
  EXPECT_EQ(names, (std::vector<std::string>{"\\REGISTRY\\MACHINE\\HARDWARE", "\\REGISTRY\\MACHINE\\SYSTEM",
                                             "\\REGISTRY\\MACHINE\\SOFTWARE", "\\REGISTRY\\USER\\.DEFAULT",
                                             "\\REGISTRY\\MACHINE\\SAM", "\\REGISTRY\\MACHINE\\BCD00000000",
                                             std::string("\\REGISTRY\\USER\\") + kDemoUserSid}));
  EXPECT_EQ(list[5].data, StringData("\\Device\\HarddiskVolume1\\Boot\\BCD"));
  EXPECT_EQ(list[6].data, StringData("\\Device\\HarddiskVolume1\\Users\\Demo\\NTUSER.DAT"));
  EXPECT_EQ(ExpandSystemVariables("%SYSTEMROOT%\\x;%SystemDrive%\\y;%TEMP%"), "C:\\Windows\\x;C:\\y;%TEMP%");
}

TEST(InstallationTest, DemoMachineIsAWindows7WithFragmentedHives) {
  OfflineMachine m;
  auto os = m.Platform(std::nullopt);
  OsVersionInfoA info;
  ASSERT_TRUE(os->GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 7601u);
  EXPECT_EQ(info.dwPlatformId, 2u);
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
  EXPECT_TRUE(os->wow64());  // Windows\SysWOW64 is there
  std::string error;
  EXPECT_TRUE(EnsureDemoMachine(m.root, &error));  // a second call keeps what is there
  test::Enable(*os, "SeBackupPrivilege");
  // Every hive of the demo gains from compaction, within the range of a used machine.
  const std::string sid = kDemoUserSid;
  const std::pair<HKEY, std::string> hives[] = {
      {HkeyLocalMachine(), "SOFTWARE"}, {HkeyLocalMachine(), "SYSTEM"}, {HkeyUsers(), ".DEFAULT"},
      {HkeyLocalMachine(), "SAM"},      {HkeyLocalMachine(), "SECURITY"}, {HkeyUsers(), sid},
      {HkeyUsers(), sid + "_Classes"}};
  const fs::path files[] = {m.Config("SOFTWARE"), m.Config("SYSTEM"), m.Config("DEFAULT"), m.Config("SAM"),
                            m.Config("SECURITY"), m.root / "Users/Demo/NTUSER.DAT",
                            m.root / "Users/Demo/AppData/Local/Microsoft/Windows/UsrClass.dat"};
  const std::string config = "C:\\Windows\\sysnative\\config\\";
  const std::string copies[] = {config + "SOFTWARE.hvx", config + "SYSTEM.hvx", config + "DEFAULT.hvx",
                                config + "SAM.hvx", config + "SECURITY.hvx", "C:\\Users\\Demo\\NTUSER.DAT.hvx",
                                "C:\\Users\\Demo\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat.hvx"};
  for (int i = 0; i < 7; ++i) {
    HKEY key = nullptr;
    ASSERT_EQ(os->RegOpenKeyExA(hives[i].first, hives[i].second.c_str(), 0, access::kKeyWow64_64Key, &key), 0);
    fs::path copy = files[i];
    copy += ".hvx";
    ASSERT_EQ(os->RegSaveKeyA(key, copies[i].c_str()), 0);
    os->RegCloseKey(key);
    const double before = static_cast<double>(fs::file_size(files[i]));
    const double percent = 100.0 * (before - static_cast<double>(fs::file_size(copy))) / before;
    EXPECT_GT(percent, 10.0) << files[i];
    EXPECT_LT(percent, 40.0) << files[i];
  }
}

}  // namespace
}  // namespace hv::offline
