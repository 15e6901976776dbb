// Process and locale queries through the pass-through.
#include <gtest/gtest.h>

#include <string>

#include "platform/command_line.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
namespace {

TEST(Win32Process, ProgramFolderHoldsTheExecutable) {
  Win32Platform os;
  const std::string folder = os.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(os.DataFolder(), folder);
  const std::string self = folder + "win32_process_test.exe";
  EXPECT_NE(os.GetFileAttributesA(self.c_str()), file::kInvalidFileAttributes) << self;
}

// A program on a write-protected folder keeps its settings in the user's
// application data folder.
TEST(Win32Process, SettingsFallbackIsTheUsersApplicationDataFolder) {
  Win32Platform os;
  const std::string folder = os.SettingsFallbackFolder(true);
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.find("\\Talvix Hivora\\"), std::string::npos) << folder;
  EXPECT_EQ(folder.back(), '\\');
  const DWORD attributes = os.GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, file::kInvalidFileAttributes) << folder;
  const std::string file = folder + "probe.ini";
  EXPECT_TRUE(os.WritePrivateProfileStringA("Options", "Lan", "German", file.c_str()));
  char value[16] = {};
  os.GetPrivateProfileStringA("Options", "Lan", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "German");
  EXPECT_EQ(os.SettingsFallbackFolder(false), folder);
}

TEST(Win32Process, CommandLineNamesTheProgramFirst) {
  Win32Platform os;
  const std::string program = ParamStr(os.GetCommandLineA(), 0);
  EXPECT_NE(program.find("win32_process_test"), std::string::npos) << os.GetCommandLineA();
}

TEST(Win32Process, DatesAndTimesUseTheUserFormats) {
  Win32Platform os;
  SystemTime when;
  when.wYear = 2031;
  when.wMonth = 11;
  when.wDay = 23;
  when.wHour = 17;
  when.wMinute = 48;
  when.wSecond = 39;
  const std::string date = os.FormatShortDate(when);
  EXPECT_TRUE(date.find("2031") != std::string::npos || date.find("31") != std::string::npos)
      << date;
  EXPECT_NE(date.find("23"), std::string::npos) << date;
  EXPECT_EQ(date.find('\0'), std::string::npos);
  const std::string time = os.FormatLongTime(when);
  EXPECT_NE(time.find("48"), std::string::npos) << time;
  EXPECT_NE(time.find("39"), std::string::npos) << time;
  EXPECT_EQ(time.find('\0'), std::string::npos);

  SystemTime invalid;  // month 0 is no date
  EXPECT_EQ(os.FormatShortDate(invalid), "");
}

TEST(Win32Process, LocalTimeAndDecimalSeparator) {
  Win32Platform os;
  SystemTime now;
  os.GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2020);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  const char separator = os.DecimalSeparator();
  EXPECT_TRUE(separator > ' ' && (separator < '0' || separator > '9')) << int(separator);
}

}  // namespace
}  // namespace hv
