// The work folder of a read-only installation on a Windows host: the user's
// own folder, made when missing, refused when it is no folder; a writable
// folder is told from a read-only one without a trace left in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/offline/work_dir.h"
#include "platform/win32/win.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

class WindowsWorkDir : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("hivora-work-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  fs::path folder_;
};

TEST_F(WindowsWorkDir, AMissingFolderIsMadeAndHoldsTheCopiesAndTheLock) {
  std::string error;
  const auto work = WorkDir::Open(folder_ / "work", &error);
  ASSERT_NE(work, nullptr) << error;
  EXPECT_TRUE(fs::is_directory(folder_ / "work"));
  EXPECT_EQ(work->CopyOf("C:\\m", "C:\\m\\Windows\\System32\\config\\SAM").parent_path(), work->path());
  EXPECT_EQ(work->LockFile("C:\\m").parent_path(), work->path());
  // Opened again by the next run, as the user's own folder.
  const auto again = WorkDir::Open(folder_ / "work", &error);
  EXPECT_NE(again, nullptr) << error;
}

TEST_F(WindowsWorkDir, AFileOrAFolderThatCannotBeMadeIsRefusedByName) {
  std::string error;
  std::ofstream(folder_ / "file") << "not a folder";
  EXPECT_EQ(WorkDir::Open(folder_ / "file", &error), nullptr);
  EXPECT_NE(error.find("the work folder is a link or no folder"), std::string::npos) << error;
  EXPECT_EQ(WorkDir::Open(folder_ / "missing" / "work", &error), nullptr);
  EXPECT_NE(error.find("the work folder cannot be made: "), std::string::npos) << error;
  EXPECT_EQ(error.find("Windows error"), std::string::npos) << "the reason in words: " << error;
}

TEST_F(WindowsWorkDir, TheDefaultLiesInTheUsersOwnDataFolder) {
  const fs::path work = DefaultWorkDir();
  ASSERT_FALSE(work.empty());
  const char* local = std::getenv("LOCALAPPDATA");
  if (local != nullptr && *local != '\0') {
    EXPECT_EQ(work, fs::path(local) / "Talvix Hivora" / "work");
  }
}

TEST_F(WindowsWorkDir, AWritableFolderIsToldWritableAndKeepsNoTraceOfTheQuestion) {
  EXPECT_FALSE(Unwritable(folder_));
  EXPECT_FALSE(Unwritable(folder_ / "not" / "there")) << "a missing folder is judged by the nearest one above";
  EXPECT_TRUE(fs::is_empty(folder_)) << "the question leaves no file behind";
}

}  // namespace
}  // namespace hv::offline
