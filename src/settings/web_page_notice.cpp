#include "settings/web_page_notice.h"

#include "platform/web_page.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

namespace hv {

void OpenWebPageOrSay(ui::Form& owner, const std::string& address) {
  if (OpenWebPage(owner.Handle(), address)) return;
  std::string text = GetLanString(kResWebPageFailed, kWebPageFailedText);
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, address);
  owner.Tk().MessageBoxA(&owner, text, BuiltinText(kTextProductTitle), ui::kMbOk);
}

}  // namespace hv
