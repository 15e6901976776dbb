// Paths of the installation walked from its root: links followed as the
// installation would follow them, and none leading out of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/offline/installation_root.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

class InstallationRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(c / "Users" / "Ann");
    fs::create_directories(d / "Data");
    fs::create_directories(outside);
    std::ofstream(c / "Users" / "Ann" / "NTUSER.DAT") << "hive";
    std::ofstream(outside / "secret") << "host";
    InstallationRoot::SetRefusalNotice([this](const std::string& line) { told.push_back(line); });
  }
  void TearDown() override { InstallationRoot::SetRefusalNotice(nullptr); }

  DriveMap Map() const {
    return DriveMap({{'C', drive::kFixed, "\\Device\\HarddiskVolume1", c}, {'D', drive::kFixed, "\\Device\\HarddiskVolume2", d}},
                    false);
  }
  bool Told(const std::string& link) const {
    for (const std::string& line : told) {
      if (line.find(link) != std::string::npos) return true;
    }
    return false;
  }

  test::TempDir dir;
  fs::path c = dir / "c";
  fs::path d = dir / "d";
  fs::path outside = dir / "outside";
  std::vector<std::string> told;
};

TEST_F(InstallationRootTest, LinksThatStayInsideAreFollowedAsTheInstallationWould) {
  fs::create_directory_symlink("Users", c / "Documents and Settings");      // relative
  fs::create_directory_symlink(c / "Users", c / "Profiles");                // absolute, under the drive folder
  fs::create_directory_symlink(d / "Data", c / "DataLink");                 // to another drive's folder
  fs::create_symlink("NTUSER.DAT", c / "Users" / "Ann" / "ntuser.lnk");     // a file, relative
  const DriveMap map = Map();
  const fs::path hive = c / "Users" / "Ann" / "NTUSER.DAT";
  EXPECT_EQ(map.ResolveNative("C:\\documents and settings\\ann\\ntuser.dat"), hive);
  EXPECT_EQ(map.ResolveNative("C:\\Profiles\\Ann\\NTUSER.DAT"), hive);
  EXPECT_EQ(map.ResolveNative("C:\\Users\\Ann\\ntuser.lnk"), hive);
  EXPECT_EQ(map.ResolveNative("C:\\DataLink\\new.txt"), d / "Data" / "new.txt");
  // A tail that is not there keeps its spelling, behind the followed link.
  EXPECT_EQ(map.ResolveNative("C:\\Documents and Settings\\Bob\\NTUSER.DAT"), c / "Users" / "Bob" / "NTUSER.DAT");
  EXPECT_TRUE(told.empty());
}

TEST_F(InstallationRootTest, LinksThatLeaveTheInstallationAreRefusedAndNamed) {
  fs::create_directory_symlink(outside, c / "ProgramData");
  fs::create_directory_symlink("../../outside", c / "Users" / "Up");
  fs::create_symlink(outside / "secret", c / "Users" / "Ann" / "SAM");
  fs::create_symlink("Loop2", c / "Loop1");
  fs::create_symlink("Loop1", c / "Loop2");
  const DriveMap map = Map();
  EXPECT_EQ(map.ResolveNative("C:\\ProgramData\\Talvix Hivora\\hivora.lock"), std::nullopt);
  EXPECT_TRUE(Told((c / "ProgramData").string() + ": a link that leads out of the installation"));
  EXPECT_EQ(map.ResolveNative("C:\\Users\\Ann\\SAM"), std::nullopt);
  EXPECT_TRUE(Told((c / "Users" / "Ann" / "SAM").string()));
  EXPECT_EQ(map.ResolveNative("C:\\Loop1\\x"), std::nullopt);
  EXPECT_TRUE(Told("a loop of links"));
  // A relative link climbs no higher than the drive's root, as on Windows.
  EXPECT_EQ(map.ResolveNative("C:\\Users\\Up\\secret"), c / "outside" / "secret");
  EXPECT_EQ(map.ResolveKernel("\\Device\\HarddiskVolume1\\ProgramData\\x"), std::nullopt);
  EXPECT_EQ(map.ResolveInstallation("/etc/passwd"), std::nullopt);
}

}  // namespace
}  // namespace hv::offline
