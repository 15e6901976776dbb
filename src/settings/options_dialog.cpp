#include "settings/options_dialog.h"

#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "ui/messages.h"

namespace hv {
namespace {

// The space a check box keeps from its group box's right edge.
constexpr int kGroupInset = 8;

}  // namespace

TfrmOptions::TfrmOptions(ui::Toolkit& toolkit, ui::Form* owner)
    : ui::Form(toolkit, "frmOptions", owner),
      GroupBox2(Add<ui::Control>(ui::Kind::GroupBox, "GroupBox2")),
      cbCreateRestore(Add<ui::CheckBox>("cbCreateRestore", &GroupBox2)),
      cbAskBeforeDefrag(Add<ui::CheckBox>("cbAskBeforeDefrag", &GroupBox2)),
      cbShowLines(Add<ui::CheckBox>("cbShowLines", &GroupBox2)),
      bOK(Add<ui::Control>(ui::Kind::SkinButton, "bOK")),
      bCancel(Add<ui::Control>(ui::Kind::SkinButton, "bCancel")) {
  SetCaption("Options");
  SetClientSize(377, 178);
  SetBorder(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::OwnerCenter);

  GroupBox2.SetBounds({8, 8, 361, 119});
  GroupBox2.SetTabOrder(0);

  cbCreateRestore.SetBounds({16, 16, 335, 19});
  cbCreateRestore.SetCaption("Create a system restore point before defragment (XP, Vista, Seven)");
  cbCreateRestore.SetStyle("WinXP");
  cbCreateRestore.SetTabOrder(2);

  cbAskBeforeDefrag.SetBounds({16, 48, 170, 19});
  cbAskBeforeDefrag.SetCaption("Ask before defraging the registy");
  cbAskBeforeDefrag.SetStyle("WinXP");
  cbAskBeforeDefrag.SetTabOrder(0);

  cbShowLines.SetBounds({16, 81, 198, 19});
  cbShowLines.SetCaption("Show Grid Lines for the hive name list");
  cbShowLines.SetStyle("WinXP");
  cbShowLines.SetTabOrder(1);

  bOK.SetBounds({187, 140, 80, 27});
  bOK.SetCaption("&OK");
  bOK.SetStyle("WinXP");
  bOK.SetTabOrder(1);
  bOK.SetDefault(true);
  bOK.OnClick = [this] { bOKClick(); };

  bCancel.SetBounds({288, 140, 80, 27});
  bCancel.SetCaption("&Cancel");
  bCancel.SetStyle("WinXP");
  bCancel.SetTabOrder(2);
  bCancel.SetModalResult(ui::kMrCancel);
  bCancel.SetCancel(true);

  FormCreate();
}

void TfrmOptions::FormCreate() {
  cbCreateRestore.SetChecked(OptionsSetting.RestorePoint);
  cbAskBeforeDefrag.SetChecked(OptionsSetting.IsAskBeforeDefrag);
  cbShowLines.SetChecked(OptionsSetting.IsShowLine);
}

void TfrmOptions::FormShow() {
  if (IsEnglish(OptionsSetting.Lan)) return;
  TranslateForm(*this, OptionsSetting.Lan);
  // Translated captions run longer: each box takes the width of its group.
  for (ui::CheckBox* box : {&cbCreateRestore, &cbAskBeforeDefrag, &cbShowLines}) {
    box->SetWidth(GroupBox2.Width() - box->Left() - kGroupInset);
  }
}

void TfrmOptions::bOKClick() {
  OptionsSetting.RestorePoint = cbCreateRestore.Checked();
  OptionsSetting.IsAskBeforeDefrag = cbAskBeforeDefrag.Checked();
  OptionsSetting.IsShowLine = cbShowLines.Checked();
  SetModalResult(ui::kMrOk);
}

}  // namespace hv
