#include "shell/startup.h"

#include "resources/builtin_texts.h"
#include "shell/main_form.h"
#include "ui/messages.h"

namespace hv {

int RunApplication(ui::Toolkit& toolkit, const std::string& instanceName) {
  if (HWND running = toolkit.FindWindowA(instanceName.c_str()); running != nullptr) {
    toolkit.PostMessageA(running, ui::kWmActivateInstance, 0, 0);
    toolkit.SetForegroundWindow(running);
    return 0;
  }
  toolkit.SetApplicationTitle(BuiltinText(kTextProductTitle));
  TfrmMain mainForm(toolkit, instanceName);
  toolkit.RunMain(mainForm);
  return 0;
}

}  // namespace hv
