// Whole analysis runs: the main window, the progress dialog and the scan
// thread on the terminal toolkit (test mode, virtual clock), over the fake
// platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <list>
#include <thread>
#include <map>
#include <mutex>

#include "hive/progress_dialog.h"
#include "settings/options.h"
#include "shell/main_form.h"
#include "shell/startup.h"
#include "shell/run_record.h"
#include "support/console_test.h"
#include "support/fake_platform.h"
#include "support/machine.h"
#include "ui/console/console_toolkit.h"

namespace hv {
namespace {

using ui::console::ConsoleToolkit;

const std::string kSystem = "C:\\Windows\\System32\\config\\SYSTEM";
const std::string kSoftware = "C:\\Windows\\System32\\config\\SOFTWARE";
const std::string kDefault = "C:\\Windows\\System32\\config\\DEFAULT";
const std::string kAdvice =
    "We suggest that your registry does not need to be compacted at this time. If you select to "
    "compact the registry now, the same fragment rate may appear again.";

// A gate a save waits at until the test opens it; opened at the latest when
// the test ends, so that no worker is left waiting.
class Gate {
 public:
  ~Gate() { Open(); }
  void Wait() { future_.wait(); }
  void Open() {
    std::call_once(once_, [this] { promise_.set_value(); });
  }

 private:
  std::promise<void> promise_;
  std::shared_future<void> future_ = promise_.get_future().share();
  std::once_flag once_;
};

class AnalysisFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OptionsSetting = TOptionsSetting{};
    fake.SetSaveHook([this](const std::string& key, const std::string& target) {
      return Save(key, target);
    });
  }
  void TearDown() override {
    for (Gate& gate : gates) gate.Open();
    if (main) {
      main->StopWorkers();
      EXPECT_TRUE(main->WaitForWorkers(20000));
    }
    main.reset();
    OptionsSetting = TOptionsSetting{};
  }

  // Copies are written with the size given per hive file; a size below 0
  // makes the save fail without a copy.
  LSTATUS Save(const std::string& key, const std::string& target) {
    const std::string file = target.substr(0, target.size() - 4);
    Gate* gate = nullptr;
    std::int64_t size = 1000;
    {
      std::lock_guard lock(mu);
      log.push_back("begin " + key);
      if (auto it = gateOf.find(key); it != gateOf.end()) gate = it->second;
      if (auto it = copySize.find(file); it != copySize.end()) size = it->second;
    }
    if (gate != nullptr) gate->Wait();
    LSTATUS result = 0;
    if (size < 0) {
      result = static_cast<LSTATUS>(err::kCantWrite);
    } else {
      fake.CreateFileOfSize(target, static_cast<std::uint64_t>(size));
    }
    std::lock_guard lock(mu);
    log.push_back("end " + key);
    return result;
  }

  void Start(const std::vector<test::TestHive>& hives = test::ThreeHives()) {
    test::AddMachine(fake, hives);
    main = std::make_unique<TfrmMain>(tk, kInstanceName);
    tk.ShowForm(*main);
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : tk.MessageBoxLog()) texts.push_back(box.text);
    return texts;
  }
  std::vector<std::string> Row(std::size_t i) const {
    const auto& row = main->lvMain.Rows().at(i);
    return row.subItems;
  }
  std::vector<std::string> Totals() const {
    return {main->lCurrentRegistrySize.Caption(), main->lNewRegistrySize.Caption(),
            main->lSizeReduction.Caption(), main->lCompactPercent.Caption()};
  }
  // Runs `act` once, on the progress dialog, when its memo shows `memoText`.
  void WhenMemoShows(const std::string& memoText,
                     std::function<void(ConsoleToolkit&, TfrmGetNewHiveProgess&)> act) {
    auto fired = std::make_shared<bool>(false);
    tk.SetIdleHandler([=](ConsoleToolkit& t) {
      auto* dialog = dynamic_cast<TfrmGetNewHiveProgess*>(t.ActiveForm());
      if (*fired || dialog == nullptr || dialog->Memo1.Caption() != memoText) return false;
      *fired = true;
      act(t, *dialog);
      return true;
    });
  }
  // Saves of `key` wait until the returned gate is opened.
  Gate& GateAt(const std::string& key) {
    Gate& gate = gates.emplace_back();
    gateOf[key] = &gate;
    return gate;
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(mu);
    return log;
  }

  test::FakePlatform fake;
  ScopedPlatform scope{&fake};
  ConsoleToolkit tk{test::TestToolkitOptions()};
  std::unique_ptr<TfrmMain> main;
  std::map<std::string, std::int64_t> copySize;
  std::list<Gate> gates;
  std::map<std::string, Gate*> gateOf;
  std::mutex mu;
  std::vector<std::string> log;
};

// ------------------------------------------------------------ refusals

TEST_F(AnalysisFlowTest, EmptyTableDoesNothing) {
  Start({});
  main->bAnalyzeRegistry.Click();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(fake.Saves().empty());
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_FALSE(tk.Stalled());
}

TEST_F(AnalysisFlowTest, CopyInUseRefusesTheRunAndChangesNothing) {
  Start();
  fake.CreateFileOfSize(kDefault + ".hvx", 10);
  fake.SetHeldOpen(kDefault + ".hvx");
  main->bDefragRegistry.SetEnabled(true);
  main->IsSilent = true;  // shown in the unattended modes too
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Can not analyze the registry now! Please try again later."}));
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, ui::kMbOk);
  EXPECT_TRUE(fake.Saves().empty());
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(0), (std::vector<std::string>{"", "", ""}));
}

TEST_F(AnalysisFlowTest, SoftwareCopyBelowAQuarterIsRejected) {
  Start();
  copySize[kSoftware] = 80000 / 4 - 1;
  main->bDefragRegistry.SetEnabled(true);
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Failed to analyze the registry!\nSOFTWARE: its copy is under a quarter of the hive"}));
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(Totals(), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(AnalysisFlowTest, SoftwareCopyOfExactlyAQuarterIsAccepted) {
  Start();
  copySize[kSoftware] = 80000 / 4;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(1), (std::vector<std::string>{"79 KB", "20 KB", "75%"}));
}

TEST_F(AnalysisFlowTest, SoftwareAnywhereInThePathInAnyCase) {
  Start({{"\\REGISTRY\\USER\\S-1-5-21", "C:\\Users\\my software\\NTUSER.DAT", 4000},
         {"\\REGISTRY\\MACHINE\\SOFTWARE", "C:\\Windows\\System32\\config\\SOFT", 4000}});
  copySize["C:\\Users\\my software\\NTUSER.DAT"] = 999;
  copySize["C:\\Windows\\System32\\config\\SOFT"] = 10;  // name is not consulted
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Failed to analyze the registry!\nS-1-5-21: its copy is under a quarter of the hive"}));
}

TEST_F(AnalysisFlowTest, MissingSoftwareCopyIsRejected) {
  Start();
  copySize[kSoftware] = -1;
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Failed to analyze the registry!\nSOFTWARE: the copy could not be made"}));
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
}

// No copy of any hive: nothing was measured. The run fails without figures or advice and
// leaves nothing to commit.
TEST_F(AnalysisFlowTest, NoCopyOfAnyHiveIsAFailure) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 40000}, {"\\REGISTRY\\USER\\.DEFAULT", kDefault, 20000}});
  copySize[kSystem] = -1;
  copySize[kDefault] = -1;
  main->bDefragRegistry.SetEnabled(true);
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Failed to analyze the registry!\nSYSTEM: the copy could not be made"}));
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Totals(), (std::vector<std::string>{"", "", "", ""}));
}

// The failure names the first hive that failed and the system's reason.
TEST_F(AnalysisFlowTest, AFailedCopyIsNamedWithTheSystemsReason) {
  Start();
  copySize[kSoftware] = -1;
  fake.SetSaveFailureText(kSoftware + ".hvx", "No space left on device");
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Failed to analyze the registry!\nSOFTWARE: No space left on device"}));
}

// A system whose hives cannot be replaced (a read-only disk) is analysed all
// the same; the commit is not offered, and its hint says why.
TEST_F(AnalysisFlowTest, ASystemThatCannotCommitShowsTheFiguresAndDisablesTheCommitWithItsReason) {
  Start();
  copySize[kSoftware] = 40000;
  fake.SetCommitRefusal("the installation is read-only");
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(main->bDefragRegistry.Hint(), "the installation is read-only");
  EXPECT_NE(Row(1)[1], "");
  EXPECT_TRUE(TheRunRecord().lastAnalysis && TheRunRecord().lastAnalysis->accepted);
}

TEST_F(AnalysisFlowTest, OneCopyOfSeveralIsEnoughToMeasure) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 40000}, {"\\REGISTRY\\USER\\.DEFAULT", kDefault, 20000}});
  copySize[kSystem] = -1;
  copySize[kDefault] = 10000;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(0), (std::vector<std::string>{"40 KB", "n/a", "0%"}));
}

// ------------------------------------------------------------ stopping

TEST_F(AnalysisFlowTest, StopDuringTheFirstHive) {
  Start();
  Gate& gate = GateAt("HKLM\\SYSTEM");
  std::string labelAfterStop;
  WhenMemoShows("\\REGISTRY\\MACHINE\\SYSTEM", [&](ConsoleToolkit& t, TfrmGetNewHiveProgess& d) {
    EXPECT_EQ(t.ClickByName("bStop"), ConsoleToolkit::ClickResult::Clicked);
    labelAfterStop = d.Label1.Caption();
    gate.Open();
  });
  main->bDefragRegistry.SetEnabled(true);
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(labelAfterStop, "Stop Process...");
  EXPECT_EQ(fake.Saves().size(), 1u);
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(Row(0), (std::vector<std::string>{"", "", ""}));
  EXPECT_FALSE(tk.Stalled());
}

TEST_F(AnalysisFlowTest, StopDuringTheLastHiveStillFinishes) {
  Start();
  copySize[kSoftware] = 60000;
  Gate& gate = GateAt("HKU\\S-1-5-18");
  WhenMemoShows("\\REGISTRY\\USER\\S-1-5-18", [&](ConsoleToolkit& t, TfrmGetNewHiveProgess&) {
    t.ClickByName("bStop");
    gate.Open();
  });
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(fake.Saves().size(), 3u);
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(2), (std::vector<std::string>{"20 KB", "1 KB", "95%"}));
}

TEST_F(AnalysisFlowTest, ClosedDialogCountsAsNotFinishedAndTheNextScanWaitsForItsWorker) {
  Start();
  copySize[kSystem] = 30000;
  copySize[kSoftware] = 60000;
  copySize[kDefault] = 20000;
  main->bAnalyzeRegistryClick();
  ASSERT_TRUE(main->bDefragRegistry.Enabled());
  const auto accepted = Totals();

  Gate& gate = GateAt("HKLM\\SOFTWARE");
  WhenMemoShows("\\REGISTRY\\MACHINE\\SOFTWARE", [&](ConsoleToolkit&, TfrmGetNewHiveProgess& d) {
    d.Close();
  });
  main->bAnalyzeRegistryClick();
  // Closed at once, while its worker still copies SOFTWARE.
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Totals(), accepted);
  {
    const auto entries = Log();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "end HKLM\\SOFTWARE"), 1);
  }

  // A new run while the old worker is still inside its save: its scan must
  // not start before that worker has ended.
  tk.SetIdleHandler(nullptr);
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gate.Open();
  });
  {
    std::lock_guard lock(mu);
    gateOf.clear();
  }
  main->bAnalyzeRegistryClick();
  opener.join();
  const auto entries = Log();
  const std::vector<std::string> tail(entries.end() - 8, entries.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"begin HKLM\\SOFTWARE", "end HKLM\\SOFTWARE",
                                            "begin HKLM\\SYSTEM", "end HKLM\\SYSTEM",
                                            "begin HKLM\\SOFTWARE", "end HKLM\\SOFTWARE",
                                            "begin HKU\\S-1-5-18", "end HKU\\S-1-5-18"}));
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_FALSE(tk.Stalled());
}

TEST_F(AnalysisFlowTest, StopWhileWaitingForThePreviousWorkerStartsNoScan) {
  Start();
  Gate& gate = GateAt("HKLM\\SYSTEM");
  WhenMemoShows("\\REGISTRY\\MACHINE\\SYSTEM", [&](ConsoleToolkit&, TfrmGetNewHiveProgess& d) {
    d.Close();
  });
  main->bAnalyzeRegistryClick();
  tk.SetIdleHandler(nullptr);
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    tk.PostTask([&] { EXPECT_EQ(tk.ClickByName("bStop"), ConsoleToolkit::ClickResult::Clicked); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    gate.Open();
  });
  main->bAnalyzeRegistryClick();
  user.join();
  EXPECT_TRUE(main->WaitForWorkers(20000));
  EXPECT_EQ(Log(), (std::vector<std::string>{"begin HKLM\\SYSTEM", "end HKLM\\SYSTEM"}));
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
  EXPECT_FALSE(tk.Stalled());
}

// ------------------------------------------------------------ results

TEST_F(AnalysisFlowTest, ThreeHivesFillRowsAndTotals) {
  Start();
  copySize[kSystem] = 30000;
  copySize[kSoftware] = 60000;
  copySize[kDefault] = 20000;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(0), (std::vector<std::string>{"40 KB", "30 KB", "25%"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"79 KB", "59 KB", "25%"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"20 KB", "20 KB", "0%"}));
  EXPECT_EQ(Totals(), (std::vector<std::string>{"137 KB", "108 KB", "30 KB", "21.4%"}));
  EXPECT_EQ(fake.Saves().size(), 3u);
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeBackupPrivilege"));
}

TEST_F(AnalysisFlowTest, MissingCopyIsShownAsNotCompacted) {
  Start();
  copySize[kSystem] = 30000;
  copySize[kSoftware] = 60000;
  copySize[kDefault] = -1;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
  EXPECT_EQ(Row(2), (std::vector<std::string>{"20 KB", "n/a", "0%"}));
  // DEFAULT counts 20000 bytes on both sides.
  EXPECT_EQ(Totals(), (std::vector<std::string>{"137 KB", "108 KB", "30 KB", "21.4%"}));
}

TEST_F(AnalysisFlowTest, ZeroTotalsGiveZeroFiguresAndNoAdvice) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 0}});
  copySize[kSystem] = 0;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0 KB", "0 KB", "0%"}));
  EXPECT_EQ(Totals(), (std::vector<std::string>{"0 KB", "0 KB", "0 KB", "0%"}));
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
}

TEST_F(AnalysisFlowTest, GrowthGivesZeroFiguresAndNoAdvice) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 2048}});
  copySize[kSystem] = 4096;
  main->bAnalyzeRegistryClick();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(Totals(), (std::vector<std::string>{"2 KB", "4 KB", "0 KB", "0%"}));
}

TEST_F(AnalysisFlowTest, TinyCopyOfOneHive) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 2048}});
  copySize[kSystem] = 1;
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Row(0), (std::vector<std::string>{"2 KB", "1 KB", "99%"}));
  EXPECT_EQ(Totals(), (std::vector<std::string>{"2 KB", "1 KB", "2 KB", "100.0%"}));
}

TEST_F(AnalysisFlowTest, AdviceBelowThreePercentQuotesTheRoundedText) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 100000}});
  copySize[kSystem] = 97040;  // 2.96 %
  fake.SetDecimalSeparator(',');
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(main->lCompactPercent.Caption(), "3,0%");
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "The fragment rate of your registry is only 3,0%. " + kAdvice}));
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
}

TEST_F(AnalysisFlowTest, NoAdviceAtExactlyThreePercentOrWhenSilent) {
  Start({{"\\REGISTRY\\MACHINE\\SYSTEM", kSystem, 100000}});
  copySize[kSystem] = 97000;
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(main->lCompactPercent.Caption(), "3.0%");
  EXPECT_TRUE(tk.MessageBoxLog().empty());

  copySize[kSystem] = 100000;  // equal totals: 0.0 %
  main->IsSilent = true;
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Totals(), (std::vector<std::string>{"98 KB", "98 KB", "0 KB", "0.0%"}));
  EXPECT_TRUE(tk.MessageBoxLog().empty());

  main->IsSilent = false;
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "The fragment rate of your registry is only 0.0%. " + kAdvice}));
}

TEST_F(AnalysisFlowTest, StoppedRunKeepsTheFiguresOfTheLastAcceptedOne) {
  Start();
  copySize[kSystem] = 30000;
  copySize[kSoftware] = 60000;
  copySize[kDefault] = 20000;
  main->bAnalyzeRegistryClick();
  const auto accepted = Totals();
  copySize[kSystem] = 1000;
  Gate& gate = GateAt("HKLM\\SYSTEM");
  WhenMemoShows("\\REGISTRY\\MACHINE\\SYSTEM", [&](ConsoleToolkit& t, TfrmGetNewHiveProgess&) {
    t.ClickByName("bStop");
    gate.Open();
  });
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(Totals(), accepted);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"40 KB", "30 KB", "25%"}));
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
}

TEST_F(AnalysisFlowTest, SilentRunHidesTheDialog) {
  Start();
  main->IsSilent = true;
  copySize[kSoftware] = 60000;
  bool dialogVisible = true;
  Gate& gate = GateAt("HKLM\\SYSTEM");
  WhenMemoShows("\\REGISTRY\\MACHINE\\SYSTEM", [&](ConsoleToolkit&, TfrmGetNewHiveProgess& d) {
    dialogVisible = d.Visible();
    gate.Open();
  });
  main->bAnalyzeRegistryClick();
  EXPECT_FALSE(dialogVisible);
  EXPECT_TRUE(main->bDefragRegistry.Enabled());
}

}  // namespace
}  // namespace hv
