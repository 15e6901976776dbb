#pragma once
// Where the keyboard focus goes on the terminal, as in mc and whiptail: the
// focus starts on the control the user most likely wants (a dialog's default
// button, else the window's first button), the window controls `[_]` `[x]`
// come last in the Tab cycle, and Esc presses the button that backs out.
#include <vector>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

// The window's own controls drawn as `[_]` and `[x]` (pictures that can be
// pressed).
bool IsWindowControl(const Control& control);

// What Tab moves between: the usable pressable controls and lists, in
// component order, the window controls moved to the end.
std::vector<Control*> Focusables(const Form& form);

// The control a form's focus starts on: its usable default button; else the
// first button; else the first focusable that is neither a window control
// nor a link; else the first focusable; null when there is none.
Control* FirstFocus(const Form& form);

// What Esc does on a form.
struct EscapeAction {
  enum class Type {
    Press,    // press `control`: the cancel button, or a dialog's only button
    Nothing,  // that button is there but disabled (a Stop already pressed)
    Close,    // no button backs out: the form is closed
  } type = Type::Close;
  Control* control = nullptr;
};
EscapeAction EscapeFor(const Form& form);

}  // namespace hv::ui::console
