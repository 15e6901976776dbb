#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

#include "hive/scan_task_thread.h"
#include "settings/options.h"
#include "shell/startup.h"
#include "stub_toolkit.h"
#include "support/machine.h"
#include "support/settings_test.h"

namespace hv {
namespace {

using test::StubToolkit;

class MainFormTest : public test::SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    test::AddMachine(fake, test::ThreeHives());
  }

  const StubToolkit::Posted* PostedTo(const TfrmMain& form, UINT msg) const {
    for (const auto& p : tk.posted) {
      if (p.window == form.Handle() && p.msg == msg) return &p;
    }
    return nullptr;
  }

  StubToolkit tk;
};

// ------------------------------------------------------------ closing

TEST_F(MainFormTest, FailedSettingsSaveIsReportedAndTheWindowClosesAnyway) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM.hvx", 10);
  fake.SetUnwritable(fake.ProgramFolder() + "options.ini");
  form.Close();
  ASSERT_EQ(tk.errors.size(), 1u);
  EXPECT_EQ(tk.errors[0], "Unable to write to " + fake.ProgramFolder() + "options.ini");
  EXPECT_TRUE(form.Closed());
  EXPECT_TRUE(form.Hives.empty());
  EXPECT_FALSE(fake.Exists("C:\\Windows\\System32\\config\\SYSTEM.hvx"));
}

TEST_F(MainFormTest, CloseDeletesExistingCopiesOnlyAndSavesTheSettings) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM.hvx", 10);
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\DEFAULT.hvx", 10);
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM.bak", 10);
  fake.SetHeldOpen("C:\\Windows\\System32\\config\\DEFAULT.hvx");  // cannot be deleted
  OptionsSetting.Lan = "German";
  form.Close();
  EXPECT_FALSE(fake.Exists("C:\\Windows\\System32\\config\\SYSTEM.hvx"));
  EXPECT_TRUE(fake.Exists("C:\\Windows\\System32\\config\\DEFAULT.hvx"));
  EXPECT_TRUE(fake.Exists("C:\\Windows\\System32\\config\\SYSTEM.bak"));
  EXPECT_TRUE(fake.Exists("C:\\Windows\\System32\\config\\SOFTWARE"));
  EXPECT_TRUE(tk.errors.empty());
  const std::string ini = fake.ReadContent(fake.ProgramFolder() + "options.ini");
  EXPECT_EQ(ini,
            "[Options]\r\nRestorePoint=0\r\nIsAskBeforeDefrag=1\r\nIsShowLine=1\r\nLan=German\r\n");
}

// ------------------------------------------------------------ first showing

TEST_F(MainFormTest, UnsupportedReleaseStopsAfterTheRows) {
  fake.SetVersion(2, 10, 0);
  fake.SetCommandLine("hivora.exe /Scan r.ini");
  OptionsSetting.Lan = "German";
  TfrmMain form(tk, kInstanceName);
  form.Show();
  ASSERT_EQ(tk.boxes.size(), 1u);
  EXPECT_EQ(tk.boxes[0].text, "The software does not support the current Windows system!");
  EXPECT_EQ(tk.boxes[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.boxes[0].flags, ui::kMbOk);
  EXPECT_EQ(form.lvMain.Rows().size(), 3u);
  EXPECT_FALSE(form.IsSilent);
  EXPECT_EQ(PostedTo(form, ui::kWmScanReport), nullptr);
  EXPECT_FALSE(form.lvMain.GridLines());
  EXPECT_EQ(form.bAnalyzeRegistry.Width(), 100);  // not fitted
}

TEST_F(MainFormTest, FirstShowingBuildsRowsAndFitsButtons) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  ASSERT_EQ(form.lvMain.Rows().size(), 3u);
  EXPECT_EQ(form.lvMain.Rows()[1].caption, "\\REGISTRY\\MACHINE\\SOFTWARE");
  EXPECT_EQ(form.lvMain.Rows()[1].subItems, (std::vector<std::string>{"", "", ""}));
  // Each row's tip names the hive whole and its file.
  EXPECT_EQ(form.lvMain.Rows()[1].tip,
            "\\REGISTRY\\MACHINE\\SOFTWARE\r\nC:\\Windows\\System32\\config\\SOFTWARE");
  EXPECT_TRUE(form.lvMain.GridLines());
  EXPECT_TRUE(tk.boxes.empty());
  EXPECT_FALSE(form.IsSilent);
  EXPECT_TRUE(tk.posted.empty());
  // Every flat button, the hidden one too: caption width + 17.
  EXPECT_EQ(form.bAnalyzeRegistry.Width(), 6 * 16 + 17);
  EXPECT_EQ(form.bHomepage.Width(), 6 * 8 + 17);
  EXPECT_EQ(form.bExit.Width(), 6 * 4 + 17);
  EXPECT_TRUE(form.pmLanguage.Items()[6]->Checked());  // miEnglish
  // Showing again adds nothing.
  form.Hide();
  form.Show();
  EXPECT_EQ(form.lvMain.Rows().size(), 3u);
}

TEST_F(MainFormTest, SwitchesPostTheirMessages) {
  struct Case {
    const char* line;
    UINT msg;
  };
  for (const Case& c : {Case{"hivora.exe /silent", ui::kWmSilentDefrag},
                        Case{"hivora.exe /SCAN x.ini", ui::kWmScanReport},
                        Case{"hivora.exe /Scanx", 0}, Case{"hivora.exe a /Scan", 0}}) {
    tk.posted.clear();
    fake.SetCommandLine(c.line);
    TfrmMain form(tk, kInstanceName);
    form.Show();
    EXPECT_EQ(form.IsSilent, c.msg != 0) << c.line;
    if (c.msg == 0) {
      EXPECT_TRUE(tk.posted.empty()) << c.line;
    } else {
      ASSERT_EQ(tk.posted.size(), 1u) << c.line;
      EXPECT_EQ(tk.posted[0].msg, c.msg);
      EXPECT_EQ(tk.posted[0].window, form.Handle());
      EXPECT_EQ(tk.posted[0].wParam, 0u);
      EXPECT_EQ(tk.posted[0].lParam, 0);
    }
  }
}

// ------------------------------------------------------------ creation

TEST_F(MainFormTest, CreationSetsTitleTotalsAndClosesTheHelpGroupGap) {
  TfrmMain form(tk, kInstanceName);
  EXPECT_EQ(form.lTitle.Caption(), "Talvix Hivora 2.3");
  for (const ui::Control* total : {&form.lCurrentRegistrySize, &form.lNewRegistrySize,
                                   &form.lSizeReduction, &form.lCompactPercent}) {
    EXPECT_EQ(total->Caption(), "");
  }
  EXPECT_FALSE(form.bHomepage.Visible());
  EXPECT_EQ(form.bLanguage.Top(), 221);
  EXPECT_EQ(form.bAbout.Top(), 252);
  EXPECT_EQ(form.bExit.Top(), 283);
  EXPECT_FALSE(form.bDefragRegistry.Enabled());
  EXPECT_FALSE(form.IsSilent);
  // The settings were loaded first.
  EXPECT_EQ(OptionsSetting.Lan, "English");
}

TEST_F(MainFormTest, BoldHeadingsAreMeasuredInTheirOwnFont) {
  TfrmMain form(tk, kInstanceName);
  EXPECT_EQ(form.lTitle1.Width(), 7 * 4);  // "Main", bold
  EXPECT_EQ(form.Label6.Width(), 6 * 10);  // "Step Hint:", plain
  form.lTitle1.SetCaption("Hauptmen\xFC");
  form.AutoSizeLabels();
  EXPECT_EQ(form.lTitle1.Width(), 7 * 9);
}

TEST_F(MainFormTest, ListColumnsFitBesideAVerticalScrollBar) {
  TfrmMain form(tk, kInstanceName);
  int total = 0;
  for (const auto& column : form.lvMain.Columns()) total += column.width;
  // A 2-pixel sunken edge on each side, a 17-pixel scroll bar.
  EXPECT_EQ(total + 2 * 2 + 17, form.lvMain.Width());
  EXPECT_EQ(form.lvMain.Columns()[1].width, 72);
  EXPECT_EQ(form.lvMain.Columns()[2].width, 70);
  EXPECT_EQ(form.lvMain.Columns()[3].width, 65);
}

// ------------------------------------------------------------ chrome

TEST_F(MainFormTest, DragPointEdges) {
  TfrmMain form(tk, kInstanceName);
  const ui::Rect label = form.Label6.FormBounds();  // 342, 312
  EXPECT_FALSE(form.IsDragPoint(label.left, label.top));
  EXPECT_FALSE(form.IsDragPoint(label.left + label.width, label.top + label.height));
  EXPECT_TRUE(form.IsDragPoint(label.left - 1, label.top));
  EXPECT_TRUE(form.IsDragPoint(label.left + label.width + 1, label.top));
  EXPECT_TRUE(form.IsDragPoint(label.left, label.top - 1));
  // Background only.
  EXPECT_TRUE(form.IsDragPoint(300, 20));
  // bClose is a picture; bMinimize is a windowed button and not tested here.
  EXPECT_FALSE(form.IsDragPoint(517, 9));
  EXPECT_FALSE(form.IsDragPoint(541, 33));
  EXPECT_TRUE(form.IsDragPoint(500, 20));
  // The hidden bHomepage (15, 221) leaves its spot to bLanguage at 16..: the
  // column at x = 15 drags.
  EXPECT_TRUE(form.IsDragPoint(15, 230));
  EXPECT_FALSE(form.IsDragPoint(16, 230));
  form.Label6.SetVisible(false);
  EXPECT_TRUE(form.IsDragPoint(label.left, label.top));
  EXPECT_EQ(form.HitTest({300, 20}, ui::kHtClient), ui::kHtCaption);
  EXPECT_EQ(form.HitTest({16, 230}, ui::kHtClient), ui::kHtClient);
  EXPECT_EQ(form.HitTest({300, 20}, 5), 5);
}

TEST_F(MainFormTest, ChromeButtons) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  form.bMinimize.Click();
  ASSERT_EQ(tk.posted.size(), 1u);
  EXPECT_EQ(tk.posted[0].msg, ui::kWmSysCommand);
  EXPECT_EQ(tk.posted[0].wParam, ui::kScMinimize);
  EXPECT_TRUE(form.HandleMessage(ui::kWmSysCommand, ui::kScMinimize, 0));
  EXPECT_EQ(tk.minimized, 1);
  EXPECT_FALSE(form.HandleMessage(ui::kWmSysCommand, 0xF030, 0));

  form.bAbout.Click();
  EXPECT_EQ(tk.popups, (std::vector<std::string>{"pmHelp@40,50"}));

  form.bClose.Click();
  EXPECT_TRUE(form.Closed());
}

TEST_F(MainFormTest, ActivationRestoresAndFrontsTheLastPopup) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  form.Hide();
  tk.iconic = 1;
  HWND dialog = reinterpret_cast<HWND>(std::uintptr_t{0x777});
  tk.lastPopup = dialog;
  EXPECT_TRUE(form.HandleMessage(ui::kWmActivateInstance, 0, 0));
  EXPECT_TRUE(form.Visible());
  ASSERT_EQ(tk.shown.size(), 1u);
  EXPECT_EQ(tk.shown[0].second, ui::kSwRestore);
  EXPECT_EQ(tk.foreground, (std::vector<HWND>{dialog}));

  // The application window itself is never made the foreground here.
  tk.foreground.clear();
  tk.lastPopup = tk.appHandle;
  form.WMActivateInstance();
  EXPECT_TRUE(tk.foreground.empty());

  // Hidden by an unattended mode: stays hidden.
  form.IsSilent = true;
  form.Hide();
  form.WMActivateInstance();
  EXPECT_FALSE(form.Visible());
}

// ------------------------------------------------------------ start-up

TEST_F(MainFormTest, SecondStartOnlyActivatesTheFirst) {
  HWND first = reinterpret_cast<HWND>(std::uintptr_t{0x4242});
  tk.found = first;
  fake.SetCommandLine("hivora.exe /Silent");
  EXPECT_EQ(RunApplication(tk, kInstanceName), 0);
  EXPECT_EQ(tk.lastFind, "Talvix Hivora Made by Talvix Software");
  ASSERT_EQ(tk.posted.size(), 1u);
  EXPECT_EQ(tk.posted[0].window, first);
  EXPECT_EQ(tk.posted[0].msg, ui::kWmActivateInstance);
  EXPECT_EQ(tk.foreground, (std::vector<HWND>{first}));
  EXPECT_EQ(tk.title, "");
  EXPECT_FALSE(fake.Exists(fake.ProgramFolder() + "options.ini"));
}

TEST_F(MainFormTest, SecondStartBringsForwardTheDialogOpenOverTheFirst) {
  HWND first = reinterpret_cast<HWND>(std::uintptr_t{0x4242});
  HWND dialog = reinterpret_cast<HWND>(std::uintptr_t{0x4343});
  tk.found = first;
  tk.lastPopup = dialog;
  EXPECT_EQ(RunApplication(tk, kInstanceName), 0);
  EXPECT_EQ(tk.lastPopupOf, (std::vector<HWND>{first}));
  EXPECT_EQ(tk.foreground, (std::vector<HWND>{dialog}));
  ASSERT_EQ(tk.posted.size(), 1u);
  EXPECT_EQ(tk.posted[0].window, first);
}

TEST_F(MainFormTest, FirstStartRunsTheMainWindow) {
  EXPECT_EQ(RunApplication(tk, kInstanceName), 0);
  EXPECT_EQ(tk.title, "Talvix Hivora");
}

TEST_F(MainFormTest, TheTitleNamesAnOfflineInstallation) {
  EXPECT_EQ(RunApplication(tk, kInstanceName, "D:\\"), 0);
  EXPECT_EQ(tk.title, "Talvix Hivora - D:\\");
}

}  // namespace
}  // namespace hv

namespace hv {
namespace {

// A worker still copying a hive when the window closes: the window asks it to
// stop, waits for its hive to end, and only then deletes the copies, so that
// no copy is written after the deletion.
TEST_F(MainFormTest, CloseWaitsForARunningWorkerBeforeDeletingCopies) {
  TfrmMain form(tk, kInstanceName);
  form.Show();
  std::promise<void> entered;
  std::promise<void> release;
  auto released = release.get_future().share();
  fake.SetSaveHook([&](const std::string&, const std::string& target) {
    entered.set_value();
    released.wait();
    fake.CreateFileOfSize(target, 10);
    return 0;
  });
  ui::Form dialog(tk, "frmGetNewHiveProgess", nullptr);
  auto thread = std::make_shared<TScanTaskThread>(tk);
  thread->StatusMemo = &dialog.Add<ui::Memo>("Memo1");
  thread->Hives = form.Hives;
  form.RegisterWorker(thread);
  thread->Start();
  entered.get_future().wait();
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    release.set_value();
  });
  form.Close();
  opener.join();
  EXPECT_TRUE(thread->Finished());
  EXPECT_EQ(fake.Saves().size(), 1u);  // stopped after its hive
  EXPECT_FALSE(fake.Exists("C:\\Windows\\System32\\config\\SYSTEM.hvx"));
}

}  // namespace
}  // namespace hv
