// Volumes and files through the pass-through, on the real (or Wine's) C:.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/file_cases.h"
#include "platform/full_path_cases.h"
#include "platform/unique_handle.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
namespace {

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathA(MAX_PATH, folder), 0u);
    path_ = std::string(folder) + "hivora-files-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
    ::DeleteFileA(path_.c_str());
  }
  void TearDown() override { ::DeleteFileA(path_.c_str()); }

  void WriteSample(const std::string& bytes) {
    UniqueFile file(os_.CreateFileA(path_.c_str(), access::kGenericWrite, 0, file::kCreateAlways,
                                    file::kAttributeNormal));
    ASSERT_TRUE(file);
    // No count wanted: the backend still gives Windows a place for it.
    ASSERT_TRUE(os_.WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr));
  }

  Win32Platform os_;
  ScopedPlatform scope_{&os_};
  std::string path_;
};

TEST_F(Win32Files, MissingFilesAreReportedAsSuch) {
  EXPECT_EQ(os_.GetFileAttributesA(path_.c_str()), file::kInvalidFileAttributes);
  EXPECT_FALSE(os_.DeleteFileA(path_.c_str()));
  EXPECT_EQ(os_.GetLastError(), err::kFileNotFound);
  FindDataA data;
  EXPECT_EQ(os_.FindFirstFileA(path_.c_str(), &data), InvalidHandleValue());
  EXPECT_EQ(os_.CreateFileA(path_.c_str(), access::kGenericRead, 0, file::kOpenExisting,
                            file::kAttributeNormal),
            InvalidHandleValue());
  EXPECT_EQ(os_.GetLastError(), err::kFileNotFound);
}

TEST_F(Win32Files, ExclusiveOpenLocksOthersOut) {
  WriteSample("x");
  UniqueFile first(os_.CreateFileA(path_.c_str(), access::kGenericRead | access::kGenericWrite, 0,
                                   file::kOpenExisting, file::kAttributeNormal));
  ASSERT_TRUE(first);
  EXPECT_EQ(os_.CreateFileA(path_.c_str(), access::kGenericRead | access::kGenericWrite, 0,
                            file::kOpenExisting, file::kAttributeNormal),
            InvalidHandleValue());
  EXPECT_EQ(os_.GetLastError(), err::kSharingViolation);
  first.reset();
  UniqueFile again(os_.CreateFileA(path_.c_str(), access::kGenericRead, 0, file::kOpenExisting,
                                   file::kAttributeNormal));
  EXPECT_TRUE(again);
}

TEST_F(Win32Files, SearchReportsNameAndSize) {
  WriteSample(std::string(70000, 'h'));
  UniqueFind find(os_.FindFirstFileA(path_.c_str(), nullptr));
  ASSERT_TRUE(find) << "a search without a record to fill still opens";
  FindDataA data;
  UniqueFind search(os_.FindFirstFileA(path_.c_str(), &data));
  ASSERT_TRUE(search);
  EXPECT_EQ(data.nFileSizeLow, 70000u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_NE(path_.find(data.cFileName), std::string::npos);
  EXPECT_FALSE(os_.FindNextFileA(search.get(), &data));
  EXPECT_EQ(os_.GetLastError(), DWORD{ERROR_NO_MORE_FILES});
}

TEST_F(Win32Files, FullPathFollowsTheBufferRules) {
  char buffer[MAX_PATH] = {};
  char* filePart = nullptr;
  const DWORD length = os_.GetFullPathNameA("C:\\dir\\..\\hive.dat", MAX_PATH, buffer, &filePart);
  EXPECT_STREQ(buffer, "C:\\hive.dat");
  EXPECT_EQ(length, 11u);
  ASSERT_NE(filePart, nullptr);
  EXPECT_STREQ(filePart, "hive.dat");
  char tiny[4] = {};
  EXPECT_EQ(os_.GetFullPathNameA("C:\\hive.dat", sizeof tiny, tiny, nullptr), 12u)
      << "too small: the size needed, with the NUL";
}

TEST_F(Win32Files, MoveRefusesATakenNameUnlessToldToReplaceIt) {
  const std::string moved = path_ + ".old";
  ::DeleteFileA(moved.c_str());
  EXPECT_FALSE(os_.MoveFileExA(path_.c_str(), moved.c_str(), 0));
  EXPECT_EQ(os_.GetLastError(), err::kFileNotFound);
  WriteSample("first");
  ASSERT_TRUE(os_.MoveFileExA(path_.c_str(), moved.c_str(), file::kMoveFileWriteThrough));
  EXPECT_EQ(os_.GetFileAttributesA(path_.c_str()), file::kInvalidFileAttributes);
  WriteSample("second");
  EXPECT_FALSE(os_.MoveFileExA(path_.c_str(), moved.c_str(), 0));
  EXPECT_EQ(os_.GetLastError(), err::kAlreadyExists);
  EXPECT_TRUE(os_.MoveFileExA(path_.c_str(), moved.c_str(), file::kMoveFileReplaceExisting));
  FindDataA data;
  UniqueFind find(os_.FindFirstFileA(moved.c_str(), &data));
  ASSERT_TRUE(find);
  EXPECT_EQ(data.nFileSizeLow, 6u) << "the second file took the name";
  find.reset();
  EXPECT_TRUE(os_.DeleteFileA(moved.c_str()));
}

TEST_F(Win32Files, DriveCIsAFixedDiskWithADeviceName) {
  EXPECT_EQ(os_.GetDriveTypeA("C:\\"), drive::kFixed);

  const DWORD needed = os_.GetLogicalDriveStringsA(0, nullptr);
  ASSERT_GT(needed, 4u);
  char roots[104] = {};
  const DWORD length = os_.GetLogicalDriveStringsA(sizeof roots, roots);
  ASSERT_EQ(length + 1, needed) << "too small: the size needed, with the final NUL";
  ASSERT_EQ(length % 4, 0u) << "entries of four characters";
  bool hasC = false;
  for (DWORD i = 0; i < length; i += 4) hasC = hasC || std::strcmp(roots + i, "C:\\") == 0;
  EXPECT_TRUE(hasC);
  char tooSmall[4] = {};
  EXPECT_EQ(os_.GetLogicalDriveStringsA(sizeof tooSmall, tooSmall), needed);

  char device[127] = {};
  const DWORD stored = os_.QueryDosDeviceA("C:", device, sizeof device);
  ASSERT_GT(stored, 2u);
  EXPECT_EQ(device[stored - 1], '\0');
  EXPECT_EQ(device[stored - 2], '\0') << "the answer ends with a double NUL";
  EXPECT_EQ(std::strncmp(device, "\\Device\\", 8), 0) << device;

  char one[2] = {};
  EXPECT_EQ(os_.QueryDosDeviceA("C:", one, sizeof one), 0u);
  EXPECT_EQ(os_.GetLastError(), err::kInsufficientBuffer);
}

TEST_F(Win32Files, SharedCases) {
  char temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder =
      std::string(temp) + "hivora-file-cases-" + std::to_string(::GetCurrentProcessId()) + "\\";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  test::file_cases::RunFileCases(os_, folder);
  ::RemoveDirectoryA(folder.c_str());
  test::full_path_cases::RunFullPathCases(os_);
}

}  // namespace
}  // namespace hv
