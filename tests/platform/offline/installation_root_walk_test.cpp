// The walk of an installation's paths without links, the same on both hosts:
// never above a drive's root, a missing tail kept as spelt for a file to be
// made, a file in the middle of a path not walked through.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/offline/installation_root.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

class InstallationRootWalk : public ::testing::Test {
 protected:
  InstallationRootWalk() {
    fs::create_directories(c_ / "Windows" / "System32" / "config");
    test::WriteWholeFile(c_ / "Windows" / "System32" / "config" / "SAM", "regf");
    fs::create_directories(d_ / "data");
    DriveSpec c;
    c.letter = 'C';
    c.folder = c_;
    DriveSpec d;
    d.letter = 'D';
    d.folder = d_;
    root_ = std::make_unique<InstallationRoot>(std::vector<DriveSpec>{c, d});
  }
  std::optional<fs::path> Resolve(char letter, std::vector<std::string> parts) { return root_->Resolve(letter, parts); }

  test::TempDir dir_;
  fs::path c_ = dir_ / "c";
  fs::path d_ = dir_ / "d";
  std::unique_ptr<InstallationRoot> root_;
};

TEST_F(InstallationRootWalk, PathsStayBelowTheirDrivesRoot) {
  const fs::path sam = c_ / "Windows" / "System32" / "config" / "SAM";
  EXPECT_EQ(Resolve('C', {"Windows", "System32", "config", "SAM"}), sam);
  EXPECT_EQ(Resolve('c', {"Windows", ".", "System32", "", "config", "SAM"}), sam);
  EXPECT_EQ(Resolve('C', {"..", "..", "d", "data"}), c_ / "d" / "data") << "never above the drive's root";
  EXPECT_EQ(Resolve('C', {"Windows", "..", "..", "Windows", "System32", "config", "SAM"}), sam);
  EXPECT_EQ(Resolve('D', {"data", "..", "..", "x"}), d_ / "x");
  EXPECT_FALSE(Resolve('E', {"Windows"})) << "a drive the installation does not have";
}

TEST_F(InstallationRootWalk, AMissingTailKeepsItsSpellingAndAFileEndsTheWalk) {
  EXPECT_EQ(Resolve('C', {"Windows", "System32", "config", "SAM.hvx"}),
            c_ / "Windows" / "System32" / "config" / "SAM.hvx");
  EXPECT_EQ(Resolve('C', {"ProgramData", "Talvix Hivora", "hivora.lock"}),
            c_ / "ProgramData" / "Talvix Hivora" / "hivora.lock");
  EXPECT_EQ(Resolve('C', {"Windows", "System32", "config", "SAM", "inside"}),
            c_ / "Windows" / "System32" / "config" / "SAM" / "inside")
      << "a file in the middle is not a folder to walk through";
}

}  // namespace
}  // namespace hv::offline
