#include "shell/startup.h"

#include "resources/builtin_texts.h"
#include "shell/main_form.h"
#include "ui/messages.h"

namespace hv {

int RunApplication(ui::Toolkit& toolkit, const std::string& instanceName, const std::string& installation) {
  if (HWND running = toolkit.FindWindowA(instanceName.c_str()); running != nullptr) {
    toolkit.PostMessageA(running, ui::kWmActivateInstance, 0, 0);
    // While a modal dialog is open the running window is disabled; bringing
    // it forward would bury the dialog under it and the program would look
    // frozen. The window it last activated is the one the user works in.
    const HWND popup = toolkit.GetLastActivePopup(running);
    toolkit.SetForegroundWindow(popup != nullptr ? popup : running);
    return 0;
  }
  const std::string title = BuiltinText(kTextProductTitle);
  toolkit.SetApplicationTitle(installation.empty() ? title : title + " - " + installation);
  TfrmMain mainForm(toolkit, instanceName);
  toolkit.RunMain(mainForm);
  return 0;
}

}  // namespace hv
