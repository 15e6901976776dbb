// Token privileges through the pass-through.
#include <gtest/gtest.h>

#include "platform/unique_handle.h"
#include "platform/win32/win32_platform.h"

namespace hv {
namespace {

class Win32Privileges : public ::testing::Test {
 protected:
  Win32Platform os_;
  ScopedPlatform scope_{&os_};
};

TEST_F(Win32Privileges, UnknownPrivilegeNameIsRefused) {
  Luid luid{7, 7};
  EXPECT_FALSE(os_.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(os_.GetLastError(), err::kNoSuchPrivilege);
  EXPECT_EQ(luid, (Luid{7, 7})) << "a failed lookup leaves the output alone";
}

TEST_F(Win32Privileges, KnownPrivilegesHaveDistinctIds) {
  Luid backup, restore, shutdown;
  ASSERT_TRUE(os_.LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &backup));
  ASSERT_TRUE(os_.LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &restore));
  ASSERT_TRUE(os_.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
  EXPECT_NE(backup, restore);
  EXPECT_NE(backup, shutdown);
  EXPECT_NE(backup, Luid{});
}

TEST_F(Win32Privileges, AdjustingReportsThePreviousStateInOneRecord) {
  UniqueHandle token;
  ASSERT_TRUE(os_.OpenProcessToken(access::kTokenAllAccessF00FF, token.put()));
  ASSERT_TRUE(token);
  TokenPrivileges enable;
  enable.privilegeCount = 1;
  enable.attributes = kSePrivilegeEnabled;
  ASSERT_TRUE(os_.LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &enable.luid));

  TokenPrivileges previous;
  DWORD returned = 0;
  // The caller may claim more room than one record; no more than that is used.
  ASSERT_TRUE(os_.AdjustTokenPrivileges(token.get(), 0, &enable, 4096, &previous, &returned));
  const DWORD outcome = os_.GetLastError();
  EXPECT_TRUE(outcome == err::kSuccess || outcome == err::kNotAllAssigned) << outcome;
  EXPECT_LE(previous.privilegeCount, 1u);
  EXPECT_LE(returned, sizeof(TokenPrivileges));
}

TEST_F(Win32Privileges, ClosingAnInvalidHandleFails) {
  EXPECT_FALSE(os_.CloseHandle(InvalidHandleValue()) && os_.CloseHandle(nullptr));
}

}  // namespace
}  // namespace hv
