#pragma once
// Cases of the Windows file rules (open handles and their sharing, the
// dispositions of CreateFileA, deletion, renames, searches), shared by the tests of
// every implementation: the real kernel32 functions (run under Wine when
// cross-built), the offline platform and the test double.
//
// Each case works through the platform alone, in a folder that exists, is
// empty and is no drive's root; the runner leaves it empty after each case.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace hv::test::file_cases {

inline constexpr DWORD kOpenAlways = 4;
inline constexpr DWORD kTruncateExisting = 5;
inline constexpr DWORD kShareRead = 1;
inline constexpr DWORD kShareWrite = 2;
inline constexpr DWORD kReadWrite = access::kGenericRead | access::kGenericWrite;

inline UniqueFile Open(Platform& os, const std::string& path, DWORD access, DWORD share,
                       DWORD disposition = file::kOpenExisting) {
  return UniqueFile(os.CreateFileA(path.c_str(), access, share, disposition, file::kAttributeNormal));
}

inline void Make(Platform& os, const std::string& path, const std::string& bytes) {
  UniqueFile file = Open(os, path, access::kGenericWrite, 0, file::kCreateAlways);
  ASSERT_TRUE(file) << path << ": error " << os.GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(os.WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written));
}

// The size a search of the exact name reports; -1 when it finds nothing.
inline long long SizeOf(Platform& os, const std::string& path) {
  FindDataA data;
  UniqueFind find(os.FindFirstFileA(path.c_str(), &data));
  if (!find) return -1;
  return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// The names a search lists, sorted (the order is the file system's).
inline std::vector<std::string> Names(Platform& os, const std::string& pattern) {
  std::vector<std::string> names;
  FindDataA data;
  UniqueFind find(os.FindFirstFileA(pattern.c_str(), &data));
  if (!find) return names;
  do names.emplace_back(data.cFileName);
  while (os.FindNextFileA(find.get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

struct FileCase {
  std::string name;
  // `folder` ends with a separator.
  std::function<void(Platform& os, const std::string& folder)> run;
};

inline std::vector<FileCase> FileCases() {
  return {
      {"an open is refused when it wants what an open handle does not share, or does not share what it has",
       [](Platform& os, const std::string& folder) {
         const std::string f = folder + "shared.dat";
         Make(os, f, "x");
         UniqueFile reader = Open(os, f, access::kGenericRead, kShareRead);
         ASSERT_TRUE(reader);
         EXPECT_TRUE(Open(os, f, access::kGenericRead, kShareRead)) << "readers sharing reading";
         EXPECT_FALSE(Open(os, f, access::kGenericWrite, kShareRead | kShareWrite)) << "writing is not shared";
         EXPECT_EQ(os.GetLastError(), err::kSharingViolation);
         EXPECT_FALSE(Open(os, f, access::kGenericRead, 0)) << "the reader's reading is not shared";
         EXPECT_EQ(os.GetLastError(), err::kSharingViolation);
         EXPECT_TRUE(Open(os, f, 0, 0)) << "an open for the attributes alone";
         EXPECT_FALSE(os.DeleteFileA(f.c_str())) << "deleting is not shared";
         EXPECT_EQ(os.GetLastError(), err::kSharingViolation);
         UniqueFile writer = Open(os, f, kReadWrite, kShareRead | kShareWrite);
         EXPECT_FALSE(writer) << "the first reader does not share writing";
         reader.reset();
         EXPECT_TRUE(Open(os, f, kReadWrite, 0)) << "alone again";
       }},
      {"a writer and a reader that share both get along",
       [](Platform& os, const std::string& folder) {
         const std::string f = folder + "both.dat";
         Make(os, f, "x");
         UniqueFile writer = Open(os, f, kReadWrite, kShareRead | kShareWrite);
         ASSERT_TRUE(writer);
         EXPECT_TRUE(Open(os, f, access::kGenericRead, kShareRead | kShareWrite));
         EXPECT_FALSE(Open(os, f, access::kGenericRead, kShareRead)) << "the writer's writing is not shared";
       }},
      {"CREATE_NEW on a name taken by a file held open says the file exists",
       [](Platform& os, const std::string& folder) {
         const std::string f = folder + "held.dat";
         Make(os, f, "x");
         UniqueFile held = Open(os, f, kReadWrite, 0);
         ASSERT_TRUE(held);
         EXPECT_FALSE(Open(os, f, kReadWrite, 0, file::kCreateNew));
         EXPECT_EQ(os.GetLastError(), err::kFileExists);
         EXPECT_FALSE(Open(os, f, kReadWrite, 0, file::kOpenExisting));
         EXPECT_EQ(os.GetLastError(), err::kSharingViolation);
       }},
      {"OPEN_ALWAYS makes a missing file or opens the one there, and says which",
       [](Platform& os, const std::string& folder) {
         const std::string f = folder + "always.dat";
         {
           UniqueFile made = Open(os, f, access::kGenericWrite, 0, kOpenAlways);
           ASSERT_TRUE(made);
           EXPECT_EQ(os.GetLastError(), err::kSuccess);
           DWORD written = 0;
           ASSERT_TRUE(os.WriteFile(made.get(), "abc", 3, &written));
         }
         UniqueFile again = Open(os, f, access::kGenericWrite, 0, kOpenAlways);
         ASSERT_TRUE(again);
         EXPECT_EQ(os.GetLastError(), err::kAlreadyExists);
         again.reset();
         EXPECT_EQ(SizeOf(os, f), 3) << "opened, not emptied";
       }},
      {"CREATE_ALWAYS and TRUNCATE_EXISTING empty the file there; TRUNCATE_EXISTING needs one",
       [](Platform& os, const std::string& folder) {
         const std::string f = folder + "trunc.dat";
         Make(os, f, "abcdef");
         EXPECT_TRUE(Open(os, f, access::kGenericWrite, 0, kTruncateExisting));
         EXPECT_EQ(SizeOf(os, f), 0);
         Make(os, f, "abcdef");
         EXPECT_TRUE(Open(os, f, access::kGenericWrite, 0, file::kCreateAlways));
         EXPECT_EQ(os.GetLastError(), err::kAlreadyExists);
         EXPECT_EQ(SizeOf(os, f), 0);
         EXPECT_FALSE(Open(os, folder + "none.dat", access::kGenericWrite, 0, kTruncateExisting));
         EXPECT_EQ(os.GetLastError(), err::kFileNotFound);
       }},
      {"a rename takes a free name, or replaces when asked, and moves no file held without sharing its deletion",
       [](Platform& os, const std::string& folder) {
         const std::string from = folder + "from.dat", to = folder + "to.dat";
         Make(os, from, "1");
         Make(os, to, "22");
         EXPECT_FALSE(os.MoveFileExA(from.c_str(), to.c_str(), 0));
         EXPECT_EQ(os.GetLastError(), err::kAlreadyExists);
         {
           UniqueFile reader = Open(os, from, access::kGenericRead, kShareRead);
           ASSERT_TRUE(reader);
           EXPECT_FALSE(os.MoveFileExA(from.c_str(), to.c_str(), file::kMoveFileReplaceExisting));
           EXPECT_EQ(os.GetLastError(), err::kSharingViolation);
         }
         EXPECT_TRUE(os.MoveFileExA(from.c_str(), to.c_str(),
                                    file::kMoveFileReplaceExisting | file::kMoveFileWriteThrough));
         EXPECT_EQ(os.GetFileAttributesA(from.c_str()), file::kInvalidFileAttributes);
         EXPECT_EQ(SizeOf(os, to), 1);
         EXPECT_TRUE(os.MoveFileExA(to.c_str(), from.c_str(), 0)) << "to a free name";
         EXPECT_FALSE(os.MoveFileExA(to.c_str(), from.c_str(), 0));
         EXPECT_EQ(os.GetLastError(), err::kFileNotFound);
       }},
      {"a search of *.* finds names without a dot, and . and .. in a folder",
       [](Platform& os, const std::string& folder) {
         Make(os, folder + "nodot", "1");
         Make(os, folder + "with.dot", "22");
         const std::vector<std::string> all{".", "..", "nodot", "with.dot"};
         EXPECT_EQ(Names(os, folder + "*.*"), all);
         EXPECT_EQ(Names(os, folder + "*"), all);
         EXPECT_EQ(Names(os, folder + "*.DOT"), std::vector<std::string>{"with.dot"});
         EXPECT_EQ(Names(os, folder + "?????"), std::vector<std::string>{"nodot"});
         EXPECT_TRUE(Names(os, folder + "*.none").empty());
         EXPECT_EQ(os.GetLastError(), err::kFileNotFound);
       }},
      {"a search of a plain name gives the name as stored, and its size",
       [](Platform& os, const std::string& folder) {
         Make(os, folder + "MixedCase.Dat", "12345");
         FindDataA data;
         UniqueFind find(os.FindFirstFileA((folder + "mixedcase.DAT").c_str(), &data));
         ASSERT_TRUE(find);
         EXPECT_STREQ(data.cFileName, "MixedCase.Dat");
         EXPECT_EQ(data.nFileSizeLow, 5u);
         EXPECT_FALSE(os.FindNextFileA(find.get(), &data));
         EXPECT_EQ(os.GetLastError(), DWORD{18}) << "ERROR_NO_MORE_FILES";
       }},
      {"a missing file is not found; under a missing folder its path is not",
       [](Platform& os, const std::string& folder) {
         for (const std::string& tail : {std::string("none.dat"), std::string("none\\none.dat")}) {
           SCOPED_TRACE(tail);
           const DWORD expected = tail.find('\\') == std::string::npos ? err::kFileNotFound : err::kPathNotFound;
           const std::string f = folder + tail;
           EXPECT_EQ(os.GetFileAttributesA(f.c_str()), file::kInvalidFileAttributes);
           EXPECT_EQ(os.GetLastError(), expected);
           EXPECT_FALSE(os.DeleteFileA(f.c_str()));
           EXPECT_EQ(os.GetLastError(), expected);
           EXPECT_FALSE(Open(os, f, access::kGenericRead, 0));
           EXPECT_EQ(os.GetLastError(), expected);
         }
       }},
  };
}

// Deletes every file of `folder`.
inline void Empty(Platform& os, const std::string& folder) {
  for (const std::string& name : Names(os, folder + "*")) {
    if (name != "." && name != "..") os.DeleteFileA((folder + name).c_str());
  }
}

// Runs every case against `os` in `folder` (ending with a separator).
inline void RunFileCases(Platform& os, const std::string& folder) {
  ScopedPlatform scope(&os);
  for (const FileCase& c : FileCases()) {
    SCOPED_TRACE(c.name);
    Empty(os, folder);
    c.run(os, folder);
    Empty(os, folder);
    EXPECT_EQ(Names(os, folder + "*"), (std::vector<std::string>{".", ".."})) << "a file is left open";
  }
}

}  // namespace hv::test::file_cases
