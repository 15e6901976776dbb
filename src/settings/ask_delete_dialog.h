#pragma once
// TfrmAskDelete: the question before a defragmentation. Its check box
// switches the question off in the settings record at once, before the
// dialog closes; the caller saves the record whatever the answer.
#include "ui/component.h"
#include "ui/form.h"

namespace hv {

class TfrmAskDelete : public ui::Form {
 public:
  TfrmAskDelete(ui::Toolkit& toolkit, ui::Form* owner);

  ui::Control& GroupBox1;
  ui::Control& Label1;
  ui::Control& bOK;      // "&Yes": modal result Yes
  ui::Control& bCancel;  // "&No": modal result No
  ui::Control& Label2;
  ui::Control& Label3;
  ui::Control& Panel2;
  ui::CheckBox& cbAsk;

  void FormShow() override;
  void cbAskClick();
};

}  // namespace hv
