#include "shell/web_links.h"

#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "shell/main_form.h"

namespace hv {

void OpenWebPage(HWND owner, const std::string& address) {
  Os().ShellExecuteA(owner, "Open", address.c_str(), nullptr, nullptr, kSwShow);
}

bool OpenLinkLabel(const ui::LinkLabel& label) {
  const std::string& url = label.Url();
  // Blanks are the characters up to and including ' ', as the trim of the
  // original runtime takes them.
  bool blank = true;
  for (char c : url) {
    if (static_cast<unsigned char>(c) > ' ') {
      blank = false;
      break;
    }
  }
  if (blank) return false;
  Os().ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, kSwShow);
  return true;
}

void TfrmMain::bHomepageClick() { OpenWebPage(Handle(), BuiltinText(kTextHomePageUrl)); }

void TfrmMain::Homepage1Click() { OpenWebPage(Handle(), BuiltinText(kTextHomePageUrl)); }

void TfrmMain::pmiHelpClick() { OpenWebPage(Handle(), BuiltinText(kTextHelpPageUrl)); }

void TfrmMain::pmiCheckUpdateClick() { OpenWebPage(Handle(), BuiltinText(kTextUpdatePageUrl)); }

void TfrmMain::suiURLLabel1Click() { OpenLinkLabel(suiURLLabel1); }

}  // namespace hv
