#include "ui/console/console_toolkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "support/console_test.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;
using testing::TestDialog;
using testing::TestMainForm;

class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() : tk(hv::test::TestToolkitOptions()), main(tk) {
    tk.SetDiagnostics(&diagnostics);
    tk.ShowForm(main);
  }
  ConsoleToolkit tk;
  TestMainForm main;
  std::ostringstream diagnostics;
};

// --- Failure paths first.

TEST_F(ToolkitTest, ClicksOfUnknownHiddenDisabledOrUnclickableNamesAreRefused) {
  using R = ConsoleToolkit::ClickResult;
  EXPECT_EQ(tk.ClickByName("bNothing"), R::NotFound);
  EXPECT_EQ(tk.ClickByName("bHidden"), R::Hidden);
  EXPECT_EQ(tk.ClickByName("bDisabled"), R::Disabled);
  EXPECT_EQ(tk.ClickByName("tmMain"), R::NotClickable);
  EXPECT_EQ(tk.ClickByName("pmMenu"), R::NotClickable);
  EXPECT_EQ(tk.ClickByName("N1"), R::NotClickable);
  EXPECT_EQ(tk.ClickByName("miTwo"), R::Disabled);
  // A control inside a disabled or hidden parent is unusable too.
  main.gbGroup.SetEnabled(false);
  EXPECT_EQ(tk.ClickByName("bInner"), R::Disabled);
  main.gbGroup.SetVisible(false);
  EXPECT_EQ(tk.ClickByName("bInner"), R::Hidden);
  EXPECT_EQ(main.innerClicks, 0);
  main.gbGroup.SetVisible(true);
  main.gbGroup.SetEnabled(true);
  EXPECT_EQ(tk.ClickByName("bInner"), R::Clicked);
  EXPECT_EQ(tk.ClickByName("miOne"), R::Clicked);
  EXPECT_EQ(main.innerClicks, 1);
  EXPECT_EQ(main.menuClicks, 1);
}

TEST_F(ToolkitTest, AnEscapingExceptionBecomesAnApplicationErrorBox) {
  EXPECT_EQ(tk.ClickByName("bThrow"), ConsoleToolkit::ClickResult::Clicked);
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].text, "Unable to write to /x/options.ini");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, kMbOk);
}

TEST_F(ToolkitTest, PostingToADestroyedWindowFailsAndItsQueuedMessagesAreDropped) {
  TestDialog dialog(tk, &main);
  tk.ShowForm(dialog);
  HWND handle = dialog.Handle();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(tk.PostMessageA(handle, testing::kWmStep, 10, 1), 1);
  tk.DestroyWindow(dialog);
  EXPECT_EQ(dialog.Handle(), nullptr);
  EXPECT_EQ(tk.PostMessageA(handle, testing::kWmStep, 10, 2), 0);
  EXPECT_TRUE(tk.PumpUntilIdle(5s));
  // Only the start message of the activation was handled before the window went.
  EXPECT_EQ(dialog.pbProgress.Position(), 0);
  tk.ShowForm(dialog);
  EXPECT_NE(dialog.Handle(), handle) << "handles are never reused";
}

TEST_F(ToolkitTest, AnIdleLoopWithNothingLeftStallsAndUnwindsInsteadOfHanging) {
  main.onDialog = [](TestDialog&) {};
  EXPECT_EQ(tk.ClickByName("bOpen"), ConsoleToolkit::ClickResult::Clicked);
  EXPECT_TRUE(tk.Stalled());
  EXPECT_EQ(main.dialogResult, kMrCancel);
  EXPECT_EQ(main.dialogLog.back(), "close") << "FormClose runs for a stalled modal form too";
  EXPECT_NE(diagnostics.str().find("stalled"), std::string::npos);
}

TEST_F(ToolkitTest, SendToUiThreadReturnsFalseWhenTheDialogIsDestroyedFirst) {
  std::atomic<bool> sending{false};
  std::atomic<int> sendResult{-1};
  std::atomic<bool> memoWritten{false};
  main.onDialog = [&](TestDialog& dialog) {
    dialog.onStart = [&](TestDialog& d) {
      HWND handle = d.Handle();
      d.StartWorker([&, handle](testing::LambdaWorker&) {
        sending = true;
        sendResult = tk.SendToUiThread(handle, [&] { memoWritten = true; }) ? 1 : 0;
      });
      // The user closes the dialog while the worker waits for the UI thread.
      while (!sending) std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(20ms);
      d.Close();
    };
  };
  tk.ClickByName("bOpen");
  ASSERT_TRUE(tk.PumpUntilIdle(10s));
  EXPECT_EQ(sendResult.load(), 0);
  EXPECT_FALSE(memoWritten.load());
  EXPECT_EQ(main.dialogResult, kMrCancel);
}

TEST_F(ToolkitTest, MessageBoxesTakeQueuedAnswersElseTheirDefaultButton) {
  EXPECT_EQ(tk.MessageBoxA(&main, "t", "c", kMbOk), kMrOk);
  EXPECT_EQ(tk.MessageBoxA(&main, "t", "c", kMbYesNo), kMrYes);
  EXPECT_EQ(tk.MessageBoxA(&main, "t", "c", kMbYesNo | kMbDefButton2), kMrNo);
  tk.QueueAnswer(kMrNo);
  tk.QueueAnswer(kMrYes);
  EXPECT_EQ(tk.MessageBoxA(&main, "t", "c", kMbYesNo), kMrNo);
  // An answer the box does not offer is reported; the default is taken.
  EXPECT_EQ(tk.MessageBoxA(&main, "t", "c", kMbOk), kMrOk);
  EXPECT_NE(diagnostics.str().find("no button Yes"), std::string::npos);
  EXPECT_EQ(tk.PendingAnswers(), 0u);
  ASSERT_EQ(tk.MessageBoxLog().size(), 5u);
  EXPECT_EQ(tk.MessageBoxLog()[3].answer, kMrNo);
}

// --- Loops, messages, timers.

TEST_F(ToolkitTest, AWorkersPostsDriveAModalDialogUntilItsCloseRequest) {
  main.onDialog = [&](TestDialog& dialog) {
    dialog.onStart = [&](TestDialog& d) {
      HWND handle = d.Handle();
      d.StartWorker([&, handle](testing::LambdaWorker&) {
        for (int i = 1; i <= 3; ++i) {
          tk.SendToUiThread(handle, [&d, i] { d.mCurrent.SetCaption("hive " + std::to_string(i)); });
          tk.PostMessageA(handle, testing::kWmStep, 100, i);
        }
        tk.SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish"); });
        tk.PostMessageA(handle, kWmClose, 0, 0);
      });
    };
  };
  tk.SetIdleHandler([](ConsoleToolkit& t) {
    t.PumpUntilIdle(10s);
    return true;
  });
  tk.ClickByName("bOpen");
  EXPECT_FALSE(tk.Stalled());
  EXPECT_EQ(main.dialogResult, kMrCancel);
  EXPECT_EQ(main.dialogMemo, "Finish");
  const std::vector<std::string> expected = {"show", "activate", "start", "step 1", "step 2", "step 3", "close"};
  EXPECT_EQ(main.dialogLog, expected);
}

TEST_F(ToolkitTest, AButtonsModalResultEndsTheLoopAndFormCloseStillRuns) {
  int idleCalls = 0;
  tk.SetIdleHandler([&](ConsoleToolkit& t) {
    ++idleCalls;
    EXPECT_EQ(t.ActiveForm()->Name(), "frmDialog");
    EXPECT_EQ(t.IsWindowEnabled(t.MainForm()->Handle()), 0) << "a modal form disables its owner";
    EXPECT_EQ(t.GetLastActivePopup(t.ApplicationHandle()), t.ActiveForm()->Handle());
    return t.ClickByName("bOk") == ConsoleToolkit::ClickResult::Clicked;
  });
  tk.ClickByName("bOpen");
  EXPECT_EQ(idleCalls, 1);
  EXPECT_EQ(main.dialogResult, kMrOk);
  EXPECT_EQ(main.dialogLog.back(), "close");
  EXPECT_EQ(tk.ActiveForm(), &main);
  EXPECT_EQ(tk.IsWindowEnabled(main.Handle()), 1);
}

TEST_F(ToolkitTest, TimersFireOnTheVirtualClockOneTickAtATimeInTimeOrder) {
  std::vector<std::string> fired;
  TestDialog dialog(tk, &main);
  auto& fast = dialog.Add<Timer>("tmFast");
  fast.SetInterval(300);
  fast.OnTimer = [&] { fired.push_back("fast@" + std::to_string(tk.TickCount())); };
  dialog.tmTick.SetInterval(500);
  dialog.tmTick.OnTimer = [&] { fired.push_back("slow@" + std::to_string(tk.TickCount())); };
  // A timer of a form without a window never fires.
  tk.AdvanceClock(1000);
  EXPECT_TRUE(fired.empty());
  tk.ShowForm(dialog);
  tk.PumpUntilIdle(5s);  // the start message enables tmTick at t=1000
  tk.AdvanceClock(1000);
  const std::vector<std::string> expected = {"fast@1300", "slow@1500", "fast@1600", "fast@1900", "slow@2000"};
  EXPECT_EQ(fired, expected);
  EXPECT_EQ(tk.TickCount(), 2000);
  // Disabling stops a timer; enabling restarts its period.
  fired.clear();
  dialog.tmTick.SetEnabled(false);
  fast.SetEnabled(false);
  tk.AdvanceClock(700);
  EXPECT_TRUE(fired.empty());
  dialog.tmTick.SetEnabled(true);
  tk.AdvanceClock(499);
  EXPECT_TRUE(fired.empty());
  tk.AdvanceClock(1);
  EXPECT_EQ(fired, std::vector<std::string>{"slow@3200"});
}

TEST_F(ToolkitTest, MessagesPostedByATimerTickAreHandledBeforeTheNextTick) {
  TestDialog dialog(tk, &main);
  dialog.tmTick.SetInterval(100);
  dialog.tmTick.OnTimer = [&] {
    dialog.log.push_back("tick");
    dialog.PostMessage(testing::kWmStep, 1, 0);
  };
  tk.ShowForm(dialog);
  tk.PumpUntilIdle(5s);
  dialog.log.clear();
  tk.AdvanceClock(200);
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"tick", "step 0", "tick", "step 0"}));
  EXPECT_EQ(dialog.pbProgress.Position(), 2);
}

TEST_F(ToolkitTest, StopClickedFromTheIdleHandlerWhileTheWorkerRuns) {
  std::atomic<bool> release{false};
  main.onDialog = [&](TestDialog& dialog) {
    dialog.onStart = [&](TestDialog& d) {
      HWND handle = d.Handle();
      d.StartWorker([&, handle](testing::LambdaWorker& self) {
        while (!release) std::this_thread::sleep_for(1ms);
        if (!self.Terminated()) tk.SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish"); });
        tk.PostMessageA(handle, kWmClose, 0, 0);
      });
    };
  };
  int step = 0;
  tk.SetIdleHandler([&](ConsoleToolkit& t) {
    auto* dialog = static_cast<TestDialog*>(t.ActiveForm());
    switch (step++) {
      case 0: t.AdvanceClock(3000); break;
      case 1:
        EXPECT_EQ(dialog->pbProgress.Position(), 12);
        EXPECT_EQ(t.ClickByName("bStop"), ConsoleToolkit::ClickResult::Clicked);
        EXPECT_EQ(t.ClickByName("bStop"), ConsoleToolkit::ClickResult::Disabled);
        EXPECT_EQ(dialog->lStatus.Caption(), "Stop Process...");
        release = true;
        break;
      default: t.PumpUntilIdle(10s); break;
    }
    return true;
  });
  tk.ClickByName("bOpen");
  EXPECT_FALSE(tk.Stalled());
  EXPECT_EQ(main.dialogMemo, "Registry Key");
}

TEST_F(ToolkitTest, SystemMinimizeIsTheDefaultHandlingAndRestoreUndoesIt) {
  main.PostMessage(kWmSysCommand, kScMinimize, 0);
  tk.PumpUntilIdle(5s);
  EXPECT_EQ(tk.IsIconic(tk.ApplicationHandle()), 1);
  tk.ShowWindow(tk.ApplicationHandle(), kSwRestore);
  EXPECT_EQ(tk.IsIconic(tk.ApplicationHandle()), 0);
  tk.HideApplication();
  EXPECT_EQ(tk.IsWindowVisible(tk.ApplicationHandle()), 0);
}

TEST_F(ToolkitTest, ShowRunsFormShowOncePerShowingAndActivateOncePerWindow) {
  EXPECT_EQ(main.log, (std::vector<std::string>{"show", "activate"}));
  tk.ShowForm(main);
  EXPECT_EQ(main.log.size(), 2u);
  tk.HideForm(main);
  tk.ShowForm(main);
  EXPECT_EQ(main.log, (std::vector<std::string>{"show", "activate", "show"}));
}

TEST_F(ToolkitTest, TextWidthIsSixPixelsPerCharacterSevenInBoldWithoutAccelMarkers) {
  EXPECT_EQ(tk.TextWidth(main, "Analyze Registry"), 16 * 6);
  EXPECT_EQ(tk.TextWidth(main, "&About..."), 8 * 6);
  EXPECT_EQ(tk.TextWidth(main, "A && B"), 5 * 6);
  FontSpec bold = main.Font();
  bold.bold = true;
  main.SetFont(bold);
  EXPECT_EQ(tk.TextWidth(main, "Exit"), 4 * 7);
}

TEST_F(ToolkitTest, PopupClicksTheQueuedChoiceOrNothing) {
  tk.Popup(main.pmMenu, {5, 5});
  EXPECT_EQ(main.menuClicks, 0);
  tk.QueuePopupChoice("miTwo");  // disabled
  tk.Popup(main.pmMenu, {5, 5});
  EXPECT_EQ(main.menuClicks, 0);
  tk.QueuePopupChoice("miOne");
  tk.Popup(main.pmMenu, {5, 5});
  EXPECT_EQ(main.menuClicks, 1);
  EXPECT_EQ(tk.GetCursorPos().x, 5);
}

TEST(ToolkitLifetime, AToolkitGoingFirstReleasesBlockedWorkersAndDetachesItsForms) {
  auto tk = std::make_unique<ConsoleToolkit>(hv::test::TestToolkitOptions());
  TestMainForm main(*tk);
  tk->ShowForm(main);
  std::atomic<int> result{-1};
  ConsoleToolkit* toolkit = tk.get();
  HWND handle = main.Handle();
  std::thread worker([&result, toolkit, handle] { result = toolkit->SendToUiThread(handle, [] {}) ? 1 : 0; });
  for (int i = 0; i < 5000 && toolkit->Quiet(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_FALSE(toolkit->Quiet()) << "the worker's call is queued";
  tk.reset();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(main.Handle(), nullptr);
}

TEST(ToolkitRealClock, RunMainEndsWhenTheMainFormCloses) {
  ConsoleOptions options = hv::test::TestToolkitOptions();
  options.virtualClock = false;
  ConsoleToolkit tk(options);
  TestMainForm main(tk);
  main.tmMain.SetInterval(20);
  main.tmMain.SetEnabled(true);
  int ticks = 0;
  main.tmMain.OnTimer = [&] {
    if (++ticks == 3) main.Close();
  };
  tk.RunMain(main);
  EXPECT_EQ(ticks, 3);
  EXPECT_GE(tk.TickCount(), 60);
  EXPECT_EQ(main.Handle(), nullptr);
  EXPECT_EQ(main.log.back(), "close");
}

}  // namespace
}  // namespace hv::ui::console
