// Files made from a hive carry its protection from the first byte: the
// copy, the restore point's copy, the new hive and its fresh logs.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/offline/file_protection.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/offline_machine.h"

namespace hv::offline {
namespace {

using test::Enable;
using test::OfflineMachine;
namespace fs = std::filesystem;

constexpr uid_t kOther = 4321;
constexpr gid_t kOtherGroup = 4322;

struct Owned {
  uid_t uid;
  gid_t gid;
  mode_t mode;
};

Owned OwnerOf(const fs::path& file) {
  struct stat st {};
  EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
  return {st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
}

void ExpectProtected(const fs::path& file) {
  const Owned o = OwnerOf(file);
  EXPECT_EQ(o.uid, kOther) << file;
  EXPECT_EQ(o.gid, kOtherGroup) << file;
  EXPECT_EQ(o.mode, 0600u) << file;
}

TEST(FileProtectionTest, CopiesBackupsAndNewLogsKeepTheHivesOwnerModeAndAttributes) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a hive to another user";
  OfflineMachine m;
  const fs::path sam = m.Config("SAM");
  ASSERT_EQ(::chown(sam.c_str(), kOther, kOtherGroup), 0);
  ASSERT_EQ(::chmod(sam.c_str(), 0600), 0);
  const bool attributes = ::setxattr(sam.c_str(), "user.hivora-test", "kept", 4, 0) == 0;

  auto os = m.Platform();
  Enable(*os, "SeBackupPrivilege");
  Enable(*os, "SeRestorePrivilege");
  Enable(*os, "SeShutdownPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  ASSERT_EQ(os->RegSaveKeyA(key, "C:\\Windows\\System32\\config\\SAM.hvx"), 0);
  os->RegCloseKey(key);
  ExpectProtected(m.Config("SAM.hvx"));
  if (attributes) {
    char value[8] = {};
    EXPECT_EQ(::getxattr(m.Config("SAM.hvx").c_str(), "user.hivora-test", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "kept");
  }

  // A restore point's copy.
  auto sr = os->LoadSrClient();
  RestorePointInfoA info{};
  info.dwEventType = 100;
  info.dwRestorePtType = 12;
  StateMgrStatus status{};
  ASSERT_TRUE(sr->SRSetRestorePointA(&info, &status));
  bool found = false;
  for (const auto& entry : fs::recursive_directory_iterator(os->restorePoints().folder())) {
    if (entry.path().filename() == "SAM") {
      ExpectProtected(entry.path());
      found = true;
    }
  }
  EXPECT_TRUE(found);

  ASSERT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", "C:\\Windows\\System32\\config\\SAM.hvx",
                               "C:\\Windows\\System32\\config\\SAM.bak"),
            0);
  ASSERT_TRUE(os->ExitWindowsEx(kEwxReboot, 1));
  ExpectProtected(sam);
  ExpectProtected(m.Config("SAM.bak"));
  ExpectProtected(LogOf(sam, "LOG1"));
  ExpectProtected(LogOf(sam, "LOG2"));
}

TEST(FileProtectionTest, AnAttributeTheTargetCannotHoldIsNoError) {
  test::TempDir dir;
  test::WriteWholeFile(dir / "model", "hive");
  // "system.ntfs_acl" exists only on ntfs-3g; elsewhere it is skipped.
  std::string why;
  EXPECT_EQ(host::CopyFileProtected(dir / "model", dir / "copy", dir / "model", &why), err::kSuccess) << why;
  EXPECT_EQ(test::ReadWholeFile(dir / "copy"), "hive");
  EXPECT_EQ(host::CopyFileProtected(dir / "model", dir / "copy", dir / "model", &why), err::kFileExists)
      << "an existing file is never taken over";
}

}  // namespace
}  // namespace hv::offline
