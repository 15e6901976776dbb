// The installation's owner and what it keeps: one lock across processes,
// logs that go with the backup through any crash, leftovers of killed runs
// removed at start, restores that finish after a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/offline/hive_files.h"
#include "platform/offline/installation_lock.h"
#include "platform/offline/installation_state.h"
#include "platform/offline/offline_machine.h"
#include "platform/offline/settle.h"

namespace hv::offline {
namespace {

using test::Enable;
using test::OfflineMachine;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

fs::path LockFile(const OfflineMachine& m) { return m.root / "ProgramData" / "Talvix Hivora" / "hivora.lock"; }

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool AnyNamed(const fs::path& folder, const std::string& part) {
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().find(part) != std::string::npos) return true;
  }
  return false;
}

TEST(InstallationLockTest, OneOwnerAcrossProcessesSharedInsideOne) {
  OfflineMachine m;
  {
    auto first = m.Platform();
    auto second = m.Platform();  // the same process is one owner
    ASSERT_TRUE(first->owner());
    EXPECT_TRUE(second->owner());
    // Another process cannot take it, and inherits no descriptor of it.
    EXPECT_EQ(Shell("flock -n '" + LockFile(m).string() + "' true"), 1);
    EXPECT_EQ(Shell("ls -l /proc/self/fd/ | grep -q hivora.lock"), 1);
  }
  EXPECT_TRUE(fs::exists(LockFile(m))) << "never deleted";
  EXPECT_EQ(Shell("flock -n '" + LockFile(m).string() + "' true"), 0) << "released with its last owner";
}

TEST(InstallationLockTest, AStartThatDoesNotOwnTheInstallationReadsNothingOfIt) {
  OfflineMachine m;
  fs::create_directories(LockFile(m).parent_path());
  test::WriteWholeFile(m.Config("SAM.hvx"), "a copy of another run");
  // Another process holds the lock while this start is made.
  const std::string hold = "flock -n '" + LockFile(m).string() + "' sleep 3 & sleep 0.3";
  ASSERT_EQ(Shell(hold), 0);
  auto os = m.Platform();
  EXPECT_FALSE(os->owner());
  EXPECT_TRUE(os->hivelist().empty());
  EXPECT_TRUE(fs::exists(m.Config("SAM.hvx"))) << "leftovers are the owner's to clean";
}

TEST(InstallationLockTest, TheIdentityIsTheRealFolderHoweverItIsNamed) {
  OfflineMachine m;
  fs::create_directory_symlink(m.root, m.dir / "link");
  std::string error;
  auto viaLink = DescribeRoot(m.dir / "link", &error);
  auto viaDots = DescribeRoot(m.root / "Windows" / "..", &error);
  auto direct = DescribeRoot(m.root, &error);
  ASSERT_TRUE(viaLink && viaDots && direct) << error;
  const std::string identity = InstallationIdentity(DriveMap(direct->drives, false));
  EXPECT_EQ(identity, fs::canonical(m.root).string());
  EXPECT_EQ(InstallationIdentity(DriveMap(viaLink->drives, false)), identity);
  EXPECT_EQ(InstallationIdentity(DriveMap(viaDots->drives, false)), identity);
}

TEST(InstallationStateTest, FingerprintsReadBackAsWritten) {
  HiveFingerprint f;
  f.hive = {true, 262144, 1796642998628296752};
  f.sequence1 = 7;
  f.sequence2 = 6;
  f.log2 = {true, 0, 12};
  const std::string text = FormatFingerprint(f);
  EXPECT_EQ(text, "262144,1796642998628296752,7,6;-;0,12");
  EXPECT_EQ(ParseFingerprint(text), f);
  for (const char* bad : {"", "1,2,3;-;-", "1,2,3,x;-;-", "1,2,3,4;-", "1,2,3,4;5;-"}) {
    EXPECT_FALSE(ParseFingerprint(bad)) << bad;
  }
}

// SAM and SECURITY requested, with logs as a Windows 8.1 installation has
// them: SAM's in two spellings, SECURITY's none but a stale one beside an
// older backup.
struct WithLogs {
  OfflineMachine m;
  std::string oldSam = ReadWholeFile(m.Config("SAM"));
  std::string oldSecurity = ReadWholeFile(m.Config("SECURITY"));
  std::string newSam;
  WithLogs() {
    WriteWholeFile(m.Config("SAM.LOG1"), "sam log 1");
    WriteWholeFile(m.Config("SAM.log2"), "sam log 2");
    WriteWholeFile(m.Config("SECURITY.bak.LOG1"), "log of an older backup");
    auto os = m.Platform();
    Enable(*os, "SeBackupPrivilege");
    Enable(*os, "SeRestorePrivilege");
    for (const char* hive : {"SAM", "SECURITY"}) {
      const std::string config = std::string("C:\\Windows\\System32\\config\\") + hive;
      HKEY key = nullptr;
      EXPECT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), hive, &key), 0);
      EXPECT_EQ(os->RegSaveKeyA(key, (config + ".hvx").c_str()), 0);
      os->RegCloseKey(key);
      EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), hive, (config + ".hvx").c_str(), (config + ".bak").c_str()), 0);
    }
    newSam = ReadWholeFile(m.Config("SAM.hvx"));
  }
  void ExpectApplied() const {
    EXPECT_TRUE(ReadWholeFile(m.Config("SAM")) == newSam);
    EXPECT_TRUE(ReadWholeFile(m.Config("SAM.bak")) == oldSam);
    EXPECT_TRUE(ReadWholeFile(m.Config("SECURITY.bak")) == oldSecurity);
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG1")), "sam log 1");
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG2")), "sam log 2");
    EXPECT_EQ(ReadWholeFile(LogOf(m.Config("SAM"), "LOG1")), "");
    EXPECT_EQ(ReadWholeFile(LogOf(m.Config("SAM"), "LOG2")), "");
    EXPECT_FALSE(fs::exists(m.Config("SAM.log2"))) << "no stale log beside the new hive";
    EXPECT_FALSE(fs::exists(m.Config("SECURITY.bak.LOG1"))) << "no older backup's log beside this backup";
    EXPECT_TRUE(fs::exists(m.Config("SECURITY.LOG1")));
    EXPECT_FALSE(AnyNamed(m.root, ".hvtmp"));
    EXPECT_FALSE(AnyNamed(m.root, ".hvx"));
  }
};

TEST(InstallationLifecycleTest, LogsGoWithTheBackupThroughACrashAtAnyStep) {
  for (int k = 0;; ++k) {
    SCOPED_TRACE("crash after operation " + std::to_string(k));
    WithLogs p;
    bool finished = false;
    {
      auto os = p.m.Platform();
      Enable(*os, "SeShutdownPrivilege");
      os->journal().SetCrashAfterForTesting(k);
      os->ExitWindowsEx(kEwxReboot, 1);
      finished = os->journal().Entries().empty();
    }
    auto os = p.m.Platform();  // finishes the restart
    EXPECT_EQ(os->report().recovered.empty(), finished);
    p.ExpectApplied();
    if (finished) break;
    ASSERT_LT(k, 80);
  }
}

TEST(InstallationLifecycleTest, ARestoreOfBackupsFinishesAfterACrashAtAnyStep) {
  for (int k = 0;; ++k) {
    SCOPED_TRACE("crash after operation " + std::to_string(k));
    WithLogs p;
    bool finished = false;
    {
      auto os = p.m.Platform();
      Enable(*os, "SeShutdownPrivilege");
      os->ExitWindowsEx(kEwxReboot, 1);
      os->journal().SetCrashAfterForTesting(k);
      RestoreBackups(*os);
      finished = os->journal().Entries().empty();
    }
    p.m.Platform();
    EXPECT_TRUE(ReadWholeFile(p.m.Config("SAM")) == p.oldSam);
    EXPECT_TRUE(ReadWholeFile(p.m.Config("SAM.compacted")) == p.newSam);
    EXPECT_EQ(ReadWholeFile(p.m.Config("SAM.LOG1")), "sam log 1");
    EXPECT_EQ(ReadWholeFile(p.m.Config("SAM.LOG2")), "sam log 2");
    EXPECT_TRUE(ReadWholeFile(p.m.Config("SECURITY")) == p.oldSecurity);
    EXPECT_FALSE(AnyNamed(p.m.root, ".hvtmp"));
    if (finished) break;
    ASSERT_LT(k, 80);
  }
}

TEST(InstallationLifecycleTest, LeftoversOfKilledRunsGoAtTheNextStart) {
  WithLogs p;  // SAM.hvx and SECURITY.hvx wait for the restart
  const fs::path state = p.m.root / "ProgramData" / "Talvix Hivora";
  const char* leftovers[] = {"SOFTWARE.hvx", "SOFTWARE.hvx.hivora-tmp", "SYSTEM.bak.hvtmp", "DEFAULT.rptmp",
                             "DEFAULT.rptmp.LOG1"};
  for (const char* name : leftovers) WriteWholeFile(p.m.Config(name), "left behind");
  WriteWholeFile(state / "pending.journal.tmp-4242-0", "left behind");
  fs::create_hard_link(p.m.Config("SAM"), p.m.Config("SAM.bak.hvtmp"));
  p.m.Platform();
  for (const char* name : leftovers) EXPECT_FALSE(fs::exists(p.m.Config(name))) << name;
  EXPECT_FALSE(fs::exists(p.m.Config("SAM.bak.hvtmp")));
  EXPECT_FALSE(fs::exists(state / "pending.journal.tmp-4242-0"));
  EXPECT_TRUE(fs::exists(p.m.Config("SAM.hvx"))) << "a pending replacement is kept";
  EXPECT_TRUE(fs::exists(p.m.Config("SAM")));
}

// A commit killed while a hive's backup was set aside for its request: with
// no backup beside it the set-aside file is the last backup and goes back;
// beside one that an accepted request made, it is the older and goes.
TEST(InstallationLifecycleTest, ABackupSetAsideByAKilledCommitIsSettledAtTheNextStart) {
  OfflineMachine m;
  WriteWholeFile(m.Config("SAM.bak.old"), "backup of the last restart");
  WriteWholeFile(m.Config("SAM.bak.LOG1"), "its log");
  WriteWholeFile(m.Config("SYSTEM.bak"), "backup made by the request");
  WriteWholeFile(m.Config("SYSTEM.bak.old"), "older backup");
  m.Platform();
  EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak")), "backup of the last restart");
  EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG1")), "its log");
  EXPECT_EQ(ReadWholeFile(m.Config("SYSTEM.bak")), "backup made by the request");
  EXPECT_FALSE(AnyNamed(m.root, ".bak.old"));
}

}  // namespace
}  // namespace hv::offline

namespace hv::offline {
namespace {

// On a read-only mount the copy of a hive is made, measured and deleted in
// the work folder by the name beside the hive the program gives it; no
// replacement can be requested, and the copies go with the platform.
TEST(ReadOnlyInstallationTest, CopiesLiveInTheWorkFolderAndNoReplacementIsTaken) {
  OfflineMachine m;
  const fs::path mounted = m.dir / "mounted";
  const fs::path work = m.dir / "work";
  fs::create_directories(mounted);
  if (Shell("mount --bind '" + m.root.string() + "' '" + mounted.string() + "' 2>/dev/null") != 0) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "a read-only bind mount cannot be made";
    GTEST_SKIP() << "a read-only bind mount cannot be made here (needs root)";
  }
  struct Unmount {
    fs::path at;
    bool done = false;
    void operator()() {
      if (!done) Shell("umount '" + at.string() + "'");
      done = true;
    }
    ~Unmount() { (*this)(); }
  } unmount{mounted};
  const bool readOnly = Shell("mount -o remount,bind,ro '" + mounted.string() + "' 2>/dev/null") == 0;
  {
    std::string error;
    auto machine = DescribeRoot(mounted, &error);
    ASSERT_TRUE(machine) << error;
    machine->wow64 = false;
    OfflineOptions options;
    options.machine = *machine;
    options.programFolder = m.dir / "config";
    options.workDir = work;
    OfflinePlatform os(std::move(options));
    ASSERT_TRUE(readOnly);
    EXPECT_TRUE(os.readOnlyInstallation());
    EXPECT_TRUE(os.owner());
    EXPECT_EQ(os.CommitRefusal(), "the installation is read-only");

    test::Enable(os, "SeBackupPrivilege");
    test::Enable(os, "SeRestorePrivilege");
    const std::string copy = "C:\\Windows\\System32\\config\\SAM.hvx";
    HKEY key = nullptr;
    ASSERT_EQ(os.RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
    EXPECT_EQ(os.RegSaveKeyA(key, copy.c_str()), 0);
    os.RegCloseKey(key);
    EXPECT_FALSE(fs::exists(m.Config("SAM.hvx")));
    EXPECT_TRUE(AnyNamed(work, "SAM.hvx"));
    EXPECT_NE(os.GetFileAttributesA(copy.c_str()), file::kInvalidFileAttributes);
    FindDataA found{};
    HANDLE search = os.FindFirstFileA(copy.c_str(), &found);
    ASSERT_NE(search, InvalidHandleValue());
    os.FindClose(search);
    EXPECT_EQ(std::string(found.cFileName), "SAM.hvx");
    EXPECT_GT(found.nFileSizeLow, 0u);
    EXPECT_EQ(os.RegReplaceKeyA(HkeyLocalMachine(), "SAM", copy.c_str(), "C:\\Windows\\System32\\config\\SAM.bak"),
              LONG(err::kAccessDenied));
    EXPECT_TRUE(os.journal().Entries().empty());
    // Made again by the next analysis, as beside a writable hive.
    EXPECT_TRUE(os.DeleteFileA(copy.c_str()));
    EXPECT_FALSE(AnyNamed(work, "SAM.hvx"));
    ASSERT_EQ(os.RegOpenKeyA(HkeyLocalMachine(), "SAM", &key), 0);
    EXPECT_EQ(os.RegSaveKeyA(key, copy.c_str()), 0);
    os.RegCloseKey(key);
  }
  unmount();
  EXPECT_FALSE(AnyNamed(work, ".hvx")) << "the copies go with the platform";
}

}  // namespace
}  // namespace hv::offline
