// The file rules' unit on its own: what its platform tells it through the
// hooks (holds, reported sizes, drive roots, handle values).
#include "platform/offline/file_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kShareReadWrite = 3;

class FileTableTest : public ::testing::Test {
 protected:
  FileTableHooks Hooks() {
    FileTableHooks hooks;
    // "C:\" is the temporary folder; nothing else resolves.
    hooks.resolve = [this](std::string_view path) -> std::optional<fs::path> {
      if (path.substr(0, 3) != "C:\\") return std::nullopt;
      std::string rest(path.substr(3));
      std::replace(rest.begin(), rest.end(), '\\', '/');
      return dir_.path() / rest;
    };
    hooks.hold = [this](const fs::path& host) {
      auto it = holds_.find(host.filename().string());
      return it == holds_.end() ? SystemHold::kNone : it->second;
    };
    hooks.reportedSize = [this](const fs::path& host) -> std::optional<std::uint64_t> {
      auto it = sizes_.find(host.filename().string());
      if (it == sizes_.end()) return std::nullopt;
      return it->second;
    };
    hooks.driveRoot = [this](const fs::path& folder) { return SameFolder(folder, dir_.path()); };
    hooks.newHandle = [this] { return reinterpret_cast<HANDLE>(nextHandle_ += 4); };
    return hooks;
  }

  HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition = file::kOpenExisting) {
    return table_.CreateFileA(name, access, share, disposition, &error_);
  }

  test::TempDir dir_;
  std::map<std::string, SystemHold> holds_;
  std::map<std::string, std::uint64_t> sizes_;
  std::uintptr_t nextHandle_ = 0x1000;
  FileTable table_{Hooks()};
  DWORD error_ = 0;
};

TEST_F(FileTableTest, SystemHoldsRefuseWhatTheyHold) {
  test::WriteWholeFile(dir_ / "SYSTEM", "hive");
  test::WriteWholeFile(dir_ / "SYSTEM.hvx", "copy");
  holds_ = {{"SYSTEM", SystemHold::kLoadedHive}, {"SYSTEM.hvx", SystemHold::kInUse}};

  // A loaded hive: a read sharing reading and writing only.
  EXPECT_EQ(Open("C:\\SYSTEM", access::kGenericRead, 1), InvalidHandleValue());
  EXPECT_EQ(error_, err::kSharingViolation);
  EXPECT_EQ(Open("C:\\SYSTEM", access::kGenericWrite, kShareReadWrite), InvalidHandleValue());
  HANDLE reader = Open("C:\\SYSTEM", access::kGenericRead, kShareReadWrite);
  ASSERT_NE(reader, InvalidHandleValue());
  EXPECT_TRUE(table_.CloseFile(reader));
  EXPECT_FALSE(table_.DeleteFileA("C:\\SYSTEM", &error_));
  EXPECT_EQ(error_, err::kSharingViolation);

  // In use: nothing gets through, not even the shared read.
  EXPECT_EQ(Open("C:\\SYSTEM.hvx", access::kGenericRead, kShareReadWrite), InvalidHandleValue());
  EXPECT_EQ(error_, err::kSharingViolation);
  EXPECT_TRUE(table_.Busy(dir_ / "SYSTEM.hvx"));
  // A name collision is told before the hold.
  EXPECT_EQ(Open("C:\\SYSTEM.hvx", access::kGenericWrite, 0, file::kCreateNew), InvalidHandleValue());
  EXPECT_EQ(error_, err::kFileExists);
  EXPECT_TRUE(fs::exists(dir_ / "SYSTEM.hvx"));
}

TEST_F(FileTableTest, AFileBeingMadeIsFoundByNameWithItsReportedSize) {
  sizes_["copy.hvx"] = 0x100000003ull;
  EXPECT_EQ(table_.GetFileAttributesA("C:\\copy.hvx", &error_), file::kAttributeNormal);
  FindDataA data;
  HANDLE find = table_.FindFirstFileA("C:\\copy.hvx", &data, &error_);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_STREQ(data.cFileName, "copy.hvx");
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_TRUE(table_.FindClose(find, &error_));
  // A pattern lists what is there, in the drive's root without "." and "..".
  EXPECT_EQ(table_.FindFirstFileA("C:\\*", &data, &error_), InvalidHandleValue());
  EXPECT_EQ(error_, err::kFileNotFound);
  // The reported size wins over the real one of a file that is there.
  test::WriteWholeFile(dir_ / "copy.hvx", "12");
  find = table_.FindFirstFileA("C:\\*", &data, &error_);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_FALSE(table_.FindNextFileA(find, &data, &error_));
  EXPECT_TRUE(table_.FindClose(find, &error_));
}

TEST_F(FileTableTest, HandlesComeFromThePlatformAndCloseByKind) {
  test::WriteWholeFile(dir_ / "sub" / "a.txt", "a");
  HANDLE file = Open("C:\\sub\\a.txt", access::kGenericRead, 1);
  ASSERT_NE(file, InvalidHandleValue());
  EXPECT_EQ(file, reinterpret_cast<HANDLE>(0x1004));
  FindDataA data;
  HANDLE find = table_.FindFirstFileA("C:\\sub\\*.*", nullptr, &error_);
  ASSERT_NE(find, InvalidHandleValue()) << "a search without a record to fill still opens";
  EXPECT_EQ(find, reinterpret_cast<HANDLE>(0x1008));
  EXPECT_FALSE(table_.CloseFile(find)) << "a search is no open file";
  EXPECT_FALSE(table_.FindClose(file, &error_)) << "an open file is no search";
  EXPECT_EQ(error_, err::kInvalidHandle);
  ASSERT_TRUE(table_.FindNextFileA(find, &data, &error_));
  EXPECT_STREQ(data.cFileName, "..");
  ASSERT_TRUE(table_.FindNextFileA(find, &data, &error_));
  EXPECT_STREQ(data.cFileName, "a.txt");
  EXPECT_TRUE(table_.FindClose(find, &error_));
  EXPECT_TRUE(table_.CloseFile(file));
  EXPECT_FALSE(table_.CloseFile(file));

  EXPECT_EQ(Open("D:\\a.txt", access::kGenericRead, 0), InvalidHandleValue());
  EXPECT_EQ(error_, err::kPathNotFound) << "a path that resolves nowhere";
  EXPECT_EQ(Open(nullptr, access::kGenericRead, 0), InvalidHandleValue());
  EXPECT_EQ(error_, err::kInvalidParameter);
  EXPECT_EQ(Open("C:\\sub\\a.txt", access::kGenericRead, 0, 9), InvalidHandleValue());
  EXPECT_EQ(error_, err::kInvalidParameter) << "no such disposition";
  EXPECT_EQ(Open("C:\\sub", access::kGenericRead, 0), InvalidHandleValue());
  EXPECT_EQ(error_, err::kAccessDenied) << "a folder is not opened as a file";
}

TEST_F(FileTableTest, AnOpenForAttributesAloneNeitherConflictsNorCounts) {
  test::WriteWholeFile(dir_ / "f", "x");
  HANDLE attributes = Open("C:\\f", 0, 0);
  ASSERT_NE(attributes, InvalidHandleValue());
  EXPECT_FALSE(table_.Conflicts(dir_ / "f", access::kGenericRead | access::kGenericWrite, 0));
  HANDLE exclusive = Open("C:\\f", access::kGenericRead | access::kGenericWrite, 0);
  ASSERT_NE(exclusive, InvalidHandleValue());
  EXPECT_TRUE(table_.Conflicts(dir_ / "f", access::kGenericRead, kShareReadWrite));
  EXPECT_FALSE(table_.Conflicts(dir_ / "f", 0, 0));
  DWORD written = 0;
  EXPECT_FALSE(table_.WriteFile(attributes, "y", 1, &written, &error_));
  EXPECT_EQ(error_, err::kAccessDenied);
  EXPECT_TRUE(table_.WriteFile(exclusive, "y", 1, &written, &error_));
  EXPECT_EQ(written, 1u);
  table_.CloseFile(exclusive);
  table_.CloseFile(attributes);
  EXPECT_EQ(test::ReadWholeFile(dir_ / "f"), "y");
}

TEST(SameFolderTest, OneFolderHoweverItIsSpelt) {
  test::TempDir dir;
  fs::create_directories(dir / "sub");
  EXPECT_TRUE(SameFolder(dir / "sub", dir.path() / "sub" / ""));
  EXPECT_TRUE(SameFolder(dir / "sub", dir.path() / "sub" / ".." / "sub"));
  EXPECT_FALSE(SameFolder(dir / "sub", dir.path()));
  EXPECT_FALSE(SameFolder(dir / "missing", dir / "sub"));
}

}  // namespace
}  // namespace hv::offline
