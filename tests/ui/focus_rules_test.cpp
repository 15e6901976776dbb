#include "ui/console/focus_rules.h"

#include <gtest/gtest.h>

#include "ui/console/console_toolkit.h"

namespace hv::ui::console {
namespace {

ConsoleOptions Options() {
  ConsoleOptions options;
  options.singleInstance = false;
  return options;
}

// A main window as the program's: the window controls and a link come
// before the first button in component order.
class MainLike : public Form {
 public:
  explicit MainLike(Toolkit& tk)
      : Form(tk, "frmMainLike", nullptr),
        bMinimize(Add<Control>(Kind::ImageButton, "bMinimize")),
        bClose(Add<Control>(Kind::HoverImage, "bClose")),
        lLink(Add<LinkLabel>("lLink")),
        bAnalyze(Add<Control>(Kind::FlatButton, "bAnalyze")),
        bExit(Add<Control>(Kind::FlatButton, "bExit")),
        lvList(Add<ListView>("lvList")) {
    SetBorder(BorderStyle::None);
    bClose.OnClick = [] {};
    lLink.OnClick = [] {};
    bAnalyze.SetCaption("&Analyze");
    bExit.SetCaption("E&xit");
  }
  Control& bMinimize;
  Control& bClose;
  LinkLabel& lLink;
  Control& bAnalyze;
  Control& bExit;
  ListView& lvList;
};

// A dialog whose link comes first and whose default button last.
class DialogLike : public Form {
 public:
  explicit DialogLike(Toolkit& tk)
      : Form(tk, "frmDialogLike", nullptr),
        lLink(Add<Control>(Kind::Label, "lLink")),
        cbFlag(Add<CheckBox>("cbFlag")),
        bNo(Add<Control>(Kind::SkinButton, "bNo")),
        bOk(Add<Control>(Kind::SkinButton, "bOk")) {
    lLink.OnClick = [] {};
    bOk.SetCaption("&OK");
    bNo.SetCaption("&No");
  }
  Control& lLink;
  CheckBox& cbFlag;
  Control& bNo;
  Control& bOk;
};

TEST(FocusRulesTest, TheMainWindowStartsOnItsFirstButtonAndItsWindowControlsComeLast) {
  ConsoleToolkit tk(Options());
  MainLike form(tk);
  EXPECT_EQ(FirstFocus(form), &form.bAnalyze);
  const std::vector<Control*> order = Focusables(form);
  ASSERT_EQ(order.size(), 6u);
  EXPECT_EQ(order[0], &form.lLink);
  EXPECT_EQ(order[1], &form.bAnalyze);
  EXPECT_EQ(order[3], &form.lvList);
  // Reachable, never first.
  EXPECT_EQ(order[4], &form.bMinimize);
  EXPECT_EQ(order[5], &form.bClose);
}

TEST(FocusRulesTest, ADialogStartsOnItsDefaultButtonWhileItIsUsableElseOnItsFirstButton) {
  ConsoleToolkit tk(Options());
  DialogLike form(tk);
  EXPECT_EQ(FirstFocus(form), &form.bNo);
  form.bOk.SetDefault(true);
  EXPECT_EQ(FirstFocus(form), &form.bOk);
  form.bOk.SetEnabled(false);
  EXPECT_EQ(FirstFocus(form), &form.bNo);
  // With no button at all, not on the link.
  form.bNo.SetVisible(false);
  EXPECT_EQ(FirstFocus(form), &form.cbFlag);
  form.cbFlag.SetVisible(false);
  EXPECT_EQ(FirstFocus(form), &form.lLink);
  form.lLink.SetVisible(false);
  EXPECT_EQ(FirstFocus(form), nullptr);
}

TEST(FocusRulesTest, EscPressesTheCancelButtonOrTheOnlyOneAndNeverHidesWorkBehindADisabledOne) {
  ConsoleToolkit tk(Options());
  DialogLike form(tk);
  // Two buttons, neither the cancel one: the dialog is closed.
  EXPECT_EQ(EscapeFor(form).type, EscapeAction::Type::Close);
  form.bNo.SetCancel(true);
  EXPECT_EQ(EscapeFor(form).type, EscapeAction::Type::Press);
  EXPECT_EQ(EscapeFor(form).control, &form.bNo);
  // The only button of a dialog (a progress dialog's Stop).
  form.bNo.SetCancel(false);
  form.bOk.SetVisible(false);
  EXPECT_EQ(EscapeFor(form).control, &form.bNo);
  // Pressed once and disabled: Esc does nothing, it does not close the
  // dialog around work still going on.
  form.bNo.SetEnabled(false);
  EXPECT_EQ(EscapeFor(form).type, EscapeAction::Type::Nothing);
  // The main window's one button is no way out.
  MainLike main(tk);
  main.bExit.SetVisible(false);
  EXPECT_EQ(EscapeFor(main).type, EscapeAction::Type::Close);
}

}  // namespace
}  // namespace hv::ui::console
