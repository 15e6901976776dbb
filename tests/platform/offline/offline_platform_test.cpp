// Process, locale, release, shell and profile services of the offline platform.
#include "platform/offline/offline_platform.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "platform/offline/offline_machine.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
#endif
}

class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    SetEnv(name, value);
  }
  ~EnvGuard() {
    SetEnv(name_, old_ ? old_->c_str() : nullptr);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

OfflineOptions Bare(const test::TempDir& dir) {
  fs::create_directories(dir / "c");
  OfflineOptions options;
  options.machine.drives = {{'C', drive::kFixed, "\\Device\\HarddiskVolume1", dir / "c"}};
  return options;
}

TEST(OfflinePlatformTest, VersionRefusesAWrongRecordSize) {
  test::TempDir dir;
  OfflineOptions options = Bare(dir);
  options.machine.version = ReleaseVersion{5, 2};
  options.machine.platformId = 1;
  OfflinePlatform os(options);
  OsVersionInfoA info;
  // As kernel32 answers any record but the plain one it fills.
  for (DWORD size : {100u, 156u}) {
    info.dwOSVersionInfoSize = size;
    EXPECT_FALSE(os.GetVersionExA(&info));
    EXPECT_EQ(os.GetLastError(), err::kInsufficientBuffer);
  }
  EXPECT_FALSE(os.GetVersionExA(nullptr));
  EXPECT_EQ(os.GetLastError(), err::kInvalidParameter);
  info.dwOSVersionInfoSize = 148;
  ASSERT_TRUE(os.GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 2u);
  EXPECT_EQ(info.dwPlatformId, 1u);
  BOOL wow64 = 1;
  ASSERT_TRUE(os.LookupIsWow64Process()(&wow64));
  EXPECT_FALSE(wow64);  // no Windows\SysWOW64
}

TEST(OfflinePlatformTest, ProfileWritesReportFailure) {
  test::TempDir dir;
  OfflinePlatform os(Bare(dir));
  test::WriteWholeFile(dir / "file", "x");
  const std::string bad = (dir / "file" / "options.ini").string();
  EXPECT_FALSE(os.WritePrivateProfileStringA("Options", "Lan", "English", bad.c_str()));
  EXPECT_NE(os.GetLastError(), err::kSuccess);
  EXPECT_FALSE(os.WritePrivateProfileStringA("Options", "Lan", "English", "Q:\\options.ini"));
  EXPECT_EQ(os.GetLastError(), err::kPathNotFound);
  ASSERT_TRUE(os.WritePrivateProfileStringA("Options", "Lan", "German", "C:\\OPTIONS.INI"));
  char buf[16];
  EXPECT_EQ(os.GetPrivateProfileStringA("options", "lan", "English", buf, sizeof buf, "c:\\options.ini"), 6u);
  EXPECT_STREQ(buf, "German");
}

TEST(OfflinePlatformTest, FoldersCommandLineAndShell) {
  test::TempDir dir;
  EnvGuard config("XDG_CONFIG_HOME", (dir / "xdg").string().c_str());
  EnvGuard display("DISPLAY", nullptr);
  EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
  OfflineOptions options = Bare(dir);
  options.programName = "/opt/my apps/hivora";
  options.arguments = {"/Silent", "", "a b"};
  options.dataFolder = dir / "share";
  OfflinePlatform os(options);
  const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
  EXPECT_TRUE(os.ProgramFolder().ends_with((dir / "xdg" / "talvix-hivora").string() + sep));
  EXPECT_TRUE(fs::is_directory(dir / "xdg" / "talvix-hivora"));
  EXPECT_TRUE(os.DataFolder().ends_with((dir / "share").string() + sep));
  EXPECT_EQ(os.GetCommandLineA(), "\"/opt/my apps/hivora\" /Silent \"\" \"a b\"");
  testing::internal::CaptureStdout();
  EXPECT_EQ(os.ShellExecuteA(nullptr, "open", "https://example.org/help", nullptr, nullptr, kSwShow), 42);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Opening https://example.org/help\n");
}

TEST(OfflinePlatformTest, LocaleFormatsFollowTheEnvironment) {
  test::TempDir dir;
  OfflinePlatform os(Bare(dir));
  const SystemTime t{.wYear = 2024, .wMonth = 3, .wDay = 9, .wHour = 14, .wMinute = 5, .wSecond = 7};
  {
    EnvGuard all("LC_ALL", "C");
    EXPECT_EQ(os.FormatShortDate(t), "03/09/24");
    EXPECT_EQ(os.FormatLongTime(t), "14:05:07");
    EXPECT_EQ(os.DecimalSeparator(), '.');
  }
  {
    // A locale that is not installed falls back to "C" instead of failing.
    EnvGuard all("LC_ALL", "xx_NOWHERE.UTF-8");
    EXPECT_EQ(os.FormatShortDate(t), "03/09/24");
  }
  SystemTime now;
  os.GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
}

}  // namespace
}  // namespace hv::offline
