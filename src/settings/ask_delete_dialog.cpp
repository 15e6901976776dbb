#include "settings/ask_delete_dialog.h"

#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "ui/messages.h"

namespace hv {

TfrmAskDelete::TfrmAskDelete(ui::Toolkit& toolkit, ui::Form* owner)
    : ui::Form(toolkit, "frmAskDelete", owner),
      GroupBox1(Add<ui::Control>(ui::Kind::GroupBox, "GroupBox1")),
      Label1(Add<ui::Control>(ui::Kind::Label, "Label1", &GroupBox1)),
      bOK(Add<ui::Control>(ui::Kind::SkinButton, "bOK", &GroupBox1)),
      bCancel(Add<ui::Control>(ui::Kind::SkinButton, "bCancel", &GroupBox1)),
      Label2(Add<ui::Control>(ui::Kind::Label, "Label2")),
      Label3(Add<ui::Control>(ui::Kind::Label, "Label3")),
      Panel2(Add<ui::Control>(ui::Kind::Panel, "Panel2")),
      cbAsk(Add<ui::CheckBox>("cbAsk")) {
  SetCaption("Defrag Now");
  SetClientSize(316, 193);
  SetBorder(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::OwnerCenter);

  GroupBox1.SetBounds({8, 8, 298, 100});
  GroupBox1.SetTabOrder(0);

  Label1.SetBounds({24, 24, 255, 13});
  Label1.SetCaption("Are you sure you want to start to defrag your registry?");

  bOK.SetBounds({53, 57, 80, 24});
  bOK.SetCaption("&Yes");
  bOK.SetStyle("WinXP");
  bOK.SetModalResult(ui::kMrYes);
  bOK.SetTabOrder(1);

  // "&No" comes first in the tab order: the safe answer has the focus, and
  // Enter elsewhere and Escape give it too.
  bCancel.SetBounds({165, 57, 80, 24});
  bCancel.SetCaption("&No");
  bCancel.SetStyle("WinXP");
  bCancel.SetModalResult(ui::kMrNo);
  bCancel.SetTabOrder(0);
  bCancel.SetDefault(true);
  bCancel.SetCancel(true);

  Label2.SetBounds({8, 115, 297, 13});
  Label2.SetCaption("You must restart your computer for the changes to take effect");

  Label3.SetBounds({8, 133, 305, 13});
  Label3.SetCaption("after you finish the Registry defragment.");

  Panel2.SetBounds({8, 157, 295, 2});
  Panel2.SetTabOrder(2);

  cbAsk.SetBounds({8, 166, 128, 19});
  cbAsk.SetCaption("Don't ask me next time");
  cbAsk.SetStyle("BlueGlass");
  cbAsk.SetTabOrder(1);
  cbAsk.OnClick = [this] { cbAskClick(); };
}

void TfrmAskDelete::FormShow() {
  if (!IsEnglish(OptionsSetting.Lan)) TranslateForm(*this, OptionsSetting.Lan);
}

void TfrmAskDelete::cbAskClick() { OptionsSetting.IsAskBeforeDefrag = !cbAsk.Checked(); }

}  // namespace hv
