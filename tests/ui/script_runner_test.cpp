#include "ui/console/script_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;

// Runs the test main form under a script; returns the transcript.
struct ScriptRun {
  explicit ScriptRun(bool virtualClock = true, long long quietTimeoutMs = 0)
      : tk(Options(virtualClock, quietTimeoutMs)), main(tk) {
    tk.SetTranscript(&out);
    tk.SetDiagnostics(&err);
  }
  static ConsoleOptions Options(bool virtualClock, long long quietTimeoutMs) {
    ConsoleOptions options;
    options.quietTimeoutMs = quietTimeoutMs;
    options.mode = ConsoleOptions::Mode::Script;
    options.virtualClock = virtualClock;
    options.singleInstance = false;
    return options;
  }
  void Run(const std::string& script, std::function<void(ScriptRunner&)> setUp = {}) {
    auto runner = InstallScript(tk, std::make_unique<std::istringstream>(script));
    if (setUp) setUp(*runner);
    tk.RunMain(main);
  }
  // A dialog whose worker holds until `release` is set.
  void HoldingWorker(std::atomic<bool>& release) {
    main.onDialog = [this, &release](testing::TestDialog& dialog) {
      dialog.onStart = [this, &release](testing::TestDialog& d) {
        HWND handle = d.Handle();
        d.StartWorker([this, &release, &d, handle](testing::LambdaWorker&) {
          while (!release) std::this_thread::sleep_for(1ms);
          tk.SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish"); });
          tk.PostMessageA(handle, kWmClose, 0, 0);
        });
      };
    };
  }
  std::ostringstream out;
  std::ostringstream err;
  ConsoleToolkit tk;
  testing::TestMainForm main;
};

TEST(ScriptRunner, RefusesUnknownHiddenDisabledNamesAndBadCommandsAndGoesOn) {
  ScriptRun run;
  run.Run(
      "click bNothing\n"
      "click bHidden\n"
      "\n"
      "# a comment\n"
      "click bDisabled\n"
      "answer Maybe\n"
      "jump\n"
      "sleep soon\n"
      "click bInner\n");
  EXPECT_EQ(run.err.str(),
            "script: line 1: click bNothing: no such control on frmTest\n"
            "script: line 2: click bHidden: hidden on frmTest\n"
            "script: line 5: click bDisabled: disabled on frmTest\n"
            "script: line 6: answer: unknown button \"Maybe\"\n"
            "script: line 7: unknown command \"jump\"\n"
            "script: line 8: sleep: not a number of milliseconds \"soon\"\n");
  EXPECT_EQ(run.main.innerClicks, 1);
}

TEST(ScriptRunner, AtTheEndTheMainFormIsClosedAsByExit) {
  ScriptRun run;
  run.Run("");
  EXPECT_EQ(run.main.log, (std::vector<std::string>{"show", "activate", "close"}));
  EXPECT_EQ(run.main.Handle(), nullptr);
  EXPECT_FALSE(run.tk.Stalled());
}

TEST(ScriptRunner, LinesAfterAClickRunInsideTheModalLoopItOpened) {
  ScriptRun run;
  run.main.onDialog = [&](testing::TestDialog& dialog) {
    dialog.onStart = [&](testing::TestDialog& d) {
      HWND handle = d.Handle();
      d.StartWorker([&run, &d, handle](testing::LambdaWorker&) {
        std::this_thread::sleep_for(30ms);
        run.tk.SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish\r\nnow"); });
        run.tk.PostMessageA(handle, testing::kWmStep, 500, 1);
      });
    };
  };
  run.Run(
      "click bOpen\n"
      "sleep 2000\n"
      "wait\n"
      "dump\n"
      "answer No\n"
      "click bOk\n"
      "dump\n");
  const std::string expected =
      "FORM frmDialog \"Working\"\n"
      "lStatus \"Please wait.\"\n"
      "pbProgress \"50%\"\n"
      "mCurrent \"Finish\\r\\nnow\"\n"
      "bOk \"OK\"\n"
      "bStop \"Stop\"\n"
      "tmTick \"\"\n";
  EXPECT_EQ(run.out.str().substr(0, expected.size()), expected);
  EXPECT_EQ(run.main.dialogResult, kMrOk);
  EXPECT_EQ(run.main.dialogLog.back(), "close");
  // The second dump ran in the main form's loop again.
  EXPECT_NE(run.out.str().find("FORM frmTest"), std::string::npos);
  EXPECT_EQ(run.err.str(), "");
  EXPECT_EQ(run.tk.PendingAnswers(), 1u);
}

TEST(ScriptRunner, TimerTicksOfSleepMoveTheBar) {
  ScriptRun run;
  run.Run(
      "click bOpen\n"
      "sleep 3000\n"
      "dump\n"
      "close\n");
  EXPECT_NE(run.out.str().find("pbProgress \"1%\"\n"), std::string::npos) << run.out.str();
  EXPECT_EQ(run.main.dialogResult, kMrCancel);
}

TEST(ScriptRunner, MessageBoxesArePrintedAndAnsweredAsQueued) {
  ScriptRun run;
  run.main.bInner.OnClick = [&] {
    const int answer = run.tk.MessageBoxA(&run.main, "Restart \"now\"?", "Talvix Hivora", kMbYesNo);
    run.main.bInner.SetCaption(answer == kMrNo ? "no" : "yes");
  };
  run.Run(
      "answer no\n"
      "click bInner\n"
      "click bThrow\n");
  EXPECT_EQ(run.out.str(),
            "MESSAGE \"Talvix Hivora\" \"Restart \\\"now\\\"?\"\n"
            "MESSAGE \"Talvix Hivora\" \"Unable to write to /x/options.ini\"\n");
  EXPECT_EQ(run.main.bInner.Caption(), "no");
}

TEST(ScriptRunner, AnActivationRequestIsPrintedWhenDelivered) {
  ScriptRun run;
  run.main.bInner.OnClick = [&] { run.tk.PostMessageA(run.main.Handle(), kWmActivateInstance, 0, 0); };
  run.Run("click bInner\nwait\n");
  EXPECT_EQ(run.out.str(), "ACTIVATED\n");
  EXPECT_EQ(run.main.messages.front(), kWmActivateInstance);
}

TEST(ScriptRunner, TheEndOfTheScriptWaitsForWorkersThenClosesFormsInnermostFirst) {
  ScriptRun run(false);
  run.main.onDialog = [&](testing::TestDialog& dialog) {
    dialog.onStart = [&](testing::TestDialog& d) {
      HWND handle = d.Handle();
      d.StartWorker([&run, &d, handle](testing::LambdaWorker&) {
        std::this_thread::sleep_for(50ms);
        run.tk.SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish"); });
      });
    };
  };
  run.Run("click bOpen\n");
  EXPECT_EQ(run.main.dialogMemo, "Finish");
  EXPECT_EQ(run.main.dialogResult, kMrCancel);
  EXPECT_EQ(run.main.log.back(), "close");
}

TEST(ScriptRunner, AWaitThatOutlastsTheQuietTimeoutStallsTheRunInsteadOfHanging) {
  std::atomic<bool> release{false};
  std::shared_ptr<testing::LambdaWorker> worker;
  {
    ScriptRun run(true, 100);
    run.HoldingWorker(release);
    run.main.onDialog = [&, inner = run.main.onDialog](testing::TestDialog& dialog) {
      inner(dialog);
      dialog.onStart = [&, start = dialog.onStart](testing::TestDialog& d) {
        start(d);
        worker = d.worker;
      };
    };
    run.Run("click bOpen\nwait\n");
    EXPECT_TRUE(run.tk.Stalled());
    EXPECT_NE(run.err.str().find("waited 100 ms"), std::string::npos);
    EXPECT_EQ(run.main.dialogResult, kMrCancel);
    EXPECT_EQ(run.main.dialogMemo, "Registry Key");
    release = true;
    ASSERT_TRUE(worker->WaitFor(5s));
  }
}

TEST(ScriptRunner, ATestsOwnCommandRunsAtItsPlaceInTheScript) {
  std::atomic<bool> release{false};
  ScriptRun run(true, 10000);
  run.HoldingWorker(release);
  std::string seen;
  run.Run("click bOpen\nsleep 1000\nrelease now\nwait\n", [&](ScriptRunner& runner) {
    runner.AddCommand("release", [&](ConsoleToolkit& tk, std::string_view argument) {
      seen = std::string(argument) + " in " + tk.ActiveForm()->Name();
      release = true;
    });
  });
  EXPECT_FALSE(run.tk.Stalled());
  EXPECT_EQ(seen, "now in frmDialog");
  EXPECT_EQ(run.main.dialogMemo, "Finish");
  EXPECT_EQ(run.err.str(), "");
}

}  // namespace
}  // namespace hv::ui::console
