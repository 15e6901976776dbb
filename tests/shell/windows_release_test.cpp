#include "shell/windows_release.h"

#include <gtest/gtest.h>

#include "support/fake_fixture.h"

namespace hv {
namespace {

using WindowsReleaseTest = test::FakePlatformTest;

TEST_F(WindowsReleaseTest, FailedVersionQueryIsClassZero) {
  fake.SetVersionFails(true);
  EXPECT_EQ(GetWindowsClass(), 0);
  EXPECT_FALSE(IsAcceptedWindowsClass(0));
}

TEST_F(WindowsReleaseTest, Wow64AnswersFalseWithoutTheEntryPointOrOnFailure) {
  fake.SetWow64(false, true);
  EXPECT_FALSE(IsWow64());
  fake.SetWow64(true, true, false);
  EXPECT_FALSE(IsWow64());
  fake.SetWow64(true, false);
  EXPECT_FALSE(IsWow64());
  fake.SetWow64(true, true);
  EXPECT_TRUE(IsWow64());
}

TEST_F(WindowsReleaseTest, ReleaseTable) {
  struct Case {
    DWORD platform, major, minor;
    int windowsClass;
    bool accepted, restorePoint;
  } cases[] = {
      {2, 3, 51, 5, true, false},  {2, 4, 0, 6, true, false},    {2, 5, 0, 7, true, false},
      {2, 5, 1, 9, true, true},    {2, 5, 2, 10, true, true},    {2, 5, 3, 7, true, false},
      {2, 6, 0, 11, true, true},   {2, 6, 1, 12, true, true},    {2, 6, 2, 11, true, true},
      {2, 6, 3, 11, true, true},   {2, 10, 0, 0, false, false},  {2, 2, 0, 0, false, false},
      {1, 4, 0, 1, false, false},  {1, 4, 10, 3, false, false},  {1, 4, 90, 8, false, false},
      {1, 4, 1, 0, false, false},  {1, 5, 0, 0, false, false},   {0, 4, 10, 3, false, false},
  };
  for (const auto& c : cases) {
    fake.SetVersion(c.platform, c.major, c.minor);
    const std::uint8_t got = GetWindowsClass();
    EXPECT_EQ(got, c.windowsClass) << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(IsAcceptedWindowsClass(got), c.accepted) << int(got);
    EXPECT_EQ(IsRestorePointWindowsClass(got), c.restorePoint) << int(got);
  }
  for (int n : {2, 4, 13, 255}) {
    EXPECT_FALSE(IsAcceptedWindowsClass(static_cast<std::uint8_t>(n)));
    EXPECT_FALSE(IsRestorePointWindowsClass(static_cast<std::uint8_t>(n)));
  }
}

}  // namespace
}  // namespace hv
