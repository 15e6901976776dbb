// Volumes and files of the offline platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/offline/offline_machine.h"

namespace hv::offline {
namespace {

using test::OfflineMachine;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

std::unique_ptr<OfflinePlatform> TwoDrives(const test::TempDir& dir) {
  fs::create_directories(dir / "c");
  fs::create_directories(dir / "e");
  OfflineOptions options;
  options.machine.drives = {{'C', drive::kFixed, "\\Device\\HarddiskVolume2", dir / "c"},
                            {'E', drive::kRemovable, "\\Device\\HarddiskVolume9", dir / "e"}};
  options.machine.hivelist.emplace();
  options.machine.wow64 = false;
  return std::make_unique<OfflinePlatform>(options);
}

TEST(OfflineVolumesTest, BufferRulesOfDriveStringsAndDosDevices) {
  test::TempDir dir;
  auto os = TwoDrives(dir);
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(os->GetLogicalDriveStringsA(8, buf), 9u);  // too small: the size needed
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(os->GetLogicalDriveStringsA(9, buf), 8u);
  EXPECT_EQ(std::string(buf, 9), std::string("C:\\\0E:\\\0\0", 9));

  EXPECT_EQ(os->QueryDosDeviceA("Q:", buf, sizeof buf), 0u);
  EXPECT_EQ(os->GetLastError(), err::kFileNotFound);
  EXPECT_EQ(os->QueryDosDeviceA("C:", buf, 24), 0u);  // needs 23 + 2
  EXPECT_EQ(os->GetLastError(), err::kInsufficientBuffer);
  ASSERT_EQ(os->QueryDosDeviceA("c:", buf, 25), 25u);
  EXPECT_EQ(std::string(buf, 25), std::string("\\Device\\HarddiskVolume2\0\0", 25));

  EXPECT_EQ(os->GetDriveTypeA("C:\\"), drive::kFixed);
  EXPECT_EQ(os->GetDriveTypeA("e:\\"), drive::kRemovable);
  EXPECT_EQ(os->GetDriveTypeA("Q:\\"), drive::kNoRootDir);
  EXPECT_EQ(os->GetDriveTypeA("C:\\Windows\\"), drive::kNoRootDir);
}

TEST(OfflineFilesTest, ExclusiveOpensAndDeletionOfFilesInUse) {
  test::TempDir dir;
  auto os = TwoDrives(dir);
  WriteWholeFile(dir / "c/copy.hvx", "data");
  const DWORD rw = access::kGenericRead | access::kGenericWrite;
  HANDLE first = os->CreateFileA("C:\\COPY.HVX", rw, 0, file::kOpenExisting, file::kAttributeNormal);
  ASSERT_NE(first, InvalidHandleValue());
  EXPECT_EQ(os->CreateFileA("c:\\copy.hvx", rw, 0, file::kOpenExisting, 0), InvalidHandleValue());
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  EXPECT_FALSE(os->DeleteFileA("C:\\copy.hvx"));
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  auto other = TwoDrives(dir);
#ifndef _WIN32
  // Another process (a second platform) sees the advisory lock too.
  EXPECT_EQ(other->CreateFileA("C:\\copy.hvx", rw, 0, file::kOpenExisting, 0), InvalidHandleValue());
  EXPECT_EQ(other->GetLastError(), err::kSharingViolation);
#endif
  EXPECT_TRUE(os->CloseHandle(first));
  HANDLE again = other->CreateFileA("C:\\copy.hvx", rw, 0, file::kOpenExisting, 0);
  EXPECT_NE(again, InvalidHandleValue());
  other->CloseHandle(again);
  EXPECT_TRUE(os->DeleteFileA("C:\\copy.hvx"));
  EXPECT_FALSE(os->DeleteFileA("C:\\copy.hvx"));
  EXPECT_EQ(os->GetLastError(), err::kFileNotFound);
  EXPECT_EQ(os->CreateFileA("C:\\none\\x", rw, 0, file::kOpenExisting, 0), InvalidHandleValue());
  EXPECT_EQ(os->GetLastError(), err::kPathNotFound);
}

TEST(OfflineFilesTest, CreateWriteAndShareModes) {
  test::TempDir dir;
  auto os = TwoDrives(dir);
  HANDLE h = os->CreateFileA("C:\\new.txt", access::kGenericWrite, 1, file::kCreateNew, 0);
  ASSERT_NE(h, InvalidHandleValue());
  DWORD written = 0;
  EXPECT_TRUE(os->WriteFile(h, "hello", 5, &written));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(os->CreateFileA("C:\\new.txt", access::kGenericWrite, 1, file::kCreateNew, 0), InvalidHandleValue());
  EXPECT_EQ(os->GetLastError(), err::kFileExists);
  // A reader that shares writing may join a writer that shares reading.
  HANDLE reader = os->CreateFileA("C:\\new.txt", access::kGenericRead, 3, file::kOpenExisting, 0);
  EXPECT_NE(reader, InvalidHandleValue());
  EXPECT_FALSE(os->WriteFile(reader, "x", 1, &written));
  EXPECT_EQ(os->GetLastError(), err::kAccessDenied);
  os->CloseHandle(reader);
  os->CloseHandle(h);
  EXPECT_EQ(test::ReadWholeFile(dir / "c/new.txt"), "hello");
  EXPECT_FALSE(os->CloseHandle(h));
  EXPECT_EQ(os->GetLastError(), err::kInvalidHandle);
}

TEST(OfflineFilesTest, LoadedHivesAreHeldByTheSystem) {
  OfflineMachine m;
  auto os = m.Platform();
  const char* software = "C:\\Windows\\System32\\config\\SOFTWARE";
  EXPECT_FALSE(os->DeleteFileA(software));
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  EXPECT_EQ(os->CreateFileA(software, access::kGenericRead | access::kGenericWrite, 0, file::kOpenExisting, 0),
            InvalidHandleValue());
  HANDLE shared = os->CreateFileA(software, access::kGenericRead, 3, file::kOpenExisting, 0);
  EXPECT_NE(shared, InvalidHandleValue());
  os->CloseHandle(shared);
  EXPECT_TRUE(fs::exists(m.Config("SOFTWARE")));
}

TEST(OfflineFilesTest, MoveFollowsTheRenameRulesOfWindows) {
  test::TempDir dir;
  auto os = TwoDrives(dir);
  WriteWholeFile(dir / "c/SAM.bak", "backup");
  WriteWholeFile(dir / "c/other", "other");
  ASSERT_TRUE(os->MoveFileExA("C:\\sam.BAK", "C:\\SAM.bak.old", file::kMoveFileWriteThrough));
  EXPECT_FALSE(fs::exists(dir / "c/SAM.bak"));
  EXPECT_EQ(ReadWholeFile(dir / "c/SAM.bak.old"), "backup");

  struct Refusal {
    const char* from;
    const char* to;
    DWORD flags;
    DWORD error;
  } refusals[] = {
      {"C:\\SAM.bak", "C:\\x", 0, err::kFileNotFound},
      {"C:\\none\\SAM.bak", "C:\\x", 0, err::kPathNotFound},
      {"C:\\SAM.bak.old", "C:\\OTHER", 0, err::kAlreadyExists},
      {"C:\\SAM.bak.old", "C:\\none\\x", 0, err::kPathNotFound},
      {"C:\\SAM.bak.old", "Q:\\x", 0, err::kPathNotFound},
      {"C:\\SAM.bak.old", "E:\\x", 0, err::kNotSameDevice},
      {"C:\\SAM.bak.old", "C:\\x", file::kMoveFileDelayUntilReboot, err::kInvalidParameter},
      {nullptr, "C:\\x", 0, err::kInvalidParameter},
  };
  for (const Refusal& r : refusals) {
    EXPECT_FALSE(os->MoveFileExA(r.from, r.to, r.flags)) << (r.from ? r.from : "null") << " -> " << r.to;
    EXPECT_EQ(os->GetLastError(), r.error) << (r.from ? r.from : "null") << " -> " << r.to;
  }
  EXPECT_EQ(ReadWholeFile(dir / "c/other"), "other");

  // Open without sharing its deletion: neither moved nor replaced.
  HANDLE open = os->CreateFileA("C:\\other", access::kGenericRead, 0, file::kOpenExisting, 0);
  ASSERT_NE(open, InvalidHandleValue());
  EXPECT_FALSE(os->MoveFileExA("C:\\SAM.bak.old", "C:\\other", file::kMoveFileReplaceExisting));
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  EXPECT_FALSE(os->MoveFileExA("C:\\other", "C:\\y", 0));
  EXPECT_EQ(os->GetLastError(), err::kSharingViolation);
  os->CloseHandle(open);

  ASSERT_TRUE(os->MoveFileExA("C:\\SAM.bak.old", "C:\\other", file::kMoveFileReplaceExisting));
  EXPECT_EQ(ReadWholeFile(dir / "c/other"), "backup");
  EXPECT_FALSE(fs::exists(dir / "c/SAM.bak.old"));
  fs::create_directories(dir / "c/folder");
  EXPECT_FALSE(os->MoveFileExA("C:\\other", "C:\\folder", file::kMoveFileReplaceExisting));
  EXPECT_EQ(os->GetLastError(), err::kAccessDenied);
}

TEST(OfflineFilesTest, LoadedHivesAndPendingReplacementsCannotBeMoved) {
  OfflineMachine m;
  auto os = m.Platform();
  test::Enable(*os, "SeBackupPrivilege");
  test::Enable(*os, "SeRestorePrivilege");
  const std::string sam = "C:\\Windows\\System32\\config\\SAM";
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
  ASSERT_EQ(os->RegSaveKeyA(key, (sam + ".hvx").c_str()), 0);
  os->RegCloseKey(key);
  ASSERT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", (sam + ".hvx").c_str(), (sam + ".bak").c_str()), 0);
  WriteWholeFile(m.Config("SAM.spare"), "spare");
  for (const std::string& held : {sam, sam + ".hvx"}) {
    EXPECT_FALSE(os->MoveFileExA(held.c_str(), (sam + ".moved").c_str(), 0)) << held;
    EXPECT_EQ(os->GetLastError(), err::kSharingViolation) << held;
    EXPECT_FALSE(os->MoveFileExA((sam + ".spare").c_str(), held.c_str(), file::kMoveFileReplaceExisting)) << held;
    EXPECT_EQ(os->GetLastError(), err::kSharingViolation) << held;
  }
  EXPECT_TRUE(fs::exists(m.Config("SAM.hvx")));
  EXPECT_EQ(ReadWholeFile(m.Config("SAM.spare")), "spare");
}

TEST(OfflineFilesTest, AttributesSearchAndFullPaths) {
  test::TempDir dir;
  auto os = TwoDrives(dir);
  WriteWholeFile(dir / "c/Data/a.hvx", "12345");
  WriteWholeFile(dir / "c/Data/b.txt", "");
  fs::resize_file(dir / "c/Data/b.txt", 0x100000005ull);  // sparse, 4 GiB + 5
  EXPECT_EQ(os->GetFileAttributesA("C:\\data\\A.HVX"), file::kAttributeNormal);
  EXPECT_EQ(os->GetFileAttributesA("C:\\DATA"), file::kAttributeDirectory);
  EXPECT_EQ(os->GetFileAttributesA("C:\\Data\\none"), file::kInvalidFileAttributes);
  EXPECT_EQ(os->GetLastError(), err::kFileNotFound);
  EXPECT_EQ(os->GetFileAttributesA("C:\\none\\none"), file::kInvalidFileAttributes);
  EXPECT_EQ(os->GetLastError(), err::kPathNotFound);

  FindDataA data;
  HANDLE find = os->FindFirstFileA("C:\\Data\\B.TXT", &data);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_STREQ(data.cFileName, "b.txt");
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_FALSE(os->FindNextFileA(find, &data));
  EXPECT_TRUE(os->FindClose(find));

  std::vector<std::string> names;
  find = os->FindFirstFileA("C:\\Data\\*", &data);
  ASSERT_NE(find, InvalidHandleValue());
  do names.emplace_back(data.cFileName);
  while (os->FindNextFileA(find, &data));
  os->FindClose(find);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.hvx", "b.txt"}));
  find = os->FindFirstFileA("C:\\Data\\?.HV*", &data);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_STREQ(data.cFileName, "a.hvx");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  os->FindClose(find);
  EXPECT_EQ(os->FindFirstFileA("C:\\Data\\*.doc", &data), InvalidHandleValue());
  EXPECT_EQ(os->GetLastError(), err::kFileNotFound);

  char buf[64];
  char* part = nullptr;
  EXPECT_EQ(os->GetFullPathNameA("C:\\Data\\..\\Data\\a.hvx", 10, buf, &part), 14u);
  ASSERT_EQ(os->GetFullPathNameA("C:\\Data\\..\\Data\\a.hvx", sizeof buf, buf, &part), 13u);
  EXPECT_STREQ(buf, "C:\\Data\\a.hvx");
  EXPECT_STREQ(part, "a.hvx");
}

}  // namespace
}  // namespace hv::offline
