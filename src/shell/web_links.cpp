// The main window's web links: the home page, help and update pages, and
// the link label.
#include "resources/builtin_texts.h"
#include "settings/web_page_notice.h"
#include "shell/main_form.h"
#include "ui/link_label_open.h"

namespace hv {

void TfrmMain::bHomepageClick() { OpenWebPageOrSay(*this, BuiltinText(kTextHomePageUrl)); }

void TfrmMain::Homepage1Click() { OpenWebPageOrSay(*this, BuiltinText(kTextHomePageUrl)); }

void TfrmMain::pmiHelpClick() { OpenWebPageOrSay(*this, BuiltinText(kTextHelpPageUrl)); }

void TfrmMain::pmiCheckUpdateClick() { OpenWebPageOrSay(*this, BuiltinText(kTextUpdatePageUrl)); }

void TfrmMain::suiURLLabel1Click() { OpenLinkLabel(suiURLLabel1); }

}  // namespace hv
