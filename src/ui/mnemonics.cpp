#include "ui/mnemonics.h"
#include "regf/text_case.h"

#include <cctype>
#include <string>
#include <vector>

namespace hv::ui {
namespace {

bool IsLetter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The letter after the caption's first single "&", or 0.
char MarkedLetter(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return AsciiLower(caption[i + 1]);
    ++i;  // "&&" is a literal ampersand
  }
  return 0;
}

bool HasMarker(const std::string& caption) { return MarkedLetter(caption) != 0; }

}  // namespace

bool TakesMnemonic(const Control& control) {
  switch (control.GetKind()) {
    case Kind::Button:
    case Kind::SkinButton:
    case Kind::FlatButton:
    case Kind::CheckBox:
      return control.Showing();
    default:
      return false;
  }
}

std::map<const Control*, std::string> DerivedMnemonics(const Form& form) {
  std::vector<const Control*> buttons;
  for (const auto& component : form.Components()) {
    switch (component->GetKind()) {
      case Kind::Timer:
      case Kind::PopupMenu:
      case Kind::MenuItem:
        continue;
      default:
        break;
    }
    const auto* control = static_cast<const Control*>(component.get());
    if (TakesMnemonic(*control)) buttons.push_back(control);
  }
  // The letters the captions' authors chose come first.
  std::string taken;
  for (const Control* button : buttons) {
    if (const char letter = MarkedLetter(button->Caption()); letter != 0) taken += letter;
  }
  std::map<const Control*, std::string> derived;
  for (const Control* button : buttons) {
    const std::string& caption = button->Caption();
    if (HasMarker(caption) || caption.find('&') != std::string::npos) continue;
    for (std::size_t i = 0; i < caption.size(); ++i) {
      const char letter = AsciiLower(caption[i]);
      if (!IsLetter(caption[i]) || taken.find(letter) != std::string::npos) continue;
      taken += letter;
      derived[button] = caption.substr(0, i) + "&" + caption.substr(i);
      break;
    }
  }
  return derived;
}

}  // namespace hv::ui
