#include "settings/translate_form.h"

#include <optional>

#include "settings/ini_file.h"
#include "settings/language.h"

namespace hv {
namespace {

enum class TextKind { None, Caption, Columns, MenuItem };

// The first rule that a kind matches decides; the order mirrors the class
// tests of the form designer's library.
TextKind TextKindOf(ui::Kind kind) {
  switch (kind) {
    case ui::Kind::Label:
    case ui::Kind::Button:
    case ui::Kind::GroupBox:
    case ui::Kind::Panel:
    case ui::Kind::UrlLabel:
    case ui::Kind::FlatButton:
    case ui::Kind::CheckBox:
    case ui::Kind::SkinButton:
    case ui::Kind::SkinGroupBox:
      return TextKind::Caption;
    case ui::Kind::ListView:
      return TextKind::Columns;
    case ui::Kind::MenuItem:
      return TextKind::MenuItem;
    default:
      return TextKind::None;
  }
}

bool HasHint(ui::Kind kind) {
  switch (kind) {
    case ui::Kind::Timer:
    case ui::Kind::PopupMenu:
    case ui::Kind::MenuItem:
      return false;
    default:
      return true;
  }
}

// Calls `visit(section, key, current)` for every translatable text of
// `form`, in the form's component order; a text is replaced by what `visit`
// returns, unless that is nothing.
template <typename Visit>
void ForEachText(ui::Form& form, const Visit& visit) {
  const std::string& section = form.Name();
  const std::string menuSection = "Menu_" + section;

  if (auto text = visit(section, section, form.Caption())) form.SetCaption(std::move(*text));

  for (const auto& component : form.Components()) {
    const ui::Kind kind = component->GetKind();
    const std::string& name = component->Name();
    switch (TextKindOf(kind)) {
      case TextKind::Caption: {
        auto& control = static_cast<ui::Control&>(*component);
        if (auto text = visit(section, name, control.Caption())) control.SetCaption(std::move(*text));
        break;
      }
      case TextKind::Columns: {
        auto& list = static_cast<ui::ListView&>(*component);
        for (std::size_t i = 0; i < list.Columns().size(); ++i) {
          const std::string key = name + "_Column" + std::to_string(i);
          if (auto text = visit(section, key, list.Columns()[i].caption)) {
            list.SetColumnCaption(i, std::move(*text));
          }
        }
        break;
      }
      case TextKind::MenuItem: {
        auto& item = static_cast<ui::MenuItem&>(*component);
        if (item.IsSeparator()) continue;
        if (auto text = visit(menuSection, name, item.Caption())) item.SetCaption(std::move(*text));
        break;
      }
      case TextKind::None:
        break;
    }
    if (HasHint(kind)) {
      auto& control = static_cast<ui::Control&>(*component);
      if (control.ShowHint()) {
        if (auto text = visit(section, name + "Hint", control.Hint())) control.SetHint(std::move(*text));
      }
    }
  }
}

using Text = std::optional<std::string>;

}  // namespace

void TranslateForm(ui::Form& Form, const std::string& Language) {
  const std::string path = LanguageFilePath(Language);
  if (path.empty()) return;
  const IniFile ini(path);
  ForEachText(Form, [&ini](const std::string& section, const std::string& key, const std::string& current) {
    return Text(ini.ReadString(section, key, current));
  });
}

FormTexts CaptureFormTexts(ui::Form& form) {
  FormTexts texts;
  ForEachText(form, [&texts](const std::string& section, const std::string& key, const std::string& current) {
    texts.emplace(std::pair{section, key}, current);
    return Text();
  });
  return texts;
}

void RestoreFormTexts(ui::Form& form, const FormTexts& texts) {
  ForEachText(form, [&texts](const std::string& section, const std::string& key, const std::string&) {
    const auto found = texts.find({section, key});
    return found == texts.end() || found->second.empty() ? Text() : Text(found->second);
  });
}

}  // namespace hv
