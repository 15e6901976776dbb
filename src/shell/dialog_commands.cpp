// The main window's Options and About commands.
#include "settings/about_dialog.h"
#include "settings/options.h"
#include "settings/options_dialog.h"
#include "shell/main_form.h"
#include "ui/messages.h"

namespace hv {

void TfrmMain::bOptionsClick() {
  TfrmOptions dialog(Tk(), this);
  if (dialog.ShowModal() != ui::kMrOk) return;
  lvMain.SetGridLines(OptionsSetting.IsShowLine);
  // A failed save escapes to the application's error handler; the grid
  // lines are already set by then.
  ReadWriteOptions(false);
}

void TfrmMain::bAboutClick() {
  TfrmAbout dialog(Tk(), this);
  dialog.ShowModal();
}

}  // namespace hv
