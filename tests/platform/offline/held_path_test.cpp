// Files of an installation acted on after their path was walked: a folder or
// file swapped for a link in the meantime is never followed out of it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/offline/file_protection.h"
#include "platform/offline/held_path.h"
#include "platform/offline/hive_soundness.h"
#include "platform/offline/host_io.h"
#include "platform/offline/private_profile.h"
#include "platform/types.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class HeldPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(config);
    fs::create_directories(outside);
    std::ofstream(config / "SAM") << "image hive";
    std::ofstream(config / "SYSTEM") << "image system";
    std::ofstream(outside / "SAM") << "host file";
    fs::permissions(outside / "SAM", fs::perms::owner_read | fs::perms::owner_write);
    ::stat((outside / "SAM").c_str(), &before);
  }

  // The host's file is as it was, and nothing new is beside it.
  void ExpectOutsideUntouched() const {
    EXPECT_EQ(Bytes(outside / "SAM"), "host file");
    struct stat now {};
    ASSERT_EQ(::stat((outside / "SAM").c_str(), &now), 0);
    EXPECT_EQ(now.st_mode, before.st_mode);
    EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(outside)) ++entries;
    EXPECT_EQ(entries, 1);
  }

  DriveMap Map() const { return DriveMap({{'C', drive::kFixed, "\\Device\\HarddiskVolume1", c}}, false); }

  test::TempDir dir;
  fs::path c = dir / "c";
  fs::path config = c / "Windows" / "System32" / "config";
  fs::path outside = dir / "outside";
  struct stat before {};
};

TEST_F(HeldPathTest, FolderSwappedForALinkAfterTheWalkIsNeverFollowed) {
  const DriveMap map = Map();
  const auto sam = map.ResolveNative("C:\\Windows\\System32\\config\\SAM");
  const auto system = map.ResolveNative("C:\\Windows\\System32\\config\\SYSTEM");
  ASSERT_TRUE(sam && system);
  fs::rename(config, c / "config.moved");
  fs::create_directory_symlink(outside, config);

  std::string bytes;
  EXPECT_NE(host::ReadFile(*sam, &bytes), err::kSuccess);
  EXPECT_NE(bytes, "host file");
  DWORD error = err::kSuccess;
  EXPECT_FALSE(host::OpenFile::Open(*sam, true, true, host::OpenFile::Disposition::kOpenExisting, &error));
  EXPECT_EQ(error, err::kAccessDenied);
  EXPECT_NE(host::WriteFileAtomically(*sam, "image"), err::kSuccess);
  EXPECT_NE(host::Rename(c / "config.moved" / "SYSTEM", *sam), err::kSuccess);
  EXPECT_NE(host::Remove(*sam), err::kSuccess);
  EXPECT_NE(host::CopyFileProtected(c / "config.moved" / "SYSTEM", *system, c / "config.moved" / "SYSTEM"),
            err::kSuccess);
  EXPECT_NE(host::CreateFolders(*system / "below"), err::kSuccess);
  EXPECT_NE(WhyNotSoundHive(*sam), std::nullopt);
  ExpectOutsideUntouched();
  EXPECT_EQ(Bytes(c / "config.moved" / "SYSTEM"), "image system");
}

TEST_F(HeldPathTest, FileSwappedForALinkAfterTheWalkIsNeverFollowed) {
  const DriveMap map = Map();
  const auto sam = map.ResolveNative("C:\\Windows\\System32\\config\\SAM");
  ASSERT_TRUE(sam);
  fs::remove(*sam);
  fs::create_symlink(outside / "SAM", *sam);

  std::string bytes;
  EXPECT_EQ(host::ReadFile(*sam, &bytes), err::kAccessDenied);
  EXPECT_TRUE(bytes.empty());
  DWORD error = err::kSuccess;
  EXPECT_FALSE(host::OpenFile::Open(*sam, false, true, host::OpenFile::Disposition::kOpenAlways, &error));
  EXPECT_NE(host::CopyFileDurably(config / "SYSTEM", *sam), err::kSuccess);
  EXPECT_NE(host::CopyFileProtected(*sam, config / "SAM.copy", config / "SYSTEM"), err::kSuccess);
  EXPECT_FALSE(fs::exists(config / "SAM.copy"));
  // The protection of a hive is never given to what a link in its copy's place names.
  EXPECT_NE(host::CopyProtection(config / "SYSTEM", *sam), err::kSuccess);
  EXPECT_NE(host::SyncFile(*sam), err::kSuccess);
  ExpectOutsideUntouched();

  // A new file takes the link's place; the link goes, never what it names.
  EXPECT_EQ(host::WriteFileAtomically(*sam, "image"), err::kSuccess);
  EXPECT_EQ(Bytes(*sam), "image");
  EXPECT_FALSE(fs::is_symlink(*sam));
  fs::remove(*sam);
  fs::create_symlink(outside / "SAM", *sam);
  EXPECT_EQ(host::Remove(*sam), err::kSuccess);
  EXPECT_FALSE(fs::exists(fs::symlink_status(*sam)));
  ExpectOutsideUntouched();
}

TEST_F(HeldPathTest, InstallationFilesAreReachedThroughTheirHeldFolder) {
  const DriveMap map = Map();
  const auto sam = map.ResolveNative("C:\\Windows\\System32\\config\\SAM");
  ASSERT_TRUE(sam);
  const HeldPath held(*sam);
  EXPECT_TRUE(held.held());
  EXPECT_EQ(held.error(), 0);
  EXPECT_EQ(held.path().string().rfind("/proc/self/fd/", 0), 0u) << held.path();
  EXPECT_EQ(held.path().filename(), "SAM");
  EXPECT_EQ(held.Describe(held.path().string() + ": bad; " + held.path().parent_path().string() + " too"),
            sam->string() + ": bad; " + config.string() + " too");
  // The folder stays the walked one when its name is taken by another.
  fs::rename(config, c / "config.moved");
  fs::create_directories(config);
  EXPECT_EQ(host::WriteFileAtomically(*sam, "new"), err::kSuccess);  // through the new folder's name
  std::string bytes;
  EXPECT_EQ(host::ReadFile(held.path(), &bytes), err::kSuccess);
  EXPECT_EQ(bytes, "image hive");
  EXPECT_EQ(Bytes(config / "SAM"), "new");
}

TEST_F(HeldPathTest, AStateFileThatIsALinkIsNeitherReadNorWrittenThrough) {
  const DriveMap map = Map();
  std::vector<std::string> told;
  SetProfileRefusalNotice([&](const std::string& line) { told.push_back(line); });
  fs::create_directories(c / "ProgramData");
  std::ofstream(outside / "SAM", std::ios::app) << "\n[Hive1]\nFile=C:\\Windows\\System32\\config\\SAM\n";
  ::stat((outside / "SAM").c_str(), &before);
  const fs::path ini = c / "ProgramData" / "RestorePoint.ini";
  fs::create_symlink(outside / "SAM", ini);
  char value[64] = {};
  EXPECT_EQ(GetProfileString("Hive1", "File", "none", value, sizeof value, ini), 4u);
  EXPECT_STREQ(value, "none");
  EXPECT_NE(WriteProfileString("Hive1", "File", "C:\\x", ini), err::kSuccess);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(ini)));
  ASSERT_FALSE(told.empty());
  EXPECT_NE(told[0].find("a link, which is not followed"), std::string::npos) << told[0];
  SetProfileRefusalNotice(nullptr);
  EXPECT_EQ(Bytes(outside / "SAM"), "host file\n[Hive1]\nFile=C:\\Windows\\System32\\config\\SAM\n");
  struct stat now {};
  ASSERT_EQ(::stat((outside / "SAM").c_str(), &now), 0);
  EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(HeldPathTest, TheProgramsOwnFilesOutsideAnInstallationFollowLinksAsBefore) {
  const DriveMap map = Map();
  fs::create_symlink(outside / "SAM", dir / "settings.ini");
  const HeldPath held(dir / "settings.ini");
  EXPECT_FALSE(held.held());
  EXPECT_EQ(held.path(), dir / "settings.ini");
  std::string bytes;
  EXPECT_EQ(host::ReadFile(dir / "settings.ini", &bytes), err::kSuccess);
  EXPECT_EQ(bytes, "host file");
}

TEST_F(HeldPathTest, NothingIsHeldOnceTheInstallationIsClosed) {
  const fs::path sam = config / "SAM";
  {
    const DriveMap map = Map();
    EXPECT_TRUE(HeldPath(sam).held());
  }
  EXPECT_FALSE(HeldPath(sam).held());
}

}  // namespace
}  // namespace hv::offline
