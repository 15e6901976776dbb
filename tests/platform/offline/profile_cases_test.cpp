// The offline engine on the shared private-profile cases, the same cases the
// real kernel32 functions are held to.
#include <gtest/gtest.h>

#include <string>

#include "platform/offline/private_profile.h"
#include "platform/profile_cases.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace cases = test::profile_cases;

class OfflineProfileCases : public ::testing::Test {
 protected:
  OfflineProfileCases() {
    api_.read = [](const char* app, const char* key, const char* def, char* out, DWORD size,
                   const std::string& file) { return GetProfileString(app, key, def, out, size, file); };
    api_.write = [](const char* app, const char* key, const char* value, const std::string& file) {
      return WriteProfileString(app, key, value, file) == err::kSuccess;
    };
  }
  test::TempDir dir_;
  std::string base_ = (dir_ / "case").string();
  cases::ProfileApi api_;
};

// The engine is no Wine: it is held to what Windows does.
TEST_F(OfflineProfileCases, Reading) { cases::RunReadCases(api_, base_, false); }

TEST_F(OfflineProfileCases, Writing) { cases::RunWriteCases(api_, base_, false); }

}  // namespace
}  // namespace hv::offline
