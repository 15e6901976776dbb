#include "settings/translate_form.h"

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

}  // namespace

void TranslateForm(ui::Form& Form, const std::string& Language) {
  const std::string path = LanguageFilePath(Language);
  if (path.empty()) return;
  const IniFile ini(path);
  const std::string& section = Form.Name();
  const std::string menuSection = "Menu_" + section;

  Form.SetCaption(ini.ReadString(section, section, Form.Caption()));

  for (const auto& component : Form.Components()) {
    const ui::Kind kind = component->GetKind();
    const std::string& name = component->Name();
    switch (TextKindOf(kind)) {
      case TextKind::Caption: {
        auto& control = static_cast<ui::Control&>(*component);
        control.SetCaption(ini.ReadString(section, name, control.Caption()));
        break;
      }
      case TextKind::Columns: {
        auto& list = static_cast<ui::ListView&>(*component);
        for (std::size_t i = 0; i < list.Columns().size(); ++i) {
          const std::string key = name + "_Column" + std::to_string(i);
          list.SetColumnCaption(i, ini.ReadString(section, key, list.Columns()[i].caption));
        }
        break;
      }
      case TextKind::MenuItem: {
        auto& item = static_cast<ui::MenuItem&>(*component);
        if (item.IsSeparator()) continue;
        item.SetCaption(ini.ReadString(menuSection, name, item.Caption()));
        break;
      }
      case TextKind::None:
        break;
    }
    if (HasHint(kind)) {
      auto& control = static_cast<ui::Control&>(*component);
      if (control.ShowHint()) {
        control.SetHint(ini.ReadString(section, name + "Hint", control.Hint()));
      }
    }
  }
}

}  // namespace hv
