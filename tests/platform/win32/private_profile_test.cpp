// The private-profile rules of the real kernel32 functions, through the
// pass-through, on the shared cases.
#include <gtest/gtest.h>

#include <string>

#include "platform/profile_cases.h"
#include "platform/win32/wine_check.h"
#include "platform/win32/win32_platform.h"

namespace hv {
namespace {

namespace cases = test::profile_cases;

class Win32PrivateProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathA(MAX_PATH, folder), 0u);
    scratch_ = std::string(folder) + "hivora-profile-" + std::to_string(::GetCurrentProcessId());
    api_.read = [this](const char* app, const char* key, const char* def, char* out, DWORD size,
                       const std::string& file) {
      return os_.GetPrivateProfileStringA(app, key, def, out, size, file.c_str());
    };
    api_.write = [this](const char* app, const char* key, const char* value,
                        const std::string& file) {
      return os_.WritePrivateProfileStringA(app, key, value, file.c_str()) != 0;
    };
  }
  Win32Platform os_;
  cases::ProfileApi api_;
  std::string scratch_;
};

TEST_F(Win32PrivateProfile, WritingIntoAMissingFolderFails) {
  const std::string file = scratch_ + "-missing\\options.ini";
  EXPECT_FALSE(os_.WritePrivateProfileStringA("Options", "Lan", "English", file.c_str()));
  EXPECT_NE(os_.GetLastError(), err::kSuccess);
}

TEST_F(Win32PrivateProfile, Reading) { cases::RunReadCases(api_, scratch_, test::RunningUnderWine()); }

TEST_F(Win32PrivateProfile, Writing) { cases::RunWriteCases(api_, scratch_, test::RunningUnderWine()); }

}  // namespace
}  // namespace hv
