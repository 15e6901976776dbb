#include "settings/language_menu.h"

#include "platform/shown_path.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"

namespace hv {

std::string LanguageNameOf(const ui::MenuItem& item) {
  return item.Name().size() > 2 ? item.Name().substr(2) : std::string();
}

std::string MissingLanguageMessage(const std::string& language, const std::string& path) {
  std::string message = ShownPath(path) + " " + GetLanString(kResNotFound, BuiltinText(kTextNotFound));
  if (language == "Other") {
    message += "\r\n\r\nPlease visit ";
    message += BuiltinText(kTextTranslatePageUrl);
  }
  return message;
}

}  // namespace hv
