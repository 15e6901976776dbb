#include "platform/offline/token.h"

#include <gtest/gtest.h>

namespace hv::offline {
namespace {

TokenPrivileges One(const char* name, DWORD attributes) {
  TokenPrivileges tp;
  tp.privilegeCount = 1;
  tp.luid = *Token::LookupPrivilege(name);
  tp.attributes = attributes;
  return tp;
}

TEST(TokenTest, RefusalsChangeNothing) {
  Token token;
  DWORD error = 0;
  TokenPrivileges previous;
  TokenPrivileges tp = One("SeBackupPrivilege", kSePrivilegeEnabled);
  DWORD needed = 0;
  // Room for the header only: the previous state does not fit.
  EXPECT_FALSE(token.Adjust(0, &tp, 4, &previous, &needed, &error));
  EXPECT_EQ(error, err::kInsufficientBuffer);
  EXPECT_EQ(needed, 16u);
  EXPECT_FALSE(token.IsEnabled("SeBackupPrivilege"));
  EXPECT_FALSE(token.Adjust(0, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, err::kInvalidParameter);
  // A privilege the token does not hold.
  TokenPrivileges absent = One("SeCreateTokenPrivilege", kSePrivilegeEnabled);
  EXPECT_TRUE(token.Adjust(0, &absent, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, err::kNotAllAssigned);
  EXPECT_FALSE(Token::LookupPrivilege("SeNoSuchPrivilege"));
}

TEST(TokenTest, WindowsLuidsAndEnabling) {
  EXPECT_EQ(Token::LookupPrivilege("SeBackupPrivilege")->lowPart, 17u);
  EXPECT_EQ(Token::LookupPrivilege("serestoreprivilege")->lowPart, 18u);
  EXPECT_EQ(Token::LookupPrivilege("SeShutdownPrivilege")->lowPart, 19u);
  Token token;
  for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege", "SeShutdownPrivilege"}) {
    EXPECT_FALSE(token.IsEnabled(name)) << name;
  }
  DWORD error = 0;
  TokenPrivileges previous;
  DWORD length = 0;
  TokenPrivileges tp = One("SeBackupPrivilege", kSePrivilegeEnabled);
  ASSERT_TRUE(token.Adjust(0, &tp, sizeof previous, &previous, &length, &error));
  EXPECT_EQ(error, err::kSuccess);
  EXPECT_TRUE(token.IsEnabled("SeBackupPrivilege"));
  EXPECT_EQ(previous.privilegeCount, 1u);
  EXPECT_EQ(previous.attributes, 0u);
  // Enabling again changes nothing, so the previous state is empty.
  ASSERT_TRUE(token.Adjust(0, &tp, sizeof previous, &previous, &length, &error));
  EXPECT_EQ(previous.privilegeCount, 0u);
  EXPECT_EQ(length, 4u);
  tp.attributes = 0;
  ASSERT_TRUE(token.Adjust(0, &tp, 0, nullptr, nullptr, &error));
  EXPECT_FALSE(token.IsEnabled("SeBackupPrivilege"));
  tp = One("SeShutdownPrivilege", kSePrivilegeEnabled);
  ASSERT_TRUE(token.Adjust(0, &tp, 0, nullptr, nullptr, &error));
  ASSERT_TRUE(token.Adjust(1, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_FALSE(token.IsEnabled("SeShutdownPrivilege"));
}

}  // namespace
}  // namespace hv::offline
