// The keyboard on the native forms, driven by real keystrokes (SendInput):
// Tab through the main window's flat buttons and list, Enter and Space on a
// focused button, letters derived from the captions, and Enter and Escape
// in dialogs with a default and a cancel button.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"
#include "ui/messages.h"
#include "ui/win32/win32_toolkit.h"

#include "platform/win32/win.h"

namespace {

using hv::ui::CheckBox;
using hv::ui::Control;
using hv::ui::Kind;
using hv::ui::ListView;

::HWND Win(hv::HWND window) { return reinterpret_cast<::HWND>(window); }

// A borderless window like the main one: flat buttons, a disabled one, a
// list and a painted label.
class MainLike : public hv::ui::Form {
 public:
  explicit MainLike(hv::ui::Toolkit& tk)
      : Form(tk, "frmMainLike", nullptr),
        title(Add<Control>(Kind::Label, "lTitle")),
        analyze(Add<Control>(Kind::FlatButton, "bAnalyze")),
        defrag(Add<Control>(Kind::FlatButton, "bDefrag")),
        options(Add<Control>(Kind::FlatButton, "bOptions")),
        exit(Add<Control>(Kind::FlatButton, "bExit")),
        list(Add<ListView>("lvMain")) {
    SetBorder(hv::ui::BorderStyle::None);
    SetClientSize(400, 300);
    title.SetBounds({10, 5, 100, 13});
    title.SetCaption("Title");
    int top = 30;
    for (auto [button, caption] : {std::pair{&analyze, "Analyze Registry"}, std::pair{&defrag, "Defrag Registry"},
                                   std::pair{&options, "Options"}, std::pair{&exit, "Exit"}}) {
      button->SetBounds({10, top, 100, 25});
      button->SetCaption(caption);
      button->OnClick = [this, b = button] { clicks.push_back(b->Name()); };
      top += 30;
    }
    list.SetBounds({120, 30, 260, 200});
    list.AddColumn({"Hive Name", 200, hv::ui::Align::Left});
    list.AddRow("\\REGISTRY\\MACHINE\\SAM", {});
  }

  Control& title;
  Control& analyze;
  Control& defrag;
  Control& options;
  Control& exit;
  ListView& list;
  std::vector<std::string> clicks;
};

// A dialog like Options: a check box first in the tab order, OK the
// default, Cancel the cancel button.
class OptionsLike : public hv::ui::Form {
 public:
  explicit OptionsLike(hv::ui::Toolkit& tk)
      : Form(tk, "frmOptionsLike", nullptr),
        check(Add<CheckBox>("cbShowLines")),
        ok(Add<Control>(Kind::SkinButton, "bOK")),
        cancel(Add<Control>(Kind::SkinButton, "bCancel")) {
    SetCaption("Options");
    SetClientSize(377, 178);
    check.SetBounds({16, 16, 200, 19});
    check.SetCaption("Show Grid Lines");
    ok.SetBounds({187, 140, 80, 27});
    ok.SetCaption("&OK");
    ok.SetTabOrder(1);
    ok.SetDefault(true);
    ok.OnClick = [this] { SetModalResult(hv::ui::kMrOk); };
    cancel.SetBounds({288, 140, 80, 27});
    cancel.SetCaption("&Cancel");
    cancel.SetTabOrder(2);
    cancel.SetModalResult(hv::ui::kMrCancel);
    cancel.SetCancel(true);
    // A result of its own that only the button gives, so that Escape is
    // seen to press it rather than close the dialog.
    cancel.OnClick = [this] { cancelClicks++; };
  }

  CheckBox& check;
  Control& ok;
  Control& cancel;
  int cancelClicks = 0;
};

class KeyboardTest : public ::testing::Test {
 protected:
  ::HWND Child(const hv::ui::Form& form, const hv::ui::Component& c) {
    return Win(tk.ControlHandle(form, c));
  }
  void PumpFor(int ms) {
    tk.PumpUntil([] { return false; }, ms);
  }
  // Brings the form's window to the front with the keyboard focus, as a
  // user's click on it would.
  void Activate(const hv::ui::Form& form) {
    ::HWND window = Win(form.Handle());
    ::SetForegroundWindow(window);
    ::SetActiveWindow(window);
    PumpFor(150);
  }
  // Presses and releases a key (with Alt or Shift held when asked).
  void Press(WORD key, WORD modifier = 0) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = vk;
      input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      inputs.push_back(input);
    };
    if (modifier != 0) add(modifier, false);
    add(key, false);
    add(key, true);
    if (modifier != 0) add(modifier, true);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    PumpFor(150);
  }

  hv::ui::Win32Toolkit tk;
};

TEST_F(KeyboardTest, TabGoesThroughTheFlatButtonsAndTheListSkippingDisabledOnes) {
  MainLike form(tk);
  form.defrag.SetEnabled(false);
  form.Show();
  Activate(form);
  ::SetFocus(Child(form, form.analyze));
  PumpFor(50);
  ASSERT_EQ(::GetFocus(), Child(form, form.analyze));

  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), Child(form, form.options));
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), Child(form, form.exit));
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), Child(form, form.list));
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), Child(form, form.analyze));
  Press(VK_TAB, VK_SHIFT);
  EXPECT_EQ(::GetFocus(), Child(form, form.list));
  EXPECT_TRUE(form.clicks.empty());
}

TEST_F(KeyboardTest, EnterAndSpacePressTheFocusedFlatButton) {
  MainLike form(tk);
  form.Show();
  Activate(form);
  ::SetFocus(Child(form, form.options));
  PumpFor(50);
  Press(VK_RETURN);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"bOptions"}));
  Press(VK_SPACE);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"bOptions", "bOptions"}));
}

// A menu a button opens "at the cursor" opens below the button when the
// button was pressed from the keyboard, and at the mouse when clicked.
TEST_F(KeyboardTest, AButtonPressedFromTheKeyboardAnchorsItsMenuBelowItself) {
  MainLike form(tk);
  std::vector<hv::ui::Point> at;
  form.options.OnClick = [&] { at.push_back(tk.GetCursorPos()); };
  form.Show();
  Activate(form);
  ::SetCursorPos(3, 3);
  ::SetFocus(Child(form, form.options));
  PumpFor(50);
  RECT r{};
  ::GetWindowRect(Child(form, form.options), &r);
  Press(VK_RETURN);
  Press('O', VK_MENU);
  ASSERT_EQ(at.size(), 2u);
  for (const hv::ui::Point& p : at) {
    EXPECT_EQ(p.x, r.left);
    EXPECT_EQ(p.y, r.bottom);
  }
  // Outside a keyboard press, the mouse's place.
  POINT mouse{};
  ::GetCursorPos(&mouse);
  EXPECT_EQ(tk.GetCursorPos().x, mouse.x);
  EXPECT_EQ(tk.GetCursorPos().y, mouse.y);
}

TEST_F(KeyboardTest, LettersComeFromTheCaptionsWithoutMarkers) {
  MainLike form(tk);
  form.Show();
  Activate(form);
  // The captions stay as they are; the windows carry the derived letters.
  EXPECT_EQ(form.analyze.Caption(), "Analyze Registry");
  char text[64] = {};
  ::GetWindowTextA(Child(form, form.analyze), text, sizeof text);
  EXPECT_STREQ(text, "&Analyze Registry");
  ::GetWindowTextA(Child(form, form.exit), text, sizeof text);
  EXPECT_STREQ(text, "&Exit");
  ::SetFocus(Child(form, form.list));
  PumpFor(50);

  Press('O', VK_MENU);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"bOptions"}));
  Press('D', VK_MENU);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"bOptions", "bDefrag"}));
}

TEST_F(KeyboardTest, EnterPressesTheDefaultAndEscapeTheCancelButton) {
  OptionsLike dialog(tk);
  dialog.Show();
  Activate(dialog);
  ::HWND window = Win(dialog.Handle());
  ::HWND check = Child(dialog, dialog.check);
  ::HWND ok = Child(dialog, dialog.ok);
  ::HWND cancel = Child(dialog, dialog.cancel);

  // With the focus on the check box, OK is the default: it says so and the
  // dialog names it.
  ::SetFocus(check);
  PumpFor(50);
  EXPECT_NE(::SendMessageA(ok, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, 0);
  const LRESULT defId = ::SendMessageA(window, DM_GETDEFID, 0, 0);
  EXPECT_EQ(HIWORD(defId), DC_HASDEFID);
  EXPECT_EQ(::GetDlgItem(window, LOWORD(defId)), ok);
  // A focused Cancel is the default while it has the focus.
  ::SetFocus(cancel);
  PumpFor(50);
  EXPECT_NE(::SendMessageA(ok, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON, 0);
  EXPECT_NE(::SendMessageA(cancel, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, 0);

  ::SetFocus(check);
  PumpFor(50);
  Press(VK_RETURN);
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrOk);
  EXPECT_FALSE(dialog.check.Checked());

  dialog.ResetForShowing();
  Press(VK_ESCAPE);
  EXPECT_EQ(dialog.cancelClicks, 1);
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrCancel);

  // Space on the focused check box ticks it and closes nothing.
  dialog.ResetForShowing();
  Press(VK_SPACE);
  EXPECT_TRUE(dialog.check.Checked());
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrNone);

  // Alt and a marked letter press that button.
  Press('C', VK_MENU);
  EXPECT_EQ(dialog.cancelClicks, 2);
}

// A dialog whose authored tab orders disagree with its look (as Options'
// do): Tab goes the way the dialog reads, and the focus starts on OK.
class MisorderedLike : public hv::ui::Form {
 public:
  explicit MisorderedLike(hv::ui::Toolkit& tk)
      : Form(tk, "frmMisordered", nullptr),
        top(Add<CheckBox>("cbTop")),
        middle(Add<CheckBox>("cbMiddle")),
        bottom(Add<CheckBox>("cbBottom")),
        ok(Add<Control>(Kind::SkinButton, "bOK")),
        cancel(Add<Control>(Kind::SkinButton, "bCancel")) {
    SetCaption("Options");
    SetClientSize(377, 178);
    top.SetBounds({16, 16, 200, 19});
    top.SetCaption("Top");
    top.SetTabOrder(2);
    middle.SetBounds({16, 48, 200, 19});
    middle.SetCaption("Middle");
    middle.SetTabOrder(0);
    bottom.SetBounds({16, 81, 200, 19});
    bottom.SetCaption("Bottom");
    bottom.SetTabOrder(1);
    ok.SetBounds({187, 140, 80, 27});
    ok.SetCaption("&OK");
    ok.SetTabOrder(1);
    ok.SetDefault(true);
    cancel.SetBounds({288, 140, 80, 27});
    cancel.SetCaption("&Cancel");
    cancel.SetTabOrder(0);
  }
  CheckBox& top;
  CheckBox& middle;
  CheckBox& bottom;
  Control& ok;
  Control& cancel;
};

TEST_F(KeyboardTest, ADialogsTabGoesTheWayItReadsAndItsFocusStartsOnTheDefaultButton) {
  MisorderedLike dialog(tk);
  dialog.Show();
  Activate(dialog);
  EXPECT_EQ(::GetFocus(), Child(dialog, dialog.ok));
  const std::vector<::HWND> order = {Child(dialog, dialog.cancel), Child(dialog, dialog.top),
                                     Child(dialog, dialog.middle), Child(dialog, dialog.bottom),
                                     Child(dialog, dialog.ok)};
  for (::HWND expected : order) {
    Press(VK_TAB);
    EXPECT_EQ(::GetFocus(), expected);
  }
  // Check boxes have letters too, derived from their captions.
  char text[64] = {};
  ::GetWindowTextA(Child(dialog, dialog.middle), text, sizeof text);
  EXPECT_STREQ(text, "&Middle");
  Press('M', VK_MENU);
  EXPECT_TRUE(dialog.middle.Checked());
  EXPECT_FALSE(dialog.top.Checked());
}

}  // namespace

// A dialog like About: a link (a label with the hand cursor) above the OK
// button.
class AboutLike : public hv::ui::Form {
 public:
  explicit AboutLike(hv::ui::Toolkit& tk)
      : Form(tk, "frmAboutLike", nullptr),
        text(Add<Control>(Kind::Label, "lText")),
        link(Add<Control>(Kind::Label, "lLink")),
        ok(Add<Control>(Kind::SkinButton, "bOK")) {
    SetCaption("About");
    SetClientSize(360, 249);
    text.SetBounds({80, 152, 0, 13});
    text.SetCaption("Email: someone@example.com");
    link.SetBounds({80, 186, 0, 13});
    link.SetCaption("https://www.example.com/");
    link.SetHandCursor(true);
    link.OnClick = [this] { linkClicks++; };
    ok.SetBounds({256, 211, 80, 27});
    ok.SetCaption("&OK");
    ok.SetTabOrder(1);
    ok.SetDefault(true);
    ok.SetModalResult(hv::ui::kMrOk);
  }
  Control& text;
  Control& link;
  Control& ok;
  int linkClicks = 0;
};

TEST_F(KeyboardTest, ADialogsLinkIsATabStopInItsPlaceAndEnterOrSpaceOpensIt) {
  AboutLike dialog(tk);
  dialog.Show();
  Activate(dialog);
  ::HWND link = Child(dialog, dialog.link);
  ::HWND ok = Child(dialog, dialog.ok);
  ASSERT_NE(link, nullptr);
  // A plain label stays painted: no window, no stop.
  EXPECT_EQ(Child(dialog, dialog.text), nullptr);
  // The link's window takes its text's size, as the painted label would.
  RECT r{};
  ::GetClientRect(link, &r);
  EXPECT_GT(r.right, 50);
  EXPECT_GT(r.bottom, 0);

  EXPECT_EQ(::GetFocus(), ok);
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), link);
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), ok);
  Press(VK_TAB, VK_SHIFT);
  EXPECT_EQ(::GetFocus(), link);

  // On the link, Enter opens it rather than pressing the default button.
  Press(VK_RETURN);
  EXPECT_EQ(dialog.linkClicks, 1);
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrNone);
  Press(VK_SPACE);
  EXPECT_EQ(dialog.linkClicks, 2);
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrNone);

  // Away from it, Enter is OK's again.
  Press(VK_TAB);
  Press(VK_RETURN);
  EXPECT_EQ(dialog.linkClicks, 2);
  EXPECT_EQ(dialog.ModalResult(), hv::ui::kMrOk);
}
