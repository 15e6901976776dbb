#pragma once
// TfrmOptions: edits the three flags of the settings record. The record
// changes only on OK; the caller saves it then.
#include "ui/component.h"
#include "ui/form.h"

namespace hv {

class TfrmOptions : public ui::Form {
 public:
  // Builds the layout and runs FormCreate (the boxes take the record's flags).
  TfrmOptions(ui::Toolkit& toolkit, ui::Form* owner);

  ui::Control& GroupBox2;
  ui::CheckBox& cbCreateRestore;
  ui::CheckBox& cbAskBeforeDefrag;
  ui::CheckBox& cbShowLines;
  ui::Control& bOK;
  ui::Control& bCancel;

  void FormCreate();
  void FormShow() override;
  // Copies the boxes into the record and closes with OK.
  void bOKClick();
};

}  // namespace hv
