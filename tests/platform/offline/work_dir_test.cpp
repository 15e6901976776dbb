// The private work folder of a read-only installation: made the user's own,
// refused when another party could reach into it.
#include "platform/offline/work_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

TEST(WorkDirTest, AMissingFolderIsMadeForTheUserAloneAndItsFilesAreNamedPerInstallationAndHive) {
  test::TempDir dir;
  std::string error;
  const auto work = WorkDir::Open(dir / "work", &error);
  ASSERT_NE(work, nullptr) << error;
  struct stat st {};
  ASSERT_EQ(::stat((dir / "work").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::geteuid());

  // Two users' hives share a file name; two installations share a hive path.
  const fs::path alice = "/mnt/c/Users/alice/NTUSER.DAT";
  const fs::path bob = "/mnt/c/Users/bob/NTUSER.DAT";
  EXPECT_NE(work->CopyOf("/mnt/c", alice), work->CopyOf("/mnt/c", bob));
  EXPECT_NE(work->CopyOf("/mnt/c", alice), work->CopyOf("/mnt/d", alice));
  EXPECT_EQ(work->CopyOf("/mnt/c", alice).parent_path(), work->path());
  EXPECT_NE(work->LockFile("/mnt/c"), work->LockFile("/mnt/d"));

  // Removing one installation's files keeps its lock and the other's files.
  std::ofstream(work->CopyOf("/mnt/c", alice)) << "copy";
  std::ofstream(work->CopyOf("/mnt/d", alice)) << "copy";
  std::ofstream(work->LockFile("/mnt/c")) << "lock";
  work->RemoveFilesOf("/mnt/c");
  EXPECT_FALSE(fs::exists(work->CopyOf("/mnt/c", alice)));
  EXPECT_TRUE(fs::exists(work->CopyOf("/mnt/d", alice)));
  EXPECT_TRUE(fs::exists(work->LockFile("/mnt/c")));
}

TEST(WorkDirTest, ALinkAFolderOthersCanWriteAndOneOfAnotherUserAreRefused) {
  test::TempDir dir;
  std::string error;
  fs::create_directories(dir / "real");
  fs::permissions(dir / "real", fs::perms::owner_all);
  fs::create_directory_symlink(dir / "real", dir / "link");
  EXPECT_EQ(WorkDir::Open(dir / "link", &error), nullptr);
  EXPECT_NE(error.find("is a link or no folder"), std::string::npos) << error;

  std::ofstream(dir / "file") << "not a folder";
  EXPECT_EQ(WorkDir::Open(dir / "file", &error), nullptr);

  fs::create_directories(dir / "shared");
  fs::permissions(dir / "shared", fs::perms::all);
  EXPECT_EQ(WorkDir::Open(dir / "shared", &error), nullptr);
  EXPECT_NE(error.find("can be written by other users"), std::string::npos) << error;

  EXPECT_EQ(WorkDir::Open(dir / "missing" / "work", &error), nullptr);
  EXPECT_NE(error.find("cannot be made: No such file or directory"), std::string::npos) << error;

  if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root to make";
  fs::create_directories(dir / "theirs");
  fs::permissions(dir / "theirs", fs::perms::owner_all);
  ASSERT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
  EXPECT_EQ(WorkDir::Open(dir / "theirs", &error), nullptr);
  EXPECT_NE(error.find("belongs to another user (uid 65534)"), std::string::npos) << error;
}

TEST(WorkDirTest, AFolderThatCannotBeWrittenIsToldFromOneThatCan) {
  test::TempDir dir;
  EXPECT_FALSE(Unwritable(dir.path()));
  EXPECT_FALSE(Unwritable(dir / "not" / "there"));  // made in a writable folder
  if (::geteuid() == 0) GTEST_SKIP() << "root writes where permissions say no";
  fs::create_directories(dir / "locked");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(Unwritable(dir / "locked"));
  EXPECT_TRUE(Unwritable(dir / "locked" / "state"));
}

}  // namespace
}  // namespace hv::offline
