#include "platform/offline/installation_notes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "offline_machine.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<OfflinePlatform> PlatformOn(const fs::path& root) {
  std::string error;
  auto machine = DescribeRoot(root, &error);
  EXPECT_TRUE(machine) << error;
  OfflineOptions options;
  options.machine = *machine;
  options.programFolder = root.parent_path() / "config";
  return std::make_unique<OfflinePlatform>(std::move(options));
}

TEST(InstallationNotesTest, AFolderWithoutHivesIsRefusedAndOneWithoutSoftwareWarned) {
  test::TempDir dir;
  fs::create_directories(dir / "empty");
  EXPECT_TRUE(CheckInstallation(*PlatformOn(dir / "empty")).refusal);

  test::OfflineMachine demo;
  fs::remove(demo.Config("SOFTWARE"));
  const InstallationCheck check = CheckInstallation(*demo.Platform());
  EXPECT_FALSE(check.refusal);
  ASSERT_EQ(check.warnings.size(), 1u);
  EXPECT_NE(check.warnings[0].find("no SOFTWARE hive"), std::string::npos);
}

// A description that lists the users' hives itself is not told they cannot be found.
TEST(InstallationNotesTest, WithoutSoftwareTheUsersHivesOfADescriptionAreNotSaidMissing) {
  test::OfflineMachine demo;
  fs::remove(demo.Config("SOFTWARE"));
  std::string error;
  auto machine = DescribeRoot(demo.root, &error);
  ASSERT_TRUE(machine) << error;
  auto value = [](const std::string& name, const std::string& file) {
    HivelistValue v;
    v.name = name;
    v.data.assign(file.begin(), file.end());
    v.data.push_back(0);
    return v;
  };
  machine->hivelist = std::vector<HivelistValue>{
      value("\\REGISTRY\\MACHINE\\SYSTEM", "\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SYSTEM"),
      value("\\REGISTRY\\USER\\S-1-5-21-1", "\\Device\\HarddiskVolume1\\Users\\Demo\\NTUSER.DAT")};
  OfflineOptions options;
  options.machine = *machine;
  options.programFolder = demo.dir / "config";
  OfflinePlatform os(std::move(options));
  const InstallationCheck check = CheckInstallation(os);
  ASSERT_EQ(check.warnings.size(), 1u);
  EXPECT_NE(check.warnings[0].find("no SOFTWARE hive"), std::string::npos) << check.warnings[0];
  EXPECT_EQ(check.warnings[0].find("cannot be found"), std::string::npos) << check.warnings[0];
}

TEST(InstallationNotesTest, TheDemoMachineIsNamedSoAndARootByItsFolder) {
  test::OfflineMachine demo;
  auto os = demo.Platform();
  EXPECT_TRUE(CheckInstallation(*os).warnings.empty());
  FrontEndOptions options;
  EXPECT_EQ(InstallationTitle(options, *os), "demo machine");
  options.root = demo.root;
  EXPECT_EQ(InstallationTitle(options, *os), "C: = " + fs::absolute(demo.root).lexically_normal().string());
}

TEST(InstallationNotesTest, ARowNamesItsHostFileAndCopyAndWhyACopyWasNotMade) {
  test::OfflineMachine demo;
  // A hive the engine refuses: its copy is never made.
  std::ofstream(demo.Config("SAM"), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
  auto os = demo.Platform();
  const std::string system = HiveRowNote(*os, "\\REGISTRY\\MACHINE\\SYSTEM", "");
  EXPECT_NE(system.find(demo.Config("SYSTEM").string()), std::string::npos) << system;
  EXPECT_NE(system.find("SYSTEM.hvx"), std::string::npos) << system;
  EXPECT_NE(HiveRowNote(*os, "\\REGISTRY\\MACHINE\\HARDWARE", "").find("no file"), std::string::npos);

  test::Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  EXPECT_NE(os->RegSaveKeyA(key, "C:\\Windows\\System32\\config\\SAM.hvx"), 0);
  os->RegCloseKey(key);
  const std::string sam = HiveRowNote(*os, "\\REGISTRY\\MACHINE\\SAM", "n/a");
  EXPECT_NE(sam.find("not compacted: "), std::string::npos) << sam;
  EXPECT_EQ(sam.find("the copy could not be made"), std::string::npos) << "the engine's reason: " << sam;
}

#ifndef _WIN32  // setenv and unsetenv are POSIX
TEST(InstallationNotesTest, WithANoticeTheAddressGoesToItNotToStdout) {
  test::OfflineMachine demo;
  auto os = demo.Platform();
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  std::string told;
  bool opened = true;
  os->SetOpenNotice([&](const std::string& address, bool ok) {
    told = address;
    opened = ok;
  });
  testing::internal::CaptureStdout();
  EXPECT_GT(os->ShellExecuteA(nullptr, "open", "https://example.org/x", nullptr, nullptr, 5), 32);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(told, "https://example.org/x");
  EXPECT_FALSE(opened);
  if (display != nullptr) ::setenv("DISPLAY", saved.c_str(), 1);
}
#endif

}  // namespace
}  // namespace hv::offline
