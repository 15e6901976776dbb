// The test double's own contracts that the other tests rely on.
#include "support/fake_platform.h"

#include <gtest/gtest.h>

#include "support/fake_fixture.h"

#include <filesystem>
#include <thread>

#include "platform/file_cases.h"
#include "platform/full_path_cases.h"
#include "platform/profile_cases.h"
#include "platform/unique_handle.h"

namespace hv::test {
namespace {

TEST_F(FakePlatformTest, UnresolvablePathsFailLikeMissingFolders) {
  EXPECT_EQ(fake.GetFileAttributesA("Q:\\x"), file::kInvalidFileAttributes);
  EXPECT_EQ(fake.GetLastError(), err::kPathNotFound);
  EXPECT_EQ(fake.CreateFileA("relative", access::kGenericRead, 0, file::kOpenExisting, 0),
            InvalidHandleValue());
}

TEST_F(FakePlatformTest, DrivePathsResolveIgnoringCase) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM", 10);
  EXPECT_EQ(fake.GetFileAttributesA("c:\\WINDOWS\\system32\\CONFIG\\system"), file::kAttributeNormal);
  char drives[16] = {};
  EXPECT_EQ(fake.GetLogicalDriveStringsA(sizeof drives, drives), 4u);
  EXPECT_STREQ(drives, "C:\\");
  char device[64] = {};
  EXPECT_GT(fake.QueryDosDeviceA("c:", device, sizeof device), 0u);
  EXPECT_STREQ(device, "\\Device\\HarddiskVolume1");
}

TEST_F(FakePlatformTest, EnumBuffersFollowWin32Rules) {
  fake.AddHivelistString("\\REGISTRY\\MACHINE\\SYSTEM", "abc");
  HKEY key = nullptr;
  ASSERT_EQ(fake.RegOpenKeyExA(HkeyLocalMachine(), "SYSTEM\\CurrentControlSet\\Control\\hivelist", 0,
                               access::kKeyAllAccess, &key),
            0);
  char name[4];
  DWORD nameLen = sizeof name, type = 0, dataLen = 0;
  EXPECT_EQ(fake.RegEnumValueA(key, 0, name, &nameLen, &type, nullptr, &dataLen), err::kMoreData);
  char big[64];
  nameLen = sizeof big;
  BYTE data[2];
  dataLen = sizeof data;
  EXPECT_EQ(fake.RegEnumValueA(key, 0, big, &nameLen, &type, data, &dataLen), err::kMoreData);
  EXPECT_EQ(dataLen, 4u);
  nameLen = sizeof big;
  EXPECT_EQ(fake.RegEnumValueA(key, 1, big, &nameLen, &type, nullptr, nullptr), err::kNoMoreItems);
  EXPECT_EQ(fake.RegCloseKey(key), 0);
  EXPECT_EQ(fake.OpenKeyCount(), 0);
}

TEST_F(FakePlatformTest, SaveNeedsBackupPrivilegeAndAFreshTarget) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.AddHive("\\REGISTRY\\MACHINE\\SYSTEM");
  HKEY key = nullptr;
  ASSERT_EQ(fake.RegOpenKeyA(HkeyLocalMachine(), "SYSTEM", &key), 0);
  EXPECT_EQ(fake.RegSaveKeyA(key, "C:\\copy"), static_cast<LSTATUS>(err::kPrivilegeNotHeld));
  fake.EnablePrivilege("SeBackupPrivilege");
  fake.SetDefaultSaveSize(3);
  EXPECT_EQ(fake.RegSaveKeyA(key, "C:\\copy"), 0);
  EXPECT_EQ(fake.ReadContent("C:\\copy").size(), 3u);
  EXPECT_EQ(fake.RegSaveKeyA(key, "C:\\copy"), static_cast<LSTATUS>(err::kAlreadyExists));
  ASSERT_EQ(fake.Saves().size(), 3u);
  EXPECT_EQ(fake.Saves()[1].hiveKey, "HKLM\\SYSTEM");
  fake.RegCloseKey(key);
}

TEST_F(FakePlatformTest, HeldFilesRefuseExclusiveOpens) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.CreateFileOfSize("C:\\f", 1);
  fake.SetHeldOpen("c:\\F");
  EXPECT_EQ(fake.CreateFileA("C:\\f", access::kGenericRead, 0, file::kOpenExisting, 0),
            InvalidHandleValue());
  EXPECT_EQ(fake.GetLastError(), err::kSharingViolation);
  EXPECT_EQ(fake.DeleteFileA("C:\\f"), 0);
}

TEST_F(FakePlatformTest, WritesGoWhereTheFilePointerIs) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.CreateFileWithContent("C:\\f", "abcdef");
  HANDLE file = fake.CreateFileA("C:\\f", access::kGenericWrite, 0, file::kOpenExisting, 0);
  ASSERT_NE(file, InvalidHandleValue());
  DWORD written = 0;
  ASSERT_TRUE(fake.WriteFile(file, "XY", 2, &written));
  ASSERT_TRUE(fake.WriteFile(file, "Z", 1, &written));
  EXPECT_EQ(written, 1u);
  EXPECT_TRUE(fake.CloseHandle(file));
  EXPECT_EQ(fake.ReadContent("C:\\f"), "XYZdef");
}

TEST_F(FakePlatformTest, ProfilesReplaceKeysInPlaceAndAppendSections) {
  const std::string ini = fake.ProgramFolder() + "t.ini";
  ASSERT_TRUE(fake.WritePrivateProfileStringA("S", "b", "1", ini.c_str()));
  ASSERT_TRUE(fake.WritePrivateProfileStringA("S", "a", "2", ini.c_str()));
  ASSERT_TRUE(fake.WritePrivateProfileStringA("s", "B", "3", ini.c_str()));
  ASSERT_TRUE(fake.WritePrivateProfileStringA("T", "x", "\"q\"", ini.c_str()));
  // A key found in another case keeps the spelling it was stored with.
  EXPECT_EQ(fake.ReadContent(ini), "[S]\r\nb=3\r\na=2\r\n[T]\r\nx=\"q\"\r\n");
  char buf[8];
  EXPECT_EQ(fake.GetPrivateProfileStringA("t", "X", "d", buf, sizeof buf, ini.c_str()), 1u);
  EXPECT_STREQ(buf, "q");
  EXPECT_EQ(fake.GetPrivateProfileStringA("T", "none", "dflt  ", buf, 4, ini.c_str()), 3u);
  EXPECT_STREQ(buf, "dfl");
}

TEST_F(FakePlatformTest, ProfilesPassTheSharedCases) {
  profile_cases::ProfileApi api;
  api.read = [this](const char* app, const char* key, const char* def, char* out, DWORD size,
                    const std::string& file) {
    return fake.GetPrivateProfileStringA(app, key, def, out, size, file.c_str());
  };
  api.write = [this](const char* app, const char* key, const char* value, const std::string& file) {
    return fake.WritePrivateProfileStringA(app, key, value, file.c_str()) != 0;
  };
  profile_cases::RunReadCases(api, fake.ProgramFolder() + "case", false);
  profile_cases::RunWriteCases(api, fake.ProgramFolder() + "case", false);
}

TEST_F(FakePlatformTest, FilesPassTheSharedCases) {
  std::filesystem::create_directories(fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"}) /
                                      "scratch");
  file_cases::RunFileCases(fake, "C:\\scratch\\");
  full_path_cases::RunFullPathCases(fake);
}

TEST_F(FakePlatformTest, HeldFilesRefuseEveryOpen) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.CreateFileOfSize("C:\\f", 1);
  fake.SetHeldOpen("C:\\f");
  EXPECT_EQ(fake.CreateFileA("C:\\f", access::kGenericRead, 3, file::kOpenExisting, 0), InvalidHandleValue());
  EXPECT_EQ(fake.GetLastError(), err::kSharingViolation);
  fake.SetHeldOpen("C:\\f", false);
  HANDLE file = fake.CreateFileA("C:\\f", access::kGenericRead, 3, file::kOpenExisting, 0);
  EXPECT_NE(file, InvalidHandleValue());
  EXPECT_TRUE(fake.CloseHandle(file));
}

TEST_F(FakePlatformTest, ReportedSizesAndInjectedSearchFailures) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.CreateFileOfSize("C:\\big", 1);
  fake.SetReportedSize("c:\\BIG", 0x100000002ull);
  FindDataA data;
  HANDLE find = fake.FindFirstFileA("C:\\*", &data);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_STREQ(data.cFileName, "big") << "no . and .. in a drive's root";
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, 2u);
  EXPECT_FALSE(fake.CloseHandle(find)) << "a search is closed by FindClose only";
  EXPECT_TRUE(fake.FindClose(find));
  fake.SetReportedSize("C:\\making", 7);
  EXPECT_EQ(fake.GetFileAttributesA("C:\\making"), file::kAttributeNormal);
  find = fake.FindFirstFileA("C:\\making", &data);
  ASSERT_NE(find, InvalidHandleValue());
  EXPECT_EQ(data.nFileSizeLow, 7u);
  fake.FindClose(find);
  fake.SetFindFails("C:\\big");
  EXPECT_EQ(fake.FindFirstFileA("C:\\big", &data), InvalidHandleValue());
  EXPECT_EQ(fake.GetLastError(), err::kAccessDenied);
}

TEST_F(FakePlatformTest, BlockingRestorePointWaitsForRelease) {
  fake.SetRestore(FakePlatform::Restore::kBlocks);
  auto lib = fake.LoadSrClient();
  ASSERT_NE(lib, nullptr);
  BOOL result = -1;
  std::thread worker([&] {
    RestorePointInfoA info;
    StateMgrStatus status;
    result = lib->SRSetRestorePointA(&info, &status);
  });
  while (fake.RestorePointCalls().empty()) std::this_thread::yield();
  fake.ReleaseRestorePoint(true);
  worker.join();
  EXPECT_EQ(result, 1);
  lib.reset();
  EXPECT_EQ(fake.SrClientLoadedCount(), 0);
}

}  // namespace
}  // namespace hv::test
