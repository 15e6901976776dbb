#include "platform/offline/restore_point.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/offline/offline_machine.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/restore_point_index.h"

namespace hv::offline {
namespace {

using test::OfflineMachine;
namespace fs = std::filesystem;

RestorePointInfoA Info() {
  RestorePointInfoA info;
  info.dwEventType = kBeginSystemChange;
  info.dwRestorePtType = kApplicationInstall;
  std::memcpy(info.szDescription, "Made by Talvix Hivora", 21);
  return info;
}

SystemTime Fixed() { return {.wYear = 2024, .wMonth = 5, .wDay = 17, .wHour = 9, .wMinute = 3, .wSecond = 7}; }

TEST(RestorePointTest, DisabledByTheDescriptionWritesNothing) {
  OfflineMachine m;
  std::string error;
  OfflineOptions options;
  options.machine = *DescribeRoot(m.root, &error);
  options.machine.restorePointFails = true;
  OfflinePlatform os(options);
  auto sr = os.LoadSrClient();
  ASSERT_TRUE(sr && sr->HasSetRestorePoint());
  RestorePointInfoA info = Info();
  StateMgrStatus status;
  EXPECT_FALSE(sr->SRSetRestorePointA(&info, &status));
  EXPECT_NE(status.nStatus, 0u);
  EXPECT_FALSE(fs::exists(os.stateFolder() / "RestorePoints"));
}

TEST(RestorePointTest, DatedCopyOfEveryHiveWithAnIndex) {
  OfflineMachine m;
  auto os = m.Platform();
  os->SetClockForTesting(Fixed);
  auto sr = os->LoadSrClient();
  RestorePointInfoA info = Info();
  StateMgrStatus status;
  ASSERT_TRUE(sr->SRSetRestorePointA(&info, &status));
  EXPECT_EQ(status.nStatus, 0u);
  const std::int64_t sequence = status.llSequenceNumber;  // the record is packed
  EXPECT_EQ(sequence, 1);
  const fs::path point = m.root / "ProgramData" / "Talvix Hivora" / "RestorePoints" / "20240517-090307";
  ASSERT_TRUE(fs::is_directory(point));
  EXPECT_EQ(test::ReadWholeFile(point / "C/Windows/System32/config/SOFTWARE"), test::ReadWholeFile(m.Config("SOFTWARE")));
  EXPECT_TRUE(fs::exists(point / "C/Users/Demo/NTUSER.DAT"));
  const auto index = point / "RestorePoint.ini";
  char buf[256];
  GetProfileString("RestorePoint", "Description", "", buf, sizeof buf, index);
  EXPECT_STREQ(buf, "Made by Talvix Hivora");
  GetProfileString("RestorePoint", "Time", "", buf, sizeof buf, index);
  EXPECT_STREQ(buf, "2024-05-17 09:03:07");
  GetProfileString("Hive2", "Name", "", buf, sizeof buf, index);
  EXPECT_STREQ(buf, "\\REGISTRY\\MACHINE\\SOFTWARE");
  GetProfileString("Hive7", "File", "", buf, sizeof buf, index);
  EXPECT_STREQ(buf, "C:\\Users\\Demo\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
  // A second point in the same second gets its own folder.
  ASSERT_TRUE(sr->SRSetRestorePointA(&info, &status));
  const std::int64_t second = status.llSequenceNumber;  // the record is packed
  EXPECT_EQ(second, 2);
  EXPECT_TRUE(fs::is_directory(point.parent_path() / "20240517-090307-2"));
  // What it writes, it accepts back.
  const RestorePointIndex read = ReadRestorePointIndex(point, os->drives(), os->HiveRule());
  ASSERT_FALSE(read.problem) << *read.problem;
  ASSERT_EQ(read.hives.size(), 7u);
  EXPECT_EQ(read.hives[1].copy, point / "C/Windows/System32/config/SOFTWARE");
  EXPECT_EQ(read.hives[1].size, fs::file_size(m.Config("SOFTWARE")));
}

#ifndef _WIN32
// A hive or log that is a link to a host file: its bytes never reach the
// installation's restore point.
TEST(RestorePointTest, HostFilesLinkedIntoTheInstallationAreNotCopied) {
  OfflineMachine m;
  const fs::path host = m.dir / "host-secret";
  { std::ofstream(host) << "host secret"; }
  auto containsSecret = [&](const fs::path& folder) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file() && test::ReadWholeFile(it->path()).find("host secret") != std::string::npos) return true;
    }
    return false;
  };
  for (const char* linked : {"SAM", "SAM.LOG1"}) {
    fs::remove(m.Config(linked));
    fs::create_symlink(host, m.Config(linked));
    auto os = m.Platform();
    os->SetClockForTesting(Fixed);
    EXPECT_FALSE(os->HostFileOfHive("\\REGISTRY\\MACHINE\\SAM") && std::string(linked) == "SAM");
    auto sr = os->LoadSrClient();
    RestorePointInfoA info = Info();
    StateMgrStatus status;
    sr->SRSetRestorePointA(&info, &status);
    EXPECT_FALSE(containsSecret(os->stateFolder())) << linked;
    fs::remove(m.Config(linked));
    std::ofstream(m.Config(linked)) << "";
  }
  // A second name of a host file (a hard link) is not copied either.
  fs::remove(m.Config("SAM.LOG2"));
  fs::create_hard_link(host, m.Config("SAM.LOG2"));
  auto os = m.Platform();
  auto sr = os->LoadSrClient();
  RestorePointInfoA info = Info();
  StateMgrStatus status;
  EXPECT_FALSE(sr->SRSetRestorePointA(&info, &status));
  EXPECT_FALSE(containsSecret(os->stateFolder()));
}
#endif

}  // namespace
}  // namespace hv::offline
