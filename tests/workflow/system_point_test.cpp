// The restore point dialog and its worker.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "app_fixture.h"
#include "workflow/system_point.h"

namespace hv::test {
namespace {

using namespace std::chrono_literals;
constexpr UINT kFailureFlags = ui::kMbYesNo | ui::kMbIconInformation | ui::kMbDefButton2;

class SystemPointTest : public AppTest {
 protected:
  SystemPointTest() : owner(tk, "frmOwner", nullptr) { tk.ShowForm(owner); }
  ~SystemPointTest() override {
    // A blocked call must not outlive the platform.
    fake.ReleaseRestorePoint(false);
    for (const auto& worker : workers) worker->WaitFor(10s);
  }

  // Shows the dialog modally; the worker it starts is kept for the test.
  int RunDialog() {
    TfrmSystemPoint dialog(tk, &owner,
                           [this](std::shared_ptr<WorkerThread> w) { workers.push_back(std::move(w)); });
    bar = &dialog.ProgressBar1;
    const int result = dialog.ShowModal();
    bar = nullptr;
    EXPECT_EQ(workers.size(), 1u);
    EXPECT_FALSE(tk.Stalled());
    return result;
  }
  void WaitForWorker() {
    ASSERT_FALSE(workers.empty());
    ASSERT_TRUE(workers.back()->WaitFor(10s));
    tk.PumpUntilIdle();
  }

  ui::Form owner;
  std::vector<std::shared_ptr<WorkerThread>> workers;
  ui::ProgressBar* bar = nullptr;
};

// --- Failures first.

TEST_F(SystemPointTest, FailureAnsweredNoStopsTheCommit) {
  fake.SetRestore(FakePlatform::Restore::kFails);
  tk.QueueAnswer(ui::kMrNo);
  EXPECT_EQ(RunDialog(), ui::kMrCancel);
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, BuiltinText(kTextRestorePointFailed));
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, kFailureFlags);
}

TEST_F(SystemPointTest, FailureAnsweredWithTheDefaultButtonStopsTheCommit) {
  fake.SetRestore(FakePlatform::Restore::kFails);
  EXPECT_EQ(RunDialog(), ui::kMrCancel);
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].answer, ui::kMrNo);
}

TEST_F(SystemPointTest, FailureAnsweredYesGoesOn) {
  fake.SetRestore(FakePlatform::Restore::kFails);
  tk.QueueAnswer(ui::kMrYes);
  EXPECT_EQ(RunDialog(), ui::kMrOk);
  EXPECT_EQ(tk.MessageBoxLog().size(), 1u);
}

TEST_F(SystemPointTest, MissingLibraryOrEntryPointIsAFailureAndUnloadsTheLibrary) {
  for (auto mode : {FakePlatform::Restore::kAbsent, FakePlatform::Restore::kNoEntryPoint}) {
    fake.SetRestore(mode);
    tk.QueueAnswer(ui::kMrNo);
    EXPECT_EQ(RunDialog(), ui::kMrCancel);
    WaitForWorker();
    EXPECT_EQ(fake.SrClientLoadedCount(), 0);
    EXPECT_TRUE(fake.RestorePointCalls().empty());
    workers.clear();
  }
  EXPECT_EQ(tk.MessageBoxLog().size(), 2u);
}

TEST_F(SystemPointTest, ClosedBeforeTheResultCancelsAndDropsTheLateResult) {
  fake.SetRestore(FakePlatform::Restore::kBlocks);
  ThenClose("frmSystemPoint");
  EXPECT_EQ(RunDialog(), ui::kMrCancel);
  ASSERT_EQ(workers.size(), 1u);
  EXPECT_FALSE(workers[0]->Finished());  // left to end by itself
  EXPECT_TRUE(workers[0]->Terminated());

  fake.ReleaseRestorePoint(false);  // a late failure: no question any more
  WaitForWorker();
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(fake.SrClientLoadedCount(), 0);
}

// --- Success.

TEST_F(SystemPointTest, QuickSuccessClosesWithOkWithoutAMessage) {
  EXPECT_EQ(RunDialog(), ui::kMrOk);
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  WaitForWorker();
  EXPECT_EQ(fake.SrClientLoadedCount(), 0);

  ASSERT_EQ(fake.RestorePointCalls().size(), 1u);
  const RestorePointInfoA info = fake.RestorePointCalls()[0];
  EXPECT_EQ(info.dwEventType, 100u);
  EXPECT_EQ(info.dwRestorePtType, 0u);
  const std::int64_t sequence = info.llSequenceNumber;  // the record is packed
  EXPECT_EQ(sequence, 0);
  const char* description = "Made by Talvix Hivora";
  EXPECT_EQ(std::memcmp(info.szDescription, description, std::strlen(description)), 0);
  for (std::size_t i = std::strlen(description); i < sizeof info.szDescription; ++i) {
    EXPECT_EQ(info.szDescription[i], '\0') << "byte " << i;
  }
}

TEST_F(SystemPointTest, SlowServiceBarReachesHundredAtTheThirtyEighthTickAndStays) {
  fake.SetRestore(FakePlatform::Restore::kBlocks);
  std::vector<int> positions;
  for (int tick = 0; tick < 45; ++tick) {
    Then([&] {
      tk.AdvanceClock(1000);
      positions.push_back(bar->Position());
    });
  }
  Then([&] { fake.ReleaseRestorePoint(true); });
  EXPECT_EQ(RunDialog(), ui::kMrOk);

  ASSERT_EQ(positions.size(), 45u);
  const std::vector<int> first{10, 20, 30, 40, 45, 50, 55, 58, 61, 63};
  EXPECT_EQ(std::vector<int>(positions.begin(), positions.begin() + 10), first);
  EXPECT_EQ(positions[18], 81);
  EXPECT_EQ(positions[36], 99);
  for (std::size_t i = 37; i < positions.size(); ++i) EXPECT_EQ(positions[i], 100) << "tick " << i + 1;
  EXPECT_TRUE(tk.MessageBoxLog().empty());
}

}  // namespace
}  // namespace hv::test
