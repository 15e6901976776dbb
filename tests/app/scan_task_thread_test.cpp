#include "hive/scan_task_thread.h"

#include <gtest/gtest.h>

#include <mutex>

#include "stub_toolkit.h"
#include "support/fake_fixture.h"
#include "support/machine.h"
#include "ui/form.h"
#include "ui/messages.h"

namespace hv {
namespace {

// Records, in order, what the worker sends: memo texts and posted messages.
class RecordingToolkit : public test::StubToolkit {
 public:
  BOOL PostMessageA(HWND, UINT msg, ui::WPARAM w, ui::LPARAM l) override {
    std::lock_guard lock(mu);
    if (windowGone) return 0;
    log.push_back(msg == ui::kWmClose ? "close"
                                      : "done " + std::to_string(w) + " " + std::to_string(l));
    return 1;
  }
  bool SendToUiThread(HWND, std::function<void()> fn) override {
    std::lock_guard lock(mu);
    if (windowGone) return false;
    fn();
    log.push_back("memo " + memo->Caption());
    return true;
  }
  std::mutex mu;
  bool windowGone = false;
  ui::Memo* memo = nullptr;
  std::vector<std::string> log;
};

class ScanThreadTest : public test::FakePlatformTest {
 protected:
  void SetUp() override {
    test::AddMachine(fake, test::ThreeHives());
    tk.memo = &memo;
  }
  std::shared_ptr<TScanTaskThread> Thread(int hives = 3) {
    auto thread = std::make_shared<TScanTaskThread>(tk);
    thread->NotifyWindow = reinterpret_cast<HWND>(std::uintptr_t{0x55});
    thread->StatusMemo = &memo;
    for (int i = 0; i < hives; ++i) {
      const auto hive = test::ThreeHives()[static_cast<std::size_t>(i)];
      thread->Hives.push_back({hive.name, hive.file});
    }
    return thread;
  }
  void Run(const std::shared_ptr<TScanTaskThread>& thread) {
    thread->Start();
    ASSERT_TRUE(thread->WaitFor(std::chrono::seconds(20)));
  }

  RecordingToolkit tk;
  ui::Form form{tk, "frmGetNewHiveProgess", nullptr};
  ui::Memo& memo = form.Add<ui::Memo>("Memo1");
};

TEST_F(ScanThreadTest, FailedSaveIsStillReported) {
  fake.SetSaveHook([](const std::string& key, const std::string&) {
    return key == "HKLM\\SOFTWARE" ? static_cast<LSTATUS>(err::kCantWrite) : 0;
  });
  auto thread = Thread();
  Run(thread);
  EXPECT_EQ(tk.log.size(), 8u);
  EXPECT_EQ(tk.log[3], "done 0 2");
  EXPECT_EQ(tk.log.back(), "close");
}

TEST_F(ScanThreadTest, StopDuringTheSecondHiveFinishesThatHiveOnly) {
  auto thread = Thread();
  fake.SetSaveHook([&](const std::string& key, const std::string& target) {
    if (key == "HKLM\\SOFTWARE") thread->Terminate();
    fake.CreateFileOfSize(target, 100);
    return 0;
  });
  Run(thread);
  EXPECT_EQ(tk.log, (std::vector<std::string>{"memo \\REGISTRY\\MACHINE\\SYSTEM", "done 0 1",
                                              "memo \\REGISTRY\\MACHINE\\SOFTWARE", "done 0 2",
                                              "close"}));
  EXPECT_EQ(memo.Caption(), "\\REGISTRY\\MACHINE\\SOFTWARE");
  EXPECT_EQ(fake.Saves().size(), 2u);
}

// Where the platform answers Stop inside a hive, the copy under way is given
// up: that hive is neither done nor counted and the run ends as a stopped one.
TEST_F(ScanThreadTest, StopAnsweredInsideAHiveEndsTheRunWithoutThatHive) {
  auto thread = Thread();
  fake.SetSaveHook([&](const std::string& key, const std::string&) {
    if (key != "HKLM\\SOFTWARE") return static_cast<LSTATUS>(0);
    thread->Terminate();
    return static_cast<LSTATUS>(err::kCancelled);
  });
  Run(thread);
  EXPECT_EQ(tk.log, (std::vector<std::string>{"memo \\REGISTRY\\MACHINE\\SYSTEM", "done 0 1",
                                              "memo \\REGISTRY\\MACHINE\\SOFTWARE", "close"}));
}

TEST_F(ScanThreadTest, StopDuringTheLastHiveStillFinishes) {
  auto thread = Thread();
  fake.SetSaveHook([&](const std::string& key, const std::string&) {
    if (key == "HKU\\S-1-5-18") thread->Terminate();
    return 0;
  });
  Run(thread);
  EXPECT_EQ(tk.log.size(), 8u);
  EXPECT_EQ(tk.log[6], "memo Finish");
  EXPECT_EQ(memo.Caption(), "Finish");
}

TEST_F(ScanThreadTest, WindowGoneDropsEverythingLate) {
  auto thread = Thread();
  fake.SetSaveHook([&](const std::string&, const std::string&) {
    std::lock_guard lock(tk.mu);
    tk.windowGone = true;
    return 0;
  });
  Run(thread);
  EXPECT_EQ(tk.log, (std::vector<std::string>{"memo \\REGISTRY\\MACHINE\\SYSTEM"}));
  EXPECT_EQ(memo.Caption(), "\\REGISTRY\\MACHINE\\SYSTEM");
}

TEST_F(ScanThreadTest, EmptyTableFinishesAtOnce) {
  auto thread = Thread(0);
  Run(thread);
  EXPECT_EQ(tk.log, (std::vector<std::string>{"memo Finish", "close"}));
  EXPECT_TRUE(fake.IsPrivilegeEnabled("SeBackupPrivilege"));
}

TEST_F(ScanThreadTest, ThreeHivesTimedOnTheFirst) {
  fake.SetLocalTime({.wYear = 2024, .wMonth = 12, .wDay = 31,
                     .wHour = 23, .wMinute = 59, .wSecond = 59, .wMilliseconds = 900});
  fake.SetSaveHook([&](const std::string& key, const std::string& target) {
    if (key == "HKLM\\SYSTEM") {
      // Across midnight and the year: 1250 ms later.
      fake.SetLocalTime({.wYear = 2025, .wMonth = 1, .wDay = 1, .wSecond = 1, .wMilliseconds = 150});
    }
    fake.CreateFileOfSize(target, 10);
    return 0;
  });
  auto thread = Thread();
  Run(thread);
  EXPECT_EQ(tk.log,
            (std::vector<std::string>{
                "memo \\REGISTRY\\MACHINE\\SYSTEM", "done 1250 1",
                "memo \\REGISTRY\\MACHINE\\SOFTWARE", "done 1250 2",
                "memo \\REGISTRY\\USER\\S-1-5-18", "done 1250 3", "memo Finish", "close"}));
  for (const auto& hive : test::ThreeHives()) EXPECT_TRUE(fake.Exists(hive.file + ".hvx"));
}

TEST(ElapsedMilliseconds, SameInstantIsZero) {
  const SystemTime a{.wYear = 2024, .wMonth = 3, .wDay = 1};
  EXPECT_EQ(TScanTaskThread::ElapsedMilliseconds(a, a), 0);
  const SystemTime b{.wYear = 2024, .wMonth = 2, .wDay = 29};  // leap day, one day earlier
  EXPECT_EQ(TScanTaskThread::ElapsedMilliseconds(b, a), 86400000);
}

}  // namespace
}  // namespace hv
