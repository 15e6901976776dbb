// The main window's language menu: marking the current language, the pop-up,
// and switching the interface to a chosen language.
#include "platform/file_queries.h"
#include "regf/text_case.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "settings/language_menu.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "settings/web_page_notice.h"
#include "shell/main_form.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

namespace hv {

void TfrmMain::MarkCurrentLanguage() {
  for (ui::MenuItem* item : pmLanguage.Items()) {
    // A separator stands for no language, also when Lan is empty.
    item->SetChecked(!item->IsSeparator() && SameText(LanguageNameOf(*item), OptionsSetting.Lan));
  }
}

void TfrmMain::RestoreBuiltinTexts() {
  RestoreFormTexts(*this, builtinTexts_);
  AutoSizeLabels();
  FitButtonWidths();
}

void TfrmMain::bLanguageClick() { Tk().Popup(pmLanguage, Tk().GetCursorPos()); }

void TfrmMain::miEnglishClick(ui::MenuItem& Sender) {
  try {
    const std::string language = LanguageNameOf(Sender);
    // English is built in: no file is needed, and a DLan_English.ini is not
    // read, so the way back to English is always open.
    if (IsEnglish(language)) {
      OptionsSetting.Lan = language;
      for (ui::MenuItem* item : pmLanguage.Items()) item->SetChecked(false);
      Sender.SetChecked(true);
      RestoreBuiltinTexts();
      ShowFigures();
      return;
    }
    const std::string path = LanguageFilePath(language);
    if (!path.empty() && FileExists(path)) {
      OptionsSetting.Lan = language;
      for (ui::MenuItem* item : pmLanguage.Items()) item->SetChecked(false);
      Sender.SetChecked(true);
      TranslateForm(*this, OptionsSetting.Lan);
      ShowFigures();  // the figures follow the language's separators
      AutoSizeLabels();  // translated captions change what the labels cover
      FitButtonWidths();
      return;
    }
    Tk().MessageBoxA(this, MissingLanguageMessage(language, path), BuiltinText(kTextProductTitle),
                     ui::kMbOk);
    OpenWebPageOrSay(*this, BuiltinText(kTextTranslatePageUrl));
  } catch (...) {
    // A failed switch leaves the window as it was; nothing is reported.
  }
}

}  // namespace hv
