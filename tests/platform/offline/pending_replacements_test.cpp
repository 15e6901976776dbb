// Restart: the pending replacements applied crash-safely.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace hv::offline
