// The defragmentation commit: confirmation, restore point, replacements and
// the restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "shell/commit.h"
#include "shell/run_record.h"

namespace hv::test {
namespace {

class CommitTest : public AppTest {
 protected:
  CommitTest() {
    AddMachine();
    AddCopies();
    ShowMain();
    OptionsSetting.RestorePoint = false;
  }

  std::vector<std::string> ReplacedCopies() const {
    std::vector<std::string> copies;
    for (const auto& call : fake.Replaces()) {
      if (call.result == 0) copies.push_back(call.newFile);
    }
    return copies;
  }
  // With someone at the desktop, programs are asked to close and only hung
  // ones are ended; unattended, all are ended.
  bool Restarted() const {
    const auto calls = fake.ExitCalls();
    const UINT flags = main->IsSilent ? (kEwxReboot | kEwxForce) : (kEwxReboot | kEwxForceIfHung);
    return calls.size() == 1 && calls[0].flags == flags && calls[0].reason == 1;
  }
  bool AskedToRestart() const {
    const auto texts = MessageTexts();
    return std::find(texts.begin(), texts.end(), BuiltinText(kTextRestartRequired)) != texts.end();
  }
  void ExpectNothingCommitted() {
    EXPECT_TRUE(fake.Replaces().empty());
    EXPECT_TRUE(fake.ExitCalls().empty());
    EXPECT_FALSE(AskedToRestart());
  }
};

// --- Stops and failures first.

TEST_F(CommitTest, AnsweringNoCommitsNothingButSavesTheSettings) {
  ThenClick("frmAskDelete", "bCancel");
  main->bDefragRegistryClick();
  EXPECT_TRUE(StepsDone());
  ExpectNothingCommitted();
  EXPECT_EQ(OptionsKeys().size(), 4u);
}

TEST_F(CommitTest, ClosingTheConfirmationCommitsNothing) {
  ThenClose("frmAskDelete");
  main->bDefragRegistryClick();
  EXPECT_TRUE(StepsDone());
  ExpectNothingCommitted();
}

TEST_F(CommitTest, DontAskTickedAndNoIsSavedAndTheNextCommitAsksNoMore) {
  ThenClick("frmAskDelete", "cbAsk");
  ThenClick("frmAskDelete", "bCancel");
  main->bDefragRegistryClick();
  ExpectNothingCommitted();
  EXPECT_EQ(OptionsKeys()[1], (std::pair<std::string, std::string>{"IsAskBeforeDefrag", "0"}));

  main->bDefragRegistryClick();  // no dialog: no step is queued
  EXPECT_FALSE(tk.Stalled());
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, DontAskTickedThenUntickedKeepsAsking) {
  ThenClick("frmAskDelete", "cbAsk");
  ThenClick("frmAskDelete", "cbAsk");
  ThenClick("frmAskDelete", "bOK");
  main->bDefragRegistryClick();
  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_EQ(OptionsKeys()[1], (std::pair<std::string, std::string>{"IsAskBeforeDefrag", "1"}));
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, HiveWithoutCopyIsNotReplacedAndKeepsItsBackup) {
  const auto hives = ThreeHives();
  fake.CreateFileWithContent(hives[1].file + ".bak", "earlier backup");
  std::filesystem::remove(*fake.HostPath(hives[1].file + ".hvx"));
  OptionsSetting.IsAskBeforeDefrag = false;
  main->bDefragRegistryClick();

  EXPECT_EQ(ReplacedCopies(), (std::vector<std::string>{hives[0].file + ".hvx", hives[2].file + ".hvx"}));
  for (const auto& call : fake.Replaces()) EXPECT_NE(call.newFile, hives[1].file + ".hvx");
  EXPECT_EQ(fake.ReadContent(hives[1].file + ".bak"), "earlier backup");
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, NoAcceptedReplacementMeansAMessageAndNoRestart) {
  const auto hives = ThreeHives();
  for (const auto& hive : hives) fake.CreateFileWithContent(hive.file + ".bak", "last backup of " + hive.file);
  fake.SetReplaceHook([](const std::string&, const std::string&, const std::string&) {
    return static_cast<LSTATUS>(err::kAccessDenied);
  });
  OptionsSetting.IsAskBeforeDefrag = false;
  main->bDefragRegistryClick();
  // The refused requests cost no hive its last backup.
  for (const auto& hive : hives) {
    EXPECT_EQ(fake.ReadContent(hive.file + ".bak"), "last backup of " + hive.file);
    EXPECT_FALSE(fake.Exists(hive.file + ".bak.old"));
  }

  EXPECT_EQ(fake.Replaces().size(), 3u);
  EXPECT_TRUE(fake.ExitCalls().empty());
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, "No hive could be replaced. Nothing was changed.");
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, ui::kMbOk);
}

TEST_F(CommitTest, NoCopiesAtAllMeansTheSameMessageEvenUnattended) {
  for (const auto& hive : ThreeHives()) std::filesystem::remove(*fake.HostPath(hive.file + ".hvx"));
  main->IsSilent = true;
  main->bDefragRegistryClick();
  EXPECT_TRUE(fake.Replaces().empty());
  EXPECT_TRUE(fake.ExitCalls().empty());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kNothingReplacedText});
}

TEST_F(CommitTest, RefusedReplacementIsSkippedAndTheOthersProceed) {
  const auto hives = ThreeHives();
  fake.SetReplaceHook([&](const std::string&, const std::string& newFile, const std::string&) {
    return static_cast<LSTATUS>(newFile == hives[0].file + ".hvx" ? err::kAccessDenied : err::kSuccess);
  });
  OptionsSetting.IsAskBeforeDefrag = false;
  main->bDefragRegistryClick();
  EXPECT_EQ(ReplacedCopies().size(), 2u);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{BuiltinText(kTextRestartRequired)});
  EXPECT_TRUE(Restarted());
}

// What a script reads afterwards (--json): which hives the system took for the restart.
TEST_F(CommitTest, EachAnalysedHiveRecordsWhetherItsReplacementWasAccepted) {
  const auto hives = ThreeHives();
  RunRecord& record = TheRunRecord();
  record.lastAnalysis = AnalysisRecord{true, "", {}};
  for (const auto& hive : hives) record.lastAnalysis->hives.push_back({hive.name, hive.file, 10, 5, true, "", {}});
  record.lastAnalysis->hives.push_back({"\\REGISTRY\\MACHINE\\OTHER", "C:\\other", 10, 0, false, "why", {}});
  fake.SetReplaceHook([&](const std::string&, const std::string& newFile, const std::string&) {
    return static_cast<LSTATUS>(newFile == hives[0].file + ".hvx" ? err::kAccessDenied : err::kSuccess);
  });
  OptionsSetting.IsAskBeforeDefrag = false;
  main->bDefragRegistryClick();
  const auto& recorded = record.lastAnalysis->hives;
  EXPECT_EQ(recorded[0].replaceRequested, std::optional<bool>(false));
  EXPECT_EQ(recorded[1].replaceRequested, std::optional<bool>(true));
  EXPECT_EQ(recorded[2].replaceRequested, std::optional<bool>(true));
  EXPECT_FALSE(recorded[3].replaceRequested) << "a hive the commit did not touch says nothing";
  record = RunRecord{};
}

TEST_F(CommitTest, RestorePointFailureAnsweredNoStopsTheCommit) {
  OptionsSetting.RestorePoint = true;
  fake.SetRestore(FakePlatform::Restore::kFails);
  tk.QueueAnswer(ui::kMrNo);
  ThenClick("frmAskDelete", "bOK");
  main->bDefragRegistryClick();
  EXPECT_EQ(fake.RestorePointCalls().size(), 1u);
  ExpectNothingCommitted();
}

// --- Going through.

TEST_F(CommitTest, YesReplacesEveryHiveWithItsCopyAndBackupThenRestarts) {
  ThenClick("frmAskDelete", "bOK");
  main->bDefragRegistryClick();

  const auto replaces = fake.Replaces();
  const auto hives = ThreeHives();
  ASSERT_EQ(replaces.size(), 3u);
  for (std::size_t i = 0; i < hives.size(); ++i) {
    EXPECT_EQ(replaces[i].newFile, hives[i].file + ".hvx");
    EXPECT_EQ(replaces[i].oldFile, hives[i].file + ".bak");
    EXPECT_EQ(replaces[i].result, 0);
  }
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, BuiltinText(kTextRestartRequired));
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, ui::kMbOk);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, RestartEnablesTheShutdownPrivilegeAndClosesTheToken) {
  OptionsSetting.IsAskBeforeDefrag = false;
  main->bDefragRegistryClick();
  const auto log = fake.TokenLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "LookupPrivilegeValueA SeShutdownPrivilege"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "AdjustTokenPrivileges SeShutdownPrivilege 0x2"), log.end());
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeShutdownPrivilege"));
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeRestorePrivilege"));
  EXPECT_EQ(fake.OpenTokenCount(), 0);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, RestorePointIsMadeBeforeTheReplacements) {
  OptionsSetting.IsAskBeforeDefrag = false;
  OptionsSetting.RestorePoint = true;
  main->bDefragRegistryClick();
  EXPECT_EQ(fake.RestorePointCalls().size(), 1u);
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, ReleaseWithoutRestorePointsSkipsTheDialog) {
  fake.SetVersion(kVerPlatformWin32Nt, 5, 0, 2195);  // NT 5.0
  OptionsSetting.IsAskBeforeDefrag = false;
  OptionsSetting.RestorePoint = true;
  main->bDefragRegistryClick();
  EXPECT_FALSE(tk.Stalled());
  EXPECT_TRUE(fake.RestorePointCalls().empty());
  EXPECT_EQ(fake.SrClientLoadedCount(), 0);
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, UnattendedCommitAsksNothingAndRestarts) {
  main->IsSilent = true;
  OptionsSetting.IsAskBeforeDefrag = true;
  OptionsSetting.RestorePoint = true;
  main->bDefragRegistryClick();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(fake.RestorePointCalls().empty());
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(Restarted());
  EXPECT_FALSE(std::filesystem::exists(ProgramFile("options.ini")));
}

// --- An offline installation: nothing restarts; the replacements are applied
// when the user says so.

TEST_F(CommitTest, OfflineCancelLeavesTheReplacementsPendingAndRestartsNothing) {
  fake.SetOfflineInstallation("/mnt/win");
  OptionsSetting.IsAskBeforeDefrag = false;
  tk.QueueAnswer(ui::kMrCancel);
  main->bDefragRegistryClick();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Apply the replacements to the installation at /mnt/win now?"}));
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(fake.ExitCalls().empty());
  // The requests stand; asking for them again would only fail.
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
}

TEST_F(CommitTest, OfflineOkAppliesThemWithoutTheLiveSystemsRestartMessage) {
  fake.SetOfflineInstallation("/mnt/win");
  OptionsSetting.IsAskBeforeDefrag = false;
  tk.QueueAnswer(ui::kMrOk);
  main->bDefragRegistryClick();
  EXPECT_FALSE(AskedToRestart());
  EXPECT_EQ(ReplacedCopies().size(), 3u);
  EXPECT_TRUE(Restarted());
}

TEST_F(CommitTest, OfflineUnattendedAsksNothing) {
  fake.SetOfflineInstallation("/mnt/win");
  main->IsSilent = true;
  main->bDefragRegistryClick();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(Restarted());
}

}  // namespace
}  // namespace hv::test
