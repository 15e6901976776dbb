// Release and WOW64 queries through the pass-through.
#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
namespace {

TEST(Win32Release, VersionRecordOfAnotherSizeIsRefused) {
  Win32Platform os;
  OsVersionInfoA info;
  info.dwOSVersionInfoSize = 156;  // the extended record, which does not fit
  EXPECT_FALSE(os.GetVersionExA(&info));
  EXPECT_EQ(os.GetLastError(), err::kInsufficientBuffer);
  EXPECT_EQ(info.dwMajorVersion, 0u);
  EXPECT_FALSE(os.GetVersionExA(nullptr));
  EXPECT_EQ(os.GetLastError(), err::kInvalidParameter);
}

TEST(Win32Release, VersionIsAnNtRelease) {
  Win32Platform os;
  OsVersionInfoA info;
  ASSERT_TRUE(os.GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, kVerPlatformWin32Nt);
  EXPECT_GE(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
}

TEST(Win32Release, Wow64AnswerMatchesTheSystemLayout) {
  Win32Platform os;
  const auto isWow64Process = os.LookupIsWow64Process();
  ASSERT_TRUE(isWow64Process) << "every supported release has IsWow64Process";
  BOOL wow64 = 2;
  ASSERT_TRUE(isWow64Process(&wow64));
  // A 32-bit process has a separate 32-bit system folder exactly when it runs
  // on 64-bit Windows.
  char folder[MAX_PATH] = {};
  const bool has64BitSystem = ::GetSystemWow64DirectoryA(folder, MAX_PATH) != 0;
  EXPECT_EQ(wow64 != 0, has64BitSystem);
  EXPECT_TRUE(isWow64Process(nullptr)) << "a missing output is tolerated";
}

}  // namespace
}  // namespace hv
