#include "ui/console/accelerators.h"
#include "regf/text_case.h"

#include <cctype>

namespace hv::ui::console {
namespace {

bool IsKeyLetter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool IsPressable(const Control& control) {
  switch (control.GetKind()) {
    case Kind::Button:
    case Kind::SkinButton:
    case Kind::FlatButton:
    case Kind::CheckBox:
    case Kind::ImageButton: return true;
    case Kind::Label:
    case Kind::UrlLabel:
    case Kind::Image:
    case Kind::HoverImage: return static_cast<bool>(control.OnClick);
    default: return false;
  }
}

std::vector<Control*> PressableControls(const Form& form) {
  std::vector<Control*> out;
  for (const auto& component : form.Components()) {
    switch (component->GetKind()) {
      case Kind::Timer:
      case Kind::PopupMenu:
      case Kind::MenuItem: continue;
      default: break;
    }
    auto* control = static_cast<Control*>(component.get());
    if (IsPressable(*control) && control->Usable()) out.push_back(control);
  }
  return out;
}

StrippedCaption StripAccelerator(std::string_view caption) {
  StrippedCaption out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      ++i;
      if (caption[i] != '&' && out.marked == std::string::npos) out.marked = out.text.size();
    } else if (caption[i] == '&') {
      continue;
    }
    out.text += caption[i];
  }
  return out;
}

std::map<const Control*, char> AssignAccelerators(const Form& form, std::string_view reserved) {
  std::map<const Control*, char> keys;
  std::string taken(reserved);
  auto take = [&](const Control* control, char c) {
    c = AsciiLower(c);
    if (!IsKeyLetter(c) || taken.find(c) != std::string::npos) return false;
    taken += c;
    keys[control] = c;
    return true;
  };
  const std::vector<Control*> controls = PressableControls(form);
  // Marked letters first: the form's author chose them.
  for (const Control* control : controls) {
    const StrippedCaption caption = StripAccelerator(control->Caption());
    if (caption.marked != std::string::npos) take(control, caption.text[caption.marked]);
  }
  for (const Control* control : controls) {
    if (keys.count(control) != 0) continue;
    for (char c : StripAccelerator(control->Caption()).text) {
      if (take(control, c)) break;
    }
  }
  return keys;
}

std::string CaptionWithKey(std::string_view caption, char key) {
  const StrippedCaption stripped = StripAccelerator(caption);
  if (key == 0) return stripped.text;
  std::size_t at = stripped.marked;
  if (at == std::string::npos || AsciiLower(stripped.text[at]) != key) {
    at = std::string::npos;
    for (std::size_t i = 0; i < stripped.text.size(); ++i) {
      if (AsciiLower(stripped.text[i]) == key) {
        at = i;
        break;
      }
    }
  }
  if (at == std::string::npos) return stripped.text;
  return stripped.text.substr(0, at) + "[" + stripped.text[at] + "]" + stripped.text.substr(at + 1);
}

}  // namespace hv::ui::console
