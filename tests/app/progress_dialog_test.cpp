#include "hive/progress_dialog.h"

#include <gtest/gtest.h>

#include "settings/options.h"
#include "shell/main_form.h"
#include "shell/startup.h"
#include "stub_toolkit.h"
#include "support/settings_test.h"

namespace hv {
namespace {

constexpr std::int64_t kMB = 1000000;

// Drives the dialog's handlers one by one: reports and timer ticks, with
// the hive files and copies measured from the fake platform.
class ProgressTest : public test::SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    OptionsSetting.Lan = "English";
    fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  }

  void Hives(const std::vector<std::int64_t>& sizes) {
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string file = "C:\\config\\H" + std::to_string(i);
      fake.CreateFileOfSize(file, 1);
      fake.SetReportedSize(file, static_cast<std::uint64_t>(sizes[i]));
      main.HiveNames.push_back("\\REGISTRY\\MACHINE\\H" + std::to_string(i));
      main.HiveFiles.push_back(file);
      dialog.TotalSize += sizes[i];
    }
    dialog.FormShow();
    dialog.Timer1.SetEnabled(true);
  }
  void Copy(int hive, std::int64_t size) {
    const std::string file = main.HiveFiles[static_cast<std::size_t>(hive)] + ".hvx";
    fake.CreateFileOfSize(file, 1);
    fake.SetReportedSize(file, static_cast<std::uint64_t>(size));
  }
  int Position() const { return dialog.ProgressBar1.Position(); }
  void Tick() { dialog.Timer1.OnTimer(); }

  test::StubToolkit tk;
  TfrmMain main{tk, kInstanceName};
  TfrmGetNewHiveProgess dialog{main, main, main};
};

TEST(StepRule, RawStepsAndBounds) {
  // raw = copy * 10^6 / (ms * total); total 10^6 and ms 1000 make raw = copy / 1000.
  auto step = [](std::int64_t raw, bool wow64) {
    return TfrmGetNewHiveProgess::DeriveStep(raw * 1000, 1000, 1000000, wow64);
  };
  EXPECT_EQ(step(0, false), 10);
  EXPECT_EQ(step(9, false), 19);
  EXPECT_EQ(step(10, false), 10);
  EXPECT_EQ(step(29, false), 48);
  EXPECT_EQ(step(30, false), 30);
  EXPECT_EQ(step(50, false), 50);
  EXPECT_EQ(step(51, false), 50);
  EXPECT_EQ(step(10, true), 2);
  EXPECT_EQ(step(50, true), 22);
  EXPECT_EQ(step(0, true), 2);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 4000, 100 * kMB, false), 15);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 4000, 100 * kMB, true), 4);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 0, 100 * kMB, false), 40);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 0, 100 * kMB, true), 17);
}

TEST(StepRule, NoUsableMeasureGivesTheFixedStep) {
  // A clock that went backwards, and a total of zero or less.
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, -5, 100 * kMB, false), 40);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 4000, 0, false), 40);
  EXPECT_EQ(TfrmGetNewHiveProgess::DeriveStep(2 * kMB, 4000, -1, true), 17);
}

TEST_F(ProgressTest, ZeroTotalKeepsTheBarStill) {
  Hives({0, 0});
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_EQ(Position(), 0);
  dialog.WMHiveDone(0, 1);
  Tick();
  dialog.WMHiveDone(0, 2);
  EXPECT_EQ(Position(), 0);
  EXPECT_EQ(dialog.ProgressBar1.PercentText(), "0%");
}

TEST_F(ProgressTest, FirstHiveCreepsByFourWithoutLimit) {
  Hives({25 * kMB, 25 * kMB});
  Tick();
  EXPECT_EQ(Position(), 4);
  Tick();
  EXPECT_EQ(Position(), 8);
  for (int i = 0; i < 248; ++i) Tick();
  EXPECT_EQ(Position(), 1000);
  EXPECT_FALSE(dialog.Timer1.Enabled());
}

TEST_F(ProgressTest, FirstCopyVisibleTakesOver) {
  Hives({25 * kMB, 25 * kMB});
  Tick();
  Tick();
  Copy(0, 5 * kMB);
  Tick();
  EXPECT_EQ(Position(), 100);
}

TEST_F(ProgressTest, CreepStopsAStepShortOfTheNextTarget) {
  // 25 MB, 25 MB and 50 MB; a first copy of 500,000 bytes in 1000 ms gives
  // the raw step 5, so Step 15.
  Hives({25 * kMB, 25 * kMB, 50 * kMB});
  Copy(0, 500000);
  dialog.WMHiveDone(1000, 1);
  EXPECT_EQ(dialog.Step, 15);
  EXPECT_EQ(Position(), 250);
  EXPECT_EQ(dialog.ProgressBar1.PercentText(), "25%");
  EXPECT_EQ(dialog.NextTarget, 500);
  std::vector<int> seen;
  for (int i = 0; i < 20; ++i) {
    Tick();
    seen.push_back(Position());
  }
  EXPECT_EQ(seen.front(), 265);
  EXPECT_EQ(seen[1], 280);
  EXPECT_EQ(seen[15], 490);
  EXPECT_EQ(seen.back(), 490);
  EXPECT_EQ(dialog.ProgressBar1.PercentText(), "49%");
  Copy(1, 10 * kMB);
  Tick();
  EXPECT_EQ(Position(), 350);
  dialog.WMHiveDone(1000, 2);
  EXPECT_EQ(Position(), 500);
  EXPECT_EQ(dialog.NextTarget, 1000);
  EXPECT_EQ(dialog.Step, 15);  // derived once
}

TEST_F(ProgressTest, LastReportFillsTheBarAndLaterOnesAreIgnored) {
  Hives({25 * kMB, 25 * kMB});
  dialog.WMHiveDone(0, 1);
  EXPECT_EQ(dialog.Step, 40);
  EXPECT_EQ(Position(), 500);
  EXPECT_EQ(dialog.NextTarget, 1000);
  dialog.WMHiveDone(0, 2);
  EXPECT_EQ(Position(), 1000);
  EXPECT_EQ(dialog.ProgressBar1.PercentText(), "100%");
  EXPECT_EQ(dialog.NextTarget, 1000);  // no next hive
  dialog.WMHiveDone(0, 3);
  EXPECT_EQ(dialog.DoneSize, 50 * kMB);
  EXPECT_EQ(dialog.HivesDone, 2);
  Tick();  // all counted: nothing moves
  EXPECT_EQ(Position(), 1000);
}

TEST_F(ProgressTest, Wow64StepUnderTheSameMeasure) {
  main.IsWow64Flag = true;
  Hives({25 * kMB, 75 * kMB});
  Copy(0, 2 * kMB);
  dialog.WMHiveDone(4000, 1);  // raw 5 -> 15 -> 4
  EXPECT_EQ(dialog.Step, 4);
  EXPECT_EQ(dialog.NextTarget, 1000);
  Tick();
  EXPECT_EQ(Position(), 254);
}

TEST_F(ProgressTest, StopFreezesTheBarButReportsStillMoveIt) {
  Hives({25 * kMB, 25 * kMB});
  Tick();
  dialog.bStopClick();
  EXPECT_TRUE(dialog.StopPressed);
  EXPECT_EQ(dialog.Label1.Caption(), "Stop Process...");
  EXPECT_FALSE(dialog.Timer1.Enabled());
  EXPECT_FALSE(dialog.bStop.Enabled());
  dialog.WMHiveDone(0, 1);
  EXPECT_EQ(Position(), 500);
}

TEST_F(ProgressTest, ShowingResetsTheState) {
  Hives({25 * kMB});
  dialog.WMHiveDone(0, 1);
  dialog.FormShow();
  EXPECT_EQ(Position(), 0);
  EXPECT_EQ(dialog.HivesDone, 0);
  EXPECT_EQ(dialog.DoneSize, 0);
  EXPECT_EQ(dialog.Step, 4);
  EXPECT_EQ(dialog.NextTarget, 0);
}

}  // namespace
}  // namespace hv
