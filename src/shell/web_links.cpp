// The main window's web links: the home page, help and update pages, and
// the link label.
#include "platform/web_page.h"
#include "resources/builtin_texts.h"
#include "shell/main_form.h"
#include "ui/link_label_open.h"

namespace hv {

void TfrmMain::bHomepageClick() { OpenWebPage(Handle(), BuiltinText(kTextHomePageUrl)); }

void TfrmMain::Homepage1Click() { OpenWebPage(Handle(), BuiltinText(kTextHomePageUrl)); }

void TfrmMain::pmiHelpClick() { OpenWebPage(Handle(), BuiltinText(kTextHelpPageUrl)); }

void TfrmMain::pmiCheckUpdateClick() { OpenWebPage(Handle(), BuiltinText(kTextUpdatePageUrl)); }

void TfrmMain::suiURLLabel1Click() { OpenLinkLabel(suiURLLabel1); }

}  // namespace hv
