#include "ui/console/focus_rules.h"

#include <algorithm>

#include "ui/console/accelerators.h"

namespace hv::ui::console {
namespace {

bool IsButton(const Control& control) {
  const Kind kind = control.GetKind();
  return kind == Kind::Button || kind == Kind::SkinButton || kind == Kind::FlatButton;
}

bool IsLink(const Control& control) {
  return control.GetKind() == Kind::UrlLabel || control.GetKind() == Kind::Label;
}

std::vector<Control*> ShownButtons(const Form& form) {
  std::vector<Control*> out;
  for (const auto& component : form.Components()) {
    const Kind kind = component->GetKind();
    if (kind == Kind::Timer || kind == Kind::PopupMenu || kind == Kind::MenuItem) continue;
    auto* control = static_cast<Control*>(component.get());
    if (IsButton(*control) && control->Showing()) out.push_back(control);
  }
  return out;
}

}  // namespace

bool IsWindowControl(const Control& control) {
  const Kind kind = control.GetKind();
  return (kind == Kind::Image || kind == Kind::HoverImage || kind == Kind::ImageButton) && IsPressable(control);
}

std::vector<Control*> Focusables(const Form& form) {
  const std::vector<Control*> pressable = PressableControls(form);
  std::vector<Control*> out;
  for (const auto& component : form.Components()) {
    const Kind kind = component->GetKind();
    if (kind == Kind::Timer || kind == Kind::PopupMenu || kind == Kind::MenuItem) continue;
    auto* control = static_cast<Control*>(component.get());
    const bool list = kind == Kind::ListView && control->Usable();
    if (list || std::find(pressable.begin(), pressable.end(), control) != pressable.end()) out.push_back(control);
  }
  std::stable_partition(out.begin(), out.end(), [](const Control* c) { return !IsWindowControl(*c); });
  return out;
}

Control* FirstFocus(const Form& form) {
  const std::vector<Control*> controls = Focusables(form);
  if (controls.empty()) return nullptr;
  for (Control* control : controls) {
    if (IsButton(*control) && control->Default()) return control;
  }
  for (Control* control : controls) {
    if (IsButton(*control)) return control;
  }
  for (Control* control : controls) {
    if (!IsWindowControl(*control) && !IsLink(*control)) return control;
  }
  return controls.front();
}

EscapeAction EscapeFor(const Form& form) {
  const std::vector<Control*> buttons = ShownButtons(form);
  Control* chosen = nullptr;
  for (Control* button : buttons) {
    if (button->Cancel()) chosen = button;
  }
  // A dialog with one button (a Stop, a Close) backs out with it.
  if (chosen == nullptr && buttons.size() == 1 && form.Border() != BorderStyle::None) chosen = buttons.front();
  if (chosen == nullptr) return {EscapeAction::Type::Close, nullptr};
  if (!chosen->Usable()) return {EscapeAction::Type::Nothing, chosen};
  return {EscapeAction::Type::Press, chosen};
}

}  // namespace hv::ui::console
