// A copy of a hive on a Windows host gets the hive's security descriptor and
// attributes before its first byte; a protected DACL stays protected.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/offline/file_protection.h"
#include "platform/win32/win.h"
#include "platform/win32/wine_check.h"
#include <sddl.h>

namespace hv::offline::host {
namespace {

namespace fs = std::filesystem;

// SYSTEM and Administrators full control, no inheritance from the folder:
// a hive's DACL as Windows gives it.
constexpr const char* kHiveDescriptor = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

std::string DescriptorOf(const fs::path& file) {
  ::PSECURITY_DESCRIPTOR sd = nullptr;
  ::DWORD needed = 0;
  const ::SECURITY_INFORMATION what =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  ::GetFileSecurityW(file.c_str(), what, nullptr, 0, &needed);
  std::string buffer(needed, '\0');
  sd = buffer.data();
  if (needed == 0 || !::GetFileSecurityW(file.c_str(), what, sd, needed, &needed)) return "unreadable";
  char* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text, nullptr)) {
    return "unconvertible";
  }
  std::string result(text);
  ::LocalFree(text);
  return result;
}

class WindowsProtection : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("hivora-protection-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    hive_ = folder_ / "SAM";
    std::ofstream(hive_, std::ios::binary) << "regf";
  }
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(folder_)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  bool Protect(const fs::path& file, const char* sddl) {
    ::PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
    const bool ok = ::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, sd) != 0;
    ::LocalFree(sd);
    return ok;
  }
  fs::path folder_;
  fs::path hive_;
};

TEST_F(WindowsProtection, ACopyGetsTheHivesDescriptorAndAttributesBeforeItsData) {
  // Wine keeps no DACL of a file's own: it answers from the file's mode, and
  // sets the mode from a DACL only in part. There only the attributes and
  // the refusals are checked.
  const bool wine = test::RunningUnderWine();
  if (wine) std::printf("[ WINE     ] files keep no DACL of their own; descriptors not compared\n");
  ASSERT_TRUE(Protect(hive_, kHiveDescriptor));
  const std::string expected = DescriptorOf(hive_);
  if (!wine) {
    ASSERT_NE(expected.find("D:P"), std::string::npos) << expected;
  }
  ASSERT_TRUE(::SetFileAttributesW(hive_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  const fs::path empty = folder_ / "SAM.hvx";
  std::string why;
  ASSERT_EQ(CreateEmptyProtected(empty, hive_, &why), err::kSuccess) << why;
  if (!wine) {
    EXPECT_EQ(DescriptorOf(empty), expected);
  }
  EXPECT_EQ(fs::file_size(empty), 0u);
  const ::DWORD attributes = ::GetFileAttributesW(empty.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE);

  const fs::path copy = folder_ / "SAM.bak";
  ASSERT_EQ(CopyFileProtected(hive_, copy, hive_, &why), err::kSuccess) << why;
  if (!wine) {
    EXPECT_EQ(DescriptorOf(copy), expected);
  }
  EXPECT_EQ(fs::file_size(copy), 4u);
}

TEST_F(WindowsProtection, AnInheritingDescriptorStaysInheriting) {
  const std::string before = DescriptorOf(hive_);
  ASSERT_EQ(before.find("D:P"), std::string::npos) << before;
  const fs::path copy = folder_ / "SAM.hvx";
  std::string why;
  ASSERT_EQ(CreateEmptyProtected(copy, hive_, &why), err::kSuccess) << why;
  EXPECT_EQ(DescriptorOf(copy).find("D:P"), std::string::npos);
}

TEST_F(WindowsProtection, AMissingModelIsRefusedAndLeavesNoCopy) {
  const fs::path copy = folder_ / "GONE.hvx";
  std::string why;
  EXPECT_NE(CreateEmptyProtected(copy, folder_ / "GONE", &why), err::kSuccess);
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(fs::exists(copy));
}

}  // namespace
}  // namespace hv::offline::host
