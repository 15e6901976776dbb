// The Win32 toolkit with small test forms: messages, calls from workers,
// timers, modal loops, native controls following the model, hit testing,
// and errors escaping handlers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"
#include "ui/messages.h"
#include "ui/win32/win32_toolkit.h"

#include "platform/win32/win.h"

#include <commctrl.h>

namespace {

using hv::ui::CheckBox;
using hv::ui::Control;
using hv::ui::Kind;
using hv::ui::ListView;
using hv::ui::Memo;
using hv::ui::ProgressBar;
using hv::ui::Timer;

::HWND Win(hv::HWND window) { return reinterpret_cast<::HWND>(window); }

std::string TextOf(::HWND window) {
  char buffer[256] = {};
  ::GetWindowTextA(window, buffer, sizeof(buffer));
  return buffer;
}

struct Received {
  UINT msg;
  hv::ui::WPARAM wParam;
  hv::ui::LPARAM lParam;
};

class TestForm : public hv::ui::Form {
 public:
  explicit TestForm(hv::ui::Toolkit& tk, hv::ui::Form* owner = nullptr, std::string name = "frmTest")
      : Form(tk, std::move(name), owner),
        flat(Add<Control>(Kind::FlatButton, "bFlat")),
        button(Add<Control>(Kind::SkinButton, "bOK")),
        check(Add<CheckBox>("cbCheck")),
        memo(Add<Memo>("Memo1")),
        list(Add<ListView>("lvList")),
        bar(Add<ProgressBar>("ProgressBar1")),
        timer(Add<Timer>("Timer1")) {
    SetClientSize(320, 240);
    SetCaption("Test form");
    flat.SetBounds({10, 10, 80, 25});
    flat.SetCaption("Flat");
    button.SetBounds({10, 200, 80, 27});
    button.SetCaption("&OK");
    check.SetBounds({100, 10, 150, 19});
    check.SetCaption("Check");
    memo.SetBounds({10, 40, 200, 32});
    list.SetBounds({10, 80, 300, 80});
    list.AddColumn({"Name", 160, hv::ui::Align::Left});
    list.AddColumn({"Size", 60, hv::ui::Align::Right});
    bar.SetBounds({10, 170, 300, 18});
    bar.SetRange(0, 1000);
    timer.SetEnabled(false);
  }

  void CreateParams(hv::ui::CreateParamsRec& params) override {
    Form::CreateParams(params);
    if (!className.empty()) params.windowClassName = className;
  }
  void FormShow() override {
    ++shows;
    if (failShow) throw std::runtime_error("no settings");
  }
  void FormActivate() override {
    ++activations;
    if (onActivate) onActivate();
  }
  void FormClose() override { ++closes; }
  bool HandleMessage(UINT msg, hv::ui::WPARAM wParam, hv::ui::LPARAM lParam) override {
    received.push_back({msg, wParam, lParam});
    if (onMessage && onMessage(msg)) return true;
    return Form::HandleMessage(msg, wParam, lParam);
  }
  int HitTest(hv::ui::Point point, int standard) override {
    hitPoints.push_back(point);
    return point.x < 50 ? hv::ui::kHtCaption : standard;
  }

  Control& flat;
  Control& button;
  CheckBox& check;
  Memo& memo;
  ListView& list;
  ProgressBar& bar;
  Timer& timer;

  std::string className;
  bool failShow = false;
  std::function<void()> onActivate;
  std::function<bool(UINT)> onMessage;
  std::vector<Received> received;
  std::vector<hv::ui::Point> hitPoints;
  int shows = 0, activations = 0, closes = 0;
};

class Win32ToolkitTest : public ::testing::Test {
 protected:
  bool Pump(const std::function<bool()>& done, int timeoutMs = 3000) { return tk.PumpUntil(done, timeoutMs); }
  void PumpFor(int ms) {
    tk.PumpUntil([] { return false; }, ms);
  }
  ::HWND Child(const TestForm& form, const hv::ui::Component& c) { return Win(tk.ControlHandle(form, c)); }

  hv::ui::Win32Toolkit tk;
};

TEST_F(Win32ToolkitTest, PostedMessagesReachTheFormAndStopWithItsWindow) {
  TestForm form(tk);
  form.Show();
  ASSERT_NE(form.Handle(), nullptr);
  EXPECT_TRUE(tk.PostMessageA(form.Handle(), hv::ui::kWmHiveDone, 1500, 2));
  ASSERT_TRUE(Pump([&] { return !form.received.empty(); }));
  EXPECT_EQ(form.received[0].msg, hv::ui::kWmHiveDone);
  EXPECT_EQ(form.received[0].wParam, 1500u);
  EXPECT_EQ(form.received[0].lParam, 2);

  const hv::HWND gone = form.Handle();
  tk.DestroyWindow(form);
  EXPECT_EQ(form.Handle(), nullptr);
  EXPECT_FALSE(tk.PostMessageA(gone, hv::ui::kWmHiveDone, 0, 0));
  EXPECT_FALSE(form.Visible());
}

TEST_F(Win32ToolkitTest, ShowRunsFormShowEachTimeAndFormActivateOncePerWindow) {
  TestForm form(tk);
  form.Show();
  form.Show();  // already visible: nothing runs again
  EXPECT_EQ(form.shows, 1);
  form.Hide();
  EXPECT_FALSE(::IsWindowVisible(Win(form.Handle())));
  form.Show();
  EXPECT_TRUE(::IsWindowVisible(Win(form.Handle())));
  EXPECT_EQ(form.shows, 2);
  EXPECT_EQ(form.activations, 1);
  tk.DestroyWindow(form);
  form.Show();
  EXPECT_EQ(form.activations, 2);
}

TEST_F(Win32ToolkitTest, WindowClassNameComesFromCreateParams) {
  TestForm form(tk);
  form.className = "Talvix Hivora Test Instance";
  form.SetBorder(hv::ui::BorderStyle::None);
  form.Show();
  EXPECT_EQ(tk.FindWindowA("Talvix Hivora Test Instance"), form.Handle());
  tk.DestroyWindow(form);
  EXPECT_EQ(tk.FindWindowA("Talvix Hivora Test Instance"), nullptr);

  TestForm other(tk, nullptr, "frmOther");
  other.Show();
  EXPECT_EQ(tk.FindWindowA("TfrmOther"), other.Handle());  // the default: "T" + form name
}

TEST_F(Win32ToolkitTest, SendToUiThreadRunsOnTheUiThreadAndWaits) {
  TestForm form(tk);
  form.Show();
  const DWORD uiThread = ::GetCurrentThreadId();
  std::atomic<DWORD> ranOn{0};
  const hv::HWND window = form.Handle();
  auto worker = std::async(std::launch::async, [&] {
    return tk.SendToUiThread(window, [&] {
      ranOn = ::GetCurrentThreadId();
      form.memo.SetCaption("\\REGISTRY\\MACHINE\\SAM");
    });
  });
  ASSERT_TRUE(Pump([&] { return worker.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(worker.get());
  EXPECT_EQ(ranOn.load(), uiThread);
  EXPECT_EQ(TextOf(Child(form, form.memo)), "\\REGISTRY\\MACHINE\\SAM");
}

TEST_F(Win32ToolkitTest, SendToUiThreadIsCancelledWhenTheWindowGoes) {
  TestForm form(tk);
  form.Show();
  const hv::HWND window = form.Handle();
  std::atomic<bool> ran{false};
  auto worker = std::async(std::launch::async, [&] { return tk.SendToUiThread(window, [&] { ran = true; }); });
  // The worker is now blocked on a call that the UI thread has not taken.
  EXPECT_EQ(worker.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  tk.DestroyWindow(form);
  ASSERT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(worker.get());
  PumpFor(100);  // the stale announcement, if still queued, runs nothing
  EXPECT_FALSE(ran);

  // Sent after the window went: refused at once.
  auto late = std::async(std::launch::async, [&] { return tk.SendToUiThread(window, [&] { ran = true; }); });
  ASSERT_EQ(late.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(late.get());
  EXPECT_FALSE(ran);
}

TEST_F(Win32ToolkitTest, SeveralWorkersWaitingAtOnceAreAllServed) {
  TestForm form(tk);
  form.Show();
  const hv::HWND window = form.Handle();
  int runs = 0;  // touched on the UI thread only
  std::vector<std::future<bool>> workers;
  for (int i = 0; i < 6; ++i) {
    workers.push_back(std::async(std::launch::async, [&] { return tk.SendToUiThread(window, [&] { ++runs; }); }));
  }
  auto allDone = [&] {
    for (auto& w : workers) {
      if (w.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) return false;
    }
    return true;
  };
  ASSERT_TRUE(Pump(allDone, 5000));
  for (auto& w : workers) EXPECT_TRUE(w.get());
  EXPECT_EQ(runs, 6);
}

TEST_F(Win32ToolkitTest, TimersFireWhileEnabled) {
  TestForm form(tk);
  int ticks = 0;
  form.timer.OnTimer = [&] { ++ticks; };
  form.timer.SetInterval(20);
  form.Show();
  PumpFor(120);
  EXPECT_EQ(ticks, 0);  // disabled at creation
  form.timer.SetEnabled(true);
  ASSERT_TRUE(Pump([&] { return ticks >= 3; }));
  form.timer.SetEnabled(false);
  const int stopped = ticks;
  PumpFor(150);
  EXPECT_EQ(ticks, stopped);
}

// What a second start relies on: with a modal dialog open, the running main
// window (found by its class) is disabled and its last active popup is the
// dialog, the window to bring forward.
TEST_F(Win32ToolkitTest, WithAModalDialogOpenTheMainWindowsLastActivePopupIsTheDialog) {
  TestForm main(tk, nullptr, "frmMainWindow");
  main.className = "HivoraSecondStartTest";
  main.Show();
  const hv::HWND found = tk.FindWindowA("HivoraSecondStartTest");
  ASSERT_EQ(found, main.Handle());
  EXPECT_EQ(tk.GetLastActivePopup(found), found);
  TestForm dialog(tk, &main, "frmDialog");
  hv::HWND shown = nullptr, popup = nullptr;
  BOOL mainEnabled = TRUE;
  dialog.onActivate = [&] { tk.PostMessageA(dialog.Handle(), hv::ui::kWmStartScan, 0, 0); };
  dialog.onMessage = [&](UINT msg) {
    if (msg != hv::ui::kWmStartScan) return false;
    shown = dialog.Handle();
    popup = tk.GetLastActivePopup(tk.FindWindowA("HivoraSecondStartTest"));
    mainEnabled = tk.IsWindowEnabled(found);
    dialog.SetModalResult(hv::ui::kMrOk);
    return true;
  };
  EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrOk);
  EXPECT_EQ(popup, shown);
  EXPECT_FALSE(mainEnabled);
  EXPECT_EQ(tk.GetLastActivePopup(found), found);
}

TEST_F(Win32ToolkitTest, ModalResultEndsTheModalLoop) {
  TestForm owner(tk, nullptr, "frmOwner");
  owner.Show();
  TestForm dialog(tk, &owner, "frmDialog");
  BOOL ownerEnabledDuringLoop = TRUE;
  dialog.onActivate = [&] { tk.PostMessageA(dialog.Handle(), hv::ui::kWmStartScan, 0, 0); };
  dialog.onMessage = [&](UINT msg) {
    if (msg != hv::ui::kWmStartScan) return false;
    ownerEnabledDuringLoop = ::IsWindowEnabled(Win(owner.Handle()));
    dialog.SetModalResult(hv::ui::kMrYes);
    return true;
  };
  EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrYes);
  EXPECT_FALSE(ownerEnabledDuringLoop);
  EXPECT_TRUE(::IsWindowEnabled(Win(owner.Handle())));
  EXPECT_EQ(dialog.closes, 1);  // FormClose runs also when a result ends the loop
  EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST_F(Win32ToolkitTest, ClosingAModalDialogGivesCancelAndAButtonGivesItsResult) {
  TestForm owner(tk, nullptr, "frmOwner");
  owner.Show();
  {
    TestForm dialog(tk, &owner, "frmDialog");
    dialog.onActivate = [&] { tk.PostMessageA(dialog.Handle(), hv::ui::kWmClose, 0, 0); };
    EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrCancel);
    EXPECT_EQ(dialog.closes, 1);
  }
  {
    TestForm dialog(tk, &owner, "frmDialog");
    dialog.button.SetModalResult(hv::ui::kMrOk);
    int clicks = 0;
    dialog.button.OnClick = [&] { ++clicks; };
    // BM_CLICK is how the dialog manager presses a button by its mnemonic.
    dialog.onActivate = [&] { ::PostMessageA(Child(dialog, dialog.button), BM_CLICK, 0, 0); };
    EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrOk);
    EXPECT_EQ(clicks, 1);
  }
  {
    // Escape reaches a dialog as the dialog manager's IDCANCEL: closed, Cancel.
    TestForm dialog(tk, &owner, "frmDialog");
    dialog.onActivate = [&] { ::PostMessageA(Win(dialog.Handle()), WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrCancel);
    EXPECT_EQ(dialog.closes, 1);
  }
  // A second modal showing of the same form starts afresh.
  TestForm dialog(tk, &owner, "frmDialog");
  int round = 0;
  dialog.onActivate = [&] { tk.PostMessageA(dialog.Handle(), hv::ui::kWmStartScan, 0, 0); };
  dialog.onMessage = [&](UINT msg) {
    if (msg == hv::ui::kWmStartScan) dialog.SetModalResult(++round == 1 ? hv::ui::kMrNo : hv::ui::kMrOk);
    return msg == hv::ui::kWmStartScan;
  };
  EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrNo);
  EXPECT_EQ(dialog.ShowModal(), hv::ui::kMrOk);
}

TEST_F(Win32ToolkitTest, ADialogWhoseShowFailsPassesTheErrorToItsCaller) {
  TestForm owner(tk, nullptr, "frmOwner");
  owner.Show();
  TestForm dialog(tk, &owner, "frmDialog");
  dialog.failShow = true;
  EXPECT_THROW(dialog.ShowModal(), std::runtime_error);
  EXPECT_EQ(dialog.Handle(), nullptr);
  EXPECT_TRUE(::IsWindowEnabled(Win(owner.Handle())));
}

TEST_F(Win32ToolkitTest, NativeControlsFollowTheModel) {
  TestForm form(tk);
  form.Show();
  ::HWND button = Child(form, form.button);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(TextOf(button), "&OK");
  form.button.SetCaption("&Yes");
  EXPECT_EQ(TextOf(button), "&Yes");
  form.button.SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(button));
  form.button.SetVisible(false);
  EXPECT_FALSE(::IsWindowVisible(button));
  form.button.SetBounds({20, 190, 90, 30});
  RECT r{};
  ::GetWindowRect(button, &r);
  ::MapWindowPoints(nullptr, Win(form.Handle()), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 190);
  EXPECT_EQ(r.right - r.left, 90);

  form.memo.SetCaption("line one\nline two");
  EXPECT_EQ(TextOf(Child(form, form.memo)), "line one\r\nline two");
  // A hive's name too wide for the memo is shortened in its middle, its end
  // kept; one that fits is shown whole.
  form.memo.SetCaption("\\REGISTRY\\USER\\S-1-5-21-3623811015-3361044348-30300820-1001_Classes");
  const std::string shown = TextOf(Child(form, form.memo));
  EXPECT_NE(shown.find('\x85'), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("1001_Classes")) << shown;
  form.memo.SetCaption("\\REGISTRY\\MACHINE\\SAM");
  EXPECT_EQ(TextOf(Child(form, form.memo)), "\\REGISTRY\\MACHINE\\SAM");

  // Flat buttons are windows of their own, so that they take the focus;
  // their text carries the keyboard letter derived from the caption.
  ASSERT_NE(Child(form, form.flat), nullptr);
  EXPECT_EQ(TextOf(Child(form, form.flat)), "&Flat");
  EXPECT_EQ(form.flat.Caption(), "Flat");

  form.SetCaption("Renamed");
  EXPECT_EQ(TextOf(Win(form.Handle())), "Renamed");
  RECT client{};
  ::GetClientRect(Win(form.Handle()), &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);
}

TEST_F(Win32ToolkitTest, ListViewFollowsRowsColumnsAndGridLines) {
  TestForm form(tk);
  form.Show();
  ::HWND list = Child(form, form.list);
  ASSERT_NE(list, nullptr);
  auto cell = [&](int item, int sub) {
    char buffer[128] = {};
    LVITEMA entry{};
    entry.iSubItem = sub;
    entry.pszText = buffer;
    entry.cchTextMax = sizeof(buffer);
    ::SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&entry));
    return std::string(buffer);
  };
  auto count = [&] { return static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); };

  form.list.AddRow("\\REGISTRY\\MACHINE\\SAM", {"", ""});
  const std::string profile = "\\REGISTRY\\USER\\S-1-5-21-3623811015-3361044348-30300820-1001_Classes";
  form.list.AddRow(profile, {});
  ASSERT_EQ(count(), 2);
  EXPECT_EQ(cell(0, 0), "\\REGISTRY\\MACHINE\\SAM");
  // Too long for its column, a name is shortened in the middle and keeps
  // its end; the model keeps the whole name.
  const std::string shortened = cell(1, 0);
  EXPECT_NE(shortened.find('\x85'), std::string::npos) << shortened;
  EXPECT_TRUE(shortened.ends_with("-1001_Classes")) << shortened;
  EXPECT_TRUE(shortened.starts_with("\\REGISTRY")) << shortened;
  EXPECT_EQ(form.list.Rows()[1].caption, profile);
  // The user widens the column (the width, then the header's notice that a
  // drag of its divider sends): the name is shortened again to the new
  // width, here whole; narrowed again, shortened again.
  auto resize = [&](int width) {
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(width, 0));
    NMHEADERA notice{};
    notice.hdr.hwndFrom = reinterpret_cast<::HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    notice.hdr.code = HDN_ITEMCHANGEDA;
    notice.iItem = 0;
    ::SendMessageA(Win(form.Handle()), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
  };
  resize(600);
  EXPECT_EQ(cell(1, 0), profile);
  resize(120);
  EXPECT_NE(cell(1, 0).find('\x85'), std::string::npos) << cell(1, 0);
  EXPECT_TRUE(cell(1, 0).ends_with("1001_Classes")) << cell(1, 0);
  form.list.SetSubItem(0, 0, "256 KB");
  form.list.SetSubItem(1, 0, "12,288 KB");
  EXPECT_EQ(cell(0, 1), "256 KB");
  EXPECT_EQ(cell(1, 1), "12,288 KB");

  const auto style = [&] { return ::SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0); };
  EXPECT_EQ(style() & LVS_EX_GRIDLINES, 0);
  EXPECT_NE(style() & LVS_EX_FULLROWSELECT, 0);
  form.list.SetGridLines(true);
  EXPECT_NE(style() & LVS_EX_GRIDLINES, 0);
  form.list.SetGridLines(false);
  EXPECT_EQ(style() & LVS_EX_GRIDLINES, 0);

  form.list.SetColumnCaption(1, "Current Size");
  char caption[64] = {};
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = caption;
  column.cchTextMax = sizeof(caption);
  ::SendMessageA(list, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
  EXPECT_STREQ(caption, "Current Size");

  form.list.ClearRows();
  EXPECT_EQ(count(), 0);
}

// The tip the list asks the form for when the pointer rests on a row.
TEST_F(Win32ToolkitTest, AListRowsTipIsTheTipItWasGivenElseItsWholeNameWhenShortened) {
  TestForm form(tk);
  form.Show();
  ::HWND list = Child(form, form.list);
  ASSERT_NE(list, nullptr);
  auto tipOf = [&](int item) {
    char buffer[512] = "unchanged";
    NMLVGETINFOTIPA tip{};
    tip.hdr.hwndFrom = list;
    tip.hdr.code = LVN_GETINFOTIPA;
    tip.pszText = buffer;
    tip.cchTextMax = sizeof(buffer);
    tip.iItem = item;
    ::SendMessageA(Win(form.Handle()), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
    return std::string(buffer);
  };
  const std::string profile = "\\REGISTRY\\USER\\S-1-5-21-3623811015-3361044348-30300820-1001_Classes";
  const std::string file = "C:\\Users\\Pat\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
  form.list.AddRow("\\REGISTRY\\MACHINE\\SAM", {});
  form.list.AddRow(profile, {});
  form.list.AddRow("\\REGISTRY\\MACHINE\\SYSTEM", {});
  // Without a tip of its own: a name shown whole adds nothing, a shortened
  // one is given whole.
  EXPECT_EQ(tipOf(0), "unchanged");
  EXPECT_EQ(tipOf(1), profile);
  // With one, the row says it, whole, at any column width.
  form.list.SetRowTip(1, profile + "\r\n" + file);
  form.list.SetRowTip(2, "\\REGISTRY\\MACHINE\\SYSTEM\r\nC:\\Windows\\System32\\config\\SYSTEM");
  EXPECT_EQ(tipOf(1), profile + "\r\n" + file);
  EXPECT_EQ(tipOf(2), "\\REGISTRY\\MACHINE\\SYSTEM\r\nC:\\Windows\\System32\\config\\SYSTEM");
  ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(600, 0));
  EXPECT_EQ(tipOf(1), profile + "\r\n" + file);
  // A row past the end, or a tip too long for the buffer, overruns nothing.
  EXPECT_EQ(tipOf(7), "unchanged");
  char small[8] = "";
  NMLVGETINFOTIPA tip{};
  tip.hdr.hwndFrom = list;
  tip.hdr.code = LVN_GETINFOTIPA;
  tip.pszText = small;
  tip.cchTextMax = sizeof(small);
  tip.iItem = 1;
  ::SendMessageA(Win(form.Handle()), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
  EXPECT_EQ(std::string(small), profile.substr(0, 7));
  // The list's tool tip breaks lines.
  const auto tips = reinterpret_cast<::HWND>(::SendMessageA(list, LVM_GETTOOLTIPS, 0, 0));
  ASSERT_NE(tips, nullptr);
  EXPECT_GT(::SendMessageA(tips, TTM_GETMAXTIPWIDTH, 0, 0), 0);
}

TEST_F(Win32ToolkitTest, PaintedControlsTakeClicksAndTheHitTestSeesWindowCoordinates) {
  TestForm form(tk);
  form.SetBorder(hv::ui::BorderStyle::None);
  Control& link = form.Add<Control>(Kind::Label, "lLink");
  link.SetBounds({150, 205, 60, 13});
  link.SetCaption("Link");
  int clicks = 0;
  link.OnClick = [&] { ++clicks; };
  int flatClicks = 0;
  form.flat.OnClick = [&] { ++flatClicks; };
  form.Show();
  ::HWND window = Win(form.Handle());
  const LPARAM at = MAKELPARAM(160, 210);
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageA(window, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(clicks, 1);
  // Released elsewhere: no click.
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(260, 20));
  EXPECT_EQ(clicks, 1);
  // A disabled control takes no click.
  link.SetEnabled(false);
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageA(window, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(clicks, 1);

  // A flat button takes the mouse in its own window, as before; disabled, none.
  ::HWND flat = Child(form, form.flat);
  ::SendMessageA(flat, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(flat, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(flatClicks, 1);
  ::SendMessageA(flat, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(flat, WM_LBUTTONUP, 0, MAKELPARAM(300, 5));
  EXPECT_EQ(flatClicks, 1);
  form.flat.SetEnabled(false);
  ::SendMessageA(flat, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(flat, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(flatClicks, 1);

  RECT frame{};
  ::GetWindowRect(window, &frame);
  const LRESULT left = ::SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(frame.left + 30, frame.top + 45));
  const LRESULT right = ::SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(frame.left + 250, frame.top + 45));
  EXPECT_EQ(left, HTCAPTION);
  EXPECT_EQ(right, HTCLIENT);
  ASSERT_FALSE(form.hitPoints.empty());
  EXPECT_EQ(form.hitPoints[0].x, 30);
  EXPECT_EQ(form.hitPoints[0].y, 45);
}

TEST_F(Win32ToolkitTest, ExceptionInAHandlerIsShownAndGoesNoFurther) {
  TestForm form(tk);
  form.onMessage = [](UINT msg) -> bool {
    if (msg == hv::ui::kWmScanReport) throw std::runtime_error("Unable to write to C:\\options.ini");
    return false;
  };
  form.Show();
  // Answers the error box: it must carry the product's caption.
  std::atomic<bool> answered{false};
  std::atomic<bool> stop{false};
  std::thread answer([&] {
    while (!stop) {
      ::HWND box = ::FindWindowA("#32770", "Talvix Hivora");
      if (box != nullptr) {
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        answered = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  tk.PostMessageA(form.Handle(), hv::ui::kWmScanReport, 0, 0);
  tk.PostMessageA(form.Handle(), hv::ui::kWmHiveDone, 0, 1);
  const bool after = Pump([&] { return form.received.size() >= 2; }, 10000);
  stop = true;
  answer.join();
  EXPECT_TRUE(answered);
  EXPECT_TRUE(after);  // the loop went on to the next message
}

TEST_F(Win32ToolkitTest, ALabelWithoutASizeTakesItsTextsSize) {
  TestForm form(tk);
  auto& sized = form.Add<Control>(Kind::Label, "lSized");
  sized.SetBounds({10, 220, 0, 13});
  sized.SetCaption("Version: 2.3   Build 20140925");
  auto& fixed = form.Add<Control>(Kind::Label, "lFixed");
  fixed.SetBounds({222, 220, 70, 13});
  fixed.SetCaption("1,024 KB");
  form.Show();
  EXPECT_EQ(sized.Width(), tk.TextWidth(form, sized.Caption()));
  EXPECT_GT(sized.Height(), 0);
  EXPECT_EQ(fixed.Width(), 70);  // a label the layout sized keeps its size
}

TEST_F(Win32ToolkitTest, TextWidthMeasuresWithAndWithoutAWindow) {
  TestForm form(tk);
  const int before = tk.TextWidth(form, "Analyze Registry");
  EXPECT_GT(before, 20);
  EXPECT_LT(tk.TextWidth(form, "Exit"), before);
  EXPECT_EQ(tk.TextWidth(form, ""), 0);
  form.Show();
  EXPECT_EQ(tk.TextWidth(form, "Analyze Registry"), before);
}

TEST_F(Win32ToolkitTest, ABoldControlIsMeasuredBold) {
  TestForm form(tk);
  Control& heading = form.Add<Control>(Kind::Label, "lHeading");
  heading.SetBold(true);
  const std::string text = "Hauptmen\xFC";
  EXPECT_GT(tk.ControlTextWidth(form, heading, text), tk.TextWidth(form, text));
  form.Show();
  EXPECT_GT(tk.ControlTextWidth(form, heading, text), tk.TextWidth(form, text));
  EXPECT_EQ(tk.ControlTextWidth(form, form.flat, text), tk.TextWidth(form, text));
}

TEST_F(Win32ToolkitTest, HideApplicationHidesTheMainWindow) {
  TestForm main(tk, nullptr, "frmMainTest");
  main.SetBorder(hv::ui::BorderStyle::None);
  main.onActivate = [&] {
    EXPECT_EQ(tk.ApplicationHandle(), main.Handle());
    tk.HideApplication();
    EXPECT_FALSE(::IsWindowVisible(Win(main.Handle())));
    EXPECT_FALSE(main.Visible());
    main.Close();
  };
  tk.RunMain(main);
  EXPECT_EQ(main.closes, 1);
  EXPECT_EQ(main.Handle(), nullptr);
}

}  // namespace
