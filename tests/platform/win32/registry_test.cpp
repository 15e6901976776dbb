// The registry pass-through against the real registry (a scratch key under
// HKEY_CURRENT_USER, removed afterwards).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/unique_handle.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"
#include "platform/win32/wine_check.h"

// The root macro casts to `HKEY`, which inside namespace hv is the interface's type.
static const ::HKEY kCurrentUser = HKEY_CURRENT_USER;

namespace hv {
namespace {

class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    subKey_ = "Software\\HivoraTest-" + std::to_string(::GetCurrentProcessId());
    ::HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(kCurrentUser, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    SetString(key, "Config", "C:\\Windows\\System32\\config\\SYSTEM");
    SetString(key, "Empty", "");
    const ::DWORD number = 0x12345678;
    ::RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const ::BYTE*>(&number),
                     sizeof number);
    ::RegCloseKey(key);
  }
  void TearDown() override { ::RegDeleteKeyA(kCurrentUser, subKey_.c_str()); }

  static void SetString(::HKEY key, const char* name, const char* text) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const ::BYTE*>(text),
                     static_cast<::DWORD>(std::strlen(text) + 1));
  }
  HKEY CurrentUser() const { return win32::FromWin(kCurrentUser); }
  UniqueHkey OpenScratch() {
    UniqueHkey key;
    EXPECT_EQ(os_.RegOpenKeyA(CurrentUser(), subKey_.c_str(), key.put()), LSTATUS(err::kSuccess));
    return key;
  }

  Win32Platform os_;
  ScopedPlatform scope_{&os_};
  std::string subKey_;
};

TEST_F(Win32Registry, OpeningAMissingKeyFailsAndLeavesNoKey) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(os_.RegOpenKeyA(CurrentUser(), (subKey_ + "\\Missing").c_str(), &key),
            LSTATUS(err::kFileNotFound));
  EXPECT_EQ(key, nullptr);
  key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(os_.RegOpenKeyExA(CurrentUser(), (subKey_ + "\\Missing").c_str(), 0,
                              access::kKeyRead, &key),
            LSTATUS(err::kFileNotFound));
  EXPECT_EQ(key, nullptr);
}

TEST_F(Win32Registry, EnumerationFollowsTheBufferRules) {
  UniqueHkey key = OpenScratch();
  ASSERT_TRUE(key);
  // The value name "Config" needs 7 characters with its NUL: 6 is too few.
  char name[64];
  BYTE data[256];
  DWORD type = 0;
  bool found = false;
  for (DWORD index = 0;; ++index) {
    DWORD nameLen = sizeof name;
    DWORD dataLen = sizeof data;
    const LSTATUS status = os_.RegEnumValueA(key.get(), index, name, &nameLen, &type, data, &dataLen);
    if (status == LSTATUS(err::kNoMoreItems)) {
      EXPECT_EQ(index, 3u);
      break;
    }
    ASSERT_EQ(status, LSTATUS(err::kSuccess));
    ASSERT_EQ(nameLen, std::strlen(name)) << "the returned name length excludes the NUL";
    if (std::string(name) != "Config") continue;
    found = true;
    EXPECT_EQ(type, reg::kSz);
    EXPECT_EQ(dataLen, std::strlen("C:\\Windows\\System32\\config\\SYSTEM") + 1);

    DWORD shortName = 6;
    dataLen = sizeof data;
    EXPECT_EQ(os_.RegEnumValueA(key.get(), index, name, &shortName, &type, data, &dataLen),
              LSTATUS(err::kMoreData));
    DWORD exactName = 7;
    DWORD shortData = 4;
    EXPECT_EQ(os_.RegEnumValueA(key.get(), index, name, &exactName, &type, data, &shortData),
              LSTATUS(err::kMoreData));
    // Without a data buffer the size alone is reported.
    exactName = 7;
    DWORD sizeOnly = 0;
    EXPECT_EQ(os_.RegEnumValueA(key.get(), index, name, &exactName, &type, nullptr, &sizeOnly),
              LSTATUS(err::kSuccess));
    EXPECT_EQ(sizeOnly, std::strlen("C:\\Windows\\System32\\config\\SYSTEM") + 1);
  }
  EXPECT_TRUE(found);
}

TEST_F(Win32Registry, QueryGivesTypeSizeAndData) {
  UniqueHkey key = OpenScratch();
  ASSERT_TRUE(key);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(os_.RegQueryValueExA(key.get(), "Number", &type, nullptr, &size),
            LSTATUS(err::kSuccess));
  EXPECT_EQ(type, reg::kDword);
  ASSERT_EQ(size, 4u);
  DWORD number = 0;
  EXPECT_EQ(os_.RegQueryValueExA(key.get(), "Number", &type, reinterpret_cast<BYTE*>(&number),
                                 &size),
            LSTATUS(err::kSuccess));
  EXPECT_EQ(number, 0x12345678u);

  char text[8] = {};
  size = 1;
  EXPECT_EQ(os_.RegQueryValueExA(key.get(), "Empty", &type, reinterpret_cast<BYTE*>(text), &size),
            LSTATUS(err::kSuccess));
  EXPECT_EQ(type, reg::kSz);
  EXPECT_EQ(os_.RegQueryValueExA(key.get(), "Absent", &type, nullptr, &size),
            LSTATUS(err::kFileNotFound));
}

TEST_F(Win32Registry, PredefinedRootsReachTheRealOnes) {
  UniqueHkey software;
  EXPECT_EQ(os_.RegOpenKeyExA(HkeyLocalMachine(), "Software", 0, access::kKeyQueryValue,
                              software.put()),
            LSTATUS(err::kSuccess));
  EXPECT_TRUE(software);
  UniqueHkey users;
  EXPECT_EQ(os_.RegOpenKeyA(HkeyUsers(), ".DEFAULT", users.put()), LSTATUS(err::kSuccess));
  EXPECT_TRUE(users);
  // An empty subkey opens the root itself, which the owner may close harmlessly.
  UniqueHkey root;
  EXPECT_EQ(os_.RegOpenKeyA(HkeyLocalMachine(), "", root.put()), LSTATUS(err::kSuccess));
}

TEST_F(Win32Registry, SaveWritesANewFileOnlyWithTheBackupPrivilege) {
  UniqueHkey key = OpenScratch();
  ASSERT_TRUE(key);
  char folder[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, folder), 0u);
  const std::string file = std::string(folder) + "hivora-save-" +
                           std::to_string(::GetCurrentProcessId()) + ".hvx";
  ::DeleteFileA(file.c_str());

  UniqueHandle token;
  ASSERT_TRUE(os_.OpenProcessToken(access::kTokenAdjustPrivileges | access::kTokenQuery,
                                   token.put()));
  TokenPrivileges enable;
  enable.privilegeCount = 1;
  enable.attributes = kSePrivilegeEnabled;
  ASSERT_TRUE(os_.LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &enable.luid));
  ASSERT_TRUE(os_.AdjustTokenPrivileges(token.get(), 0, &enable, 0, nullptr, nullptr));

  const LSTATUS saved = os_.RegSaveKeyA(key.get(), file.c_str());
  if (saved == LSTATUS(err::kPrivilegeNotHeld)) {
    GTEST_SKIP() << "the account holds no backup privilege (not run as administrator)";
  }
  ASSERT_EQ(saved, LSTATUS(err::kSuccess));
  EXPECT_NE(os_.GetFileAttributesA(file.c_str()), file::kInvalidFileAttributes);
  const LSTATUS again = os_.RegSaveKeyA(key.get(), file.c_str());
  if (test::RunningUnderWine() && again == LSTATUS(err::kSuccess)) {
    std::cout << "[ WINE     ] deviation: RegSaveKeyA overwrites an existing file; Windows "
                 "refuses it with ERROR_ALREADY_EXISTS\n";
  } else {
    EXPECT_EQ(again, LSTATUS(err::kAlreadyExists)) << "the target must not exist";
  }
  ::DeleteFileA(file.c_str());
}

// A save that failed is told in the system's words, never as a bare number.
TEST_F(Win32Registry, AFailedSaveKeepsItsReasonInWords) {
  UniqueHkey key = OpenScratch();
  ASSERT_TRUE(key);
  char folder[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, folder), 0u);
  const std::string file = std::string(folder) + "hivora-no-such-folder\\copy.hvx";
  ASSERT_NE(os_.RegSaveKeyA(key.get(), file.c_str()), LSTATUS(err::kSuccess));
  const std::string why = os_.SaveFailureText(file.c_str());
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(why.find("Windows error"), std::string::npos) << why;
  EXPECT_NE(why.back(), '\n');
  EXPECT_TRUE(os_.SaveFailureText("C:\\never-saved.hvx").empty());
}

}  // namespace
}  // namespace hv
