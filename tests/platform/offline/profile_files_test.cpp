// The settings, language and report files on the host: what is not a plain
// file of reasonable size is refused and left alone, a link and the file's
// mode are kept, and a file is parsed once while it does not change.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/offline/private_profile.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

std::string Get(const fs::path& file, const char* key) {
  char buffer[256] = {};
  GetProfileString("Options", key, "<default>", buffer, sizeof buffer, file);
  return buffer;
}

std::string Text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ProfileFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProfileRefusalNotice([this](const std::string& line) { told.push_back(line); });
  }
  void TearDown() override { SetProfileRefusalNotice(nullptr); }
  test::TempDir dir;
  std::vector<std::string> told;
};

TEST_F(ProfileFilesTest, AFifoIsNeitherWaitedForNorWrittenAndIsToldOnce) {
  const fs::path fifo = dir / "options.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Get(fifo, "Lan"), "<default>");
  EXPECT_EQ(Get(fifo, "IsShowLine"), "<default>");
  EXPECT_NE(WriteProfileString("Options", "Lan", "German", fifo), err::kSuccess);
  EXPECT_TRUE(fs::is_fifo(fifo));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("not a regular file"), std::string::npos) << told[0];
}

TEST_F(ProfileFilesTest, AFileLargerThanOneMebibyteIsNotReadNorWritten) {
  const fs::path big = dir / "DLan_Huge.ini";
  std::string text = "[Options]\r\nLan=German\r\n";
  text += std::string(kMaxProfileFile, ';');
  std::ofstream(big, std::ios::binary) << text;
  EXPECT_EQ(Get(big, "Lan"), "<default>");
  EXPECT_NE(WriteProfileString("Options", "Lan", "French", big), err::kSuccess);
  EXPECT_EQ(Text(big), text);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("larger than 1 MiB"), std::string::npos) << told[0];
}

TEST_F(ProfileFilesTest, AWriteThroughALinkWritesItsTargetAndKeepsTheMode) {
  fs::create_directories(dir / "real");
  const fs::path target = dir / "real" / "options.ini";
  std::ofstream(target, std::ios::binary) << "[Options]\r\nLan=English\r\n";
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  const fs::path link = dir / "options.ini";
  fs::create_symlink(fs::path("real") / "options.ini", link);
  ASSERT_EQ(WriteProfileString("Options", "Lan", "German", link), err::kSuccess);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(Text(target), "[Options]\r\nLan=German\r\n");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Get(link, "Lan"), "German");
  EXPECT_TRUE(told.empty());
}

TEST_F(ProfileFilesTest, AFileIsParsedOnceWhileItsSizeAndTimeStay) {
  const fs::path file = dir / "options.ini";
  std::ofstream(file, std::ios::binary) << "[Options]\r\nLan=German\r\n";
  EXPECT_EQ(Get(file, "Lan"), "German");
  // Changed behind the reader's back with its size and time kept: the
  // parsed copy is still used, so the file was not read again.
  const auto time = fs::last_write_time(file);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "[Options]\r\nLan=French\r\n";
  fs::last_write_time(file, time);
  EXPECT_EQ(Get(file, "Lan"), "German");
  // A change of time is seen at once, and a write of this process too.
  fs::last_write_time(file, time + std::chrono::seconds(2));
  EXPECT_EQ(Get(file, "Lan"), "French");
  ASSERT_EQ(WriteProfileString("Options", "Lan", "Italian", file), err::kSuccess);
  EXPECT_EQ(Get(file, "Lan"), "Italian");
}

}  // namespace
}  // namespace hv::offline
