// Restart: the pending replacements applied crash-safely.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <map>
#include <string>

#include "platform/offline/offline_machine.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

using test::Enable;
using test::OfflineMachine;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

// Two hives with their copies requested for replacement.
struct Pending {
  OfflineMachine m;
  std::string oldSam = ReadWholeFile(m.Config("SAM"));
  std::string oldSecurity = ReadWholeFile(m.Config("SECURITY"));
  Pending() {
    // Started first: a start removes copies that no pending replacement holds.
    auto os = m.Platform();
    WriteWholeFile(m.Config("SAM.hvx"), "new SAM");
    WriteWholeFile(m.Config("SECURITY.hvx"), "new SECURITY");
    WriteWholeFile(m.Config("SAM.bak"), "stale backup");
    Enable(*os, "SeBackupPrivilege");
    Enable(*os, "SeRestorePrivilege");
    const std::string config = "C:\\Windows\\System32\\config\\";
    EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", (config + "SAM.hvx").c_str(),
                                 (config + "SAM.bak").c_str()),
              0);
    EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SECURITY", (config + "SECURITY.hvx").c_str(),
                                 (config + "SECURITY.bak").c_str()),
              0);
  }
  // No replacement waits (the journal keeps only what the last restart did).
  bool JournalGone() const {
    const fs::path journal = m.root / "ProgramData" / "Talvix Hivora" / "pending.journal";
    return !fs::exists(journal) || ReadWholeFile(journal).find("replace=") == std::string::npos;
  }
  void ExpectApplied() const {
    EXPECT_EQ(ReadWholeFile(m.Config("SAM")), "new SAM");
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak")), oldSam);
    EXPECT_EQ(ReadWholeFile(m.Config("SECURITY")), "new SECURITY");
    EXPECT_EQ(ReadWholeFile(m.Config("SECURITY.bak")), oldSecurity);
    EXPECT_FALSE(fs::exists(m.Config("SAM.hvx")));
    EXPECT_TRUE(JournalGone());
  }
};

TEST(PendingReplacementsTest, RestartNeedsTheShutdownPrivilege) {
  Pending p;
  auto os = p.m.Platform();
  bool asked = false;
  os->SetRestartHandler([&] { asked = true; });
  EXPECT_FALSE(os->ExitWindowsEx(kEwxReboot | kEwxForce, 1));
  EXPECT_EQ(os->GetLastError(), err::kPrivilegeNotHeld);
  EXPECT_FALSE(asked);
  EXPECT_EQ(ReadWholeFile(p.m.Config("SAM")), p.oldSam);
  // A new start without a restart leaves the requests pending.
  os = p.m.Platform();
  EXPECT_EQ(ReadWholeFile(p.m.Config("SAM")), p.oldSam);
  EXPECT_EQ(os->journal().Entries().size(), 2u);
}

TEST(PendingReplacementsTest, RestartAppliesAndAsksTheApplicationToClose) {
  Pending p;
  auto os = p.m.Platform();
  Enable(*os, "SeShutdownPrivilege");
  bool asked = false;
  os->SetRestartHandler([&] { asked = true; });
  EXPECT_TRUE(os->ExitWindowsEx(kEwxReboot | kEwxForce, 1));
  EXPECT_TRUE(asked);
  p.ExpectApplied();
  EXPECT_TRUE(os->journal().Entries().empty());  // the copies are no longer held
}

TEST(PendingReplacementsTest, ACrashAfterAnyStepEndsWithOldOrNewHiveAndBackupIntact) {
  for (int k = 0;; ++k) {
    SCOPED_TRACE("crash after operation " + std::to_string(k));
    Pending p;
    {
      auto os = p.m.Platform();
      Enable(*os, "SeShutdownPrivilege");
      os->journal().SetCrashAfterForTesting(k);
      os->ExitWindowsEx(kEwxReboot, 1);
    }
    // The power cut: whatever happened, each hive's name holds a whole hive.
    EXPECT_TRUE(ReadWholeFile(p.m.Config("SAM")) == p.oldSam || ReadWholeFile(p.m.Config("SAM")) == "new SAM");
    EXPECT_TRUE(ReadWholeFile(p.m.Config("SECURITY")) == p.oldSecurity ||
                ReadWholeFile(p.m.Config("SECURITY")) == "new SECURITY");
    const bool finished = p.JournalGone();
    // The next start finishes the work, and a start after it changes nothing.
    p.m.Platform();
    p.ExpectApplied();
    p.m.Platform();
    p.ExpectApplied();
    if (finished) break;
    ASSERT_LT(k, 50);
  }
}

#ifndef _WIN32
// The hives' folder swapped for a link to a host folder holding the same
// names, after the restart has read its paths and before it acts on them:
// nothing there is touched.
TEST(PendingReplacementsTest, AFolderSwappedForALinkDuringTheRestartIsNotFollowed) {
  Pending p;
  auto os = p.m.Platform();
  Enable(*os, "SeShutdownPrivilege");
  os->SetRestartHandler([] {});
  test::TempDir host;
  const fs::path config = p.m.root / "Windows" / "System32" / "config";
  const fs::path outside = host / "config";
  fs::copy(config, outside);
  std::map<std::string, std::string> before;
  for (const auto& entry : fs::directory_iterator(outside)) {
    before[entry.path().filename().string()] = ReadWholeFile(entry.path());
  }
  int swappedAt = -1;
  os->journal().SetStepHookForTesting([&](int step) {
    if (swappedAt >= 0) return;
    swappedAt = step;
    fs::rename(config, p.m.root / "Windows" / "System32" / "config.moved");
    fs::create_directory_symlink(outside, config);
  });
  os->ExitWindowsEx(kEwxReboot | kEwxForce, 1);
  ASSERT_EQ(swappedAt, 0);
  std::map<std::string, std::string> after;
  for (const auto& entry : fs::directory_iterator(outside)) {
    after[entry.path().filename().string()] = ReadWholeFile(entry.path());
  }
  for (const auto& [name, bytes] : after) {
    EXPECT_TRUE(before.count(name) == 1 && before[name] == bytes) << name << " was made or changed outside";
  }
  EXPECT_EQ(after.size(), before.size());
  EXPECT_TRUE(fs::is_symlink(config));
}
#endif
// SAM's backup of an earlier restart, with a log, and a copy that can never
// be put in place (a folder under its name): the restart fails for SAM after
// it made SAM's new backup, and moved SAM's log beside it.
TEST(PendingReplacementsTest, ARestartFailingForAHiveKeepsItsEarlierBackupWhereverAKillStoppedIt) {
  for (int k = 0; k <= 40; ++k) {
    SCOPED_TRACE("crash after operation " + std::to_string(k));
    OfflineMachine m;
    const std::string oldSam = ReadWholeFile(m.Config("SAM"));
    {
      // Started first: a start removes copies that no pending replacement holds.
      auto os = m.Platform();
      WriteWholeFile(m.Config("SAM.LOG1"), "SAM's log");
      WriteWholeFile(m.Config("SAM.bak"), "earlier backup");
      WriteWholeFile(m.Config("SAM.bak.LOG1"), "earlier backup's log");
      WriteWholeFile(m.Config("SECURITY.hvx"), "new SECURITY");
      Enable(*os, "SeBackupPrivilege");
      Enable(*os, "SeRestorePrivilege");
      WriteWholeFile(m.Config("SAM.hvx"), "new SAM");
      const std::string config = "C:\\Windows\\System32\\config\\";
      for (const char* hive : {"SAM", "SECURITY"}) {
        EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), hive, (config + hive + ".hvx").c_str(),
                                     (config + hive + ".bak").c_str()),
                  0);
      }
      fs::remove(m.Config("SAM.hvx"));
      fs::create_directories(m.Config("SAM.hvx") / "in the way");
      Enable(*os, "SeShutdownPrivilege");
      os->journal().SetCrashAfterForTesting(k);
      os->ExitWindowsEx(kEwxReboot, 1);
    }
    // The next start finishes what it can; SAM is as it was, with its earlier
    // backup, whether the kill came before, during or after its set-aside,
    // its new backup or the put-back.
    for (int start = 0; start < 2; ++start) {
      auto os = m.Platform();
      EXPECT_TRUE(ReadWholeFile(m.Config("SAM")) == oldSam);
      EXPECT_EQ(ReadWholeFile(m.Config("SAM.LOG1")), "SAM's log");
      EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak")), "earlier backup");
      EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG1")), "earlier backup's log");
      EXPECT_FALSE(fs::exists(m.Config("SAM.bak.old")));
      EXPECT_FALSE(fs::exists(m.Config("SAM.bak.old.LOG1")));
      EXPECT_EQ(ReadWholeFile(m.Config("SECURITY")), "new SECURITY");
      ASSERT_EQ(os->journal().Entries().size(), 1u);
    }
    // Dropping the replacement keeps it too.
    auto os = m.Platform();
    EXPECT_EQ(os->journal().Discard(), err::kSuccess);
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak")), "earlier backup");
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG1")), "earlier backup's log");
  }
}

// A hive that cannot be linked (immutable) gets a copied backup. A kill after
// its log went beside that copy, then a start with the hive writable again:
// the copy is the restart's own backup, never taken for an earlier one, and
// keeps the hive's log.
TEST(PendingReplacementsTest, ACopiedBackupFoundAfterAKillKeepsTheHivesLog) {
#ifdef _WIN32
  GTEST_SKIP() << "chattr is Linux's";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "an immutable file needs root";
  for (int k = 0; k <= 12; ++k) {
    SCOPED_TRACE("crash after operation " + std::to_string(k));
    OfflineMachine m;
    const std::string oldSam = ReadWholeFile(m.Config("SAM"));
    {
      auto os = m.Platform();
      WriteWholeFile(m.Config("SAM.LOG1"), "SAM's log");
      WriteWholeFile(m.Config("SAM.hvx"), "new SAM");
      Enable(*os, "SeBackupPrivilege");
      Enable(*os, "SeRestorePrivilege");
      EXPECT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), "SAM", "C:\\Windows\\System32\\config\\SAM.hvx",
                                   "C:\\Windows\\System32\\config\\SAM.bak"),
                0);
      if (std::system(("chattr +i '" + m.Config("SAM").string() + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "chattr +i is not supported here";
      }
      Enable(*os, "SeShutdownPrivilege");
      os->journal().SetCrashAfterForTesting(k);
      os->ExitWindowsEx(kEwxReboot, 1);
      ASSERT_EQ(std::system(("chattr -i '" + m.Config("SAM").string() + "'").c_str()), 0);
    }
    m.Platform();
    EXPECT_EQ(ReadWholeFile(m.Config("SAM")), "new SAM");
    EXPECT_TRUE(ReadWholeFile(m.Config("SAM.bak")) == oldSam);
    EXPECT_EQ(ReadWholeFile(m.Config("SAM.bak.LOG1")), "SAM's log");
    EXPECT_FALSE(fs::exists(m.Config("SAM.bak.old")));
  }
#endif
}

}  // namespace
}  // namespace hv::offline
