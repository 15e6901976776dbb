#pragma once
// TfrmAbout: the product's title, version, legal notice and addresses.
#include "ui/component.h"
#include "ui/form.h"

namespace hv {

class TfrmAbout : public ui::Form {
 public:
  TfrmAbout(ui::Toolkit& toolkit, ui::Form* owner);

  ui::Control& Image2;  // banner
  ui::Control& Image1;  // product icon
  ui::Control& Label1;  // product title, set when shown
  ui::Control& Label2;
  ui::Control& lCopywrite;
  ui::Control& Label3;
  ui::Control& Panel2;
  ui::Control& lbEAddress;  // the home page address, shown as a link
  ui::Control& bOK;

  // Sets the title, then translates: a language file may replace the title too.
  void FormShow() override;
  // After a translation: the version and build, the years and the support
  // and web addresses are the program's own, whatever the language file
  // carries (translations hold them only as they were when translated).
  void TakeBuiltinFacts();
  // Opens the home page with this dialog as the owner; the dialog stays open.
  void lbEAddressClick();
};

}  // namespace hv
