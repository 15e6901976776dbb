#pragma once
// Keyboard access on the terminal: which controls can be pressed, and the
// letter that presses each. A caption's `&` marker chooses the letter; else
// the first letter of the caption that no earlier control took.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

// Controls a user presses: buttons, check boxes, and labels or pictures
// that have a click handler.
bool IsPressable(const Control& control);

// Usable pressable controls of the form in component order (Tab order).
std::vector<Control*> PressableControls(const Form& form);

// Letters (lower case) for the usable pressable controls with a caption;
// letters in `reserved` are never given.
std::map<const Control*, char> AssignAccelerators(const Form& form, std::string_view reserved);

// The caption without `&` markers ("&&" is a literal '&'), and the index of
// the marked letter in it (npos when none).
struct StrippedCaption {
  std::string text;
  std::size_t marked = std::string::npos;
};
StrippedCaption StripAccelerator(std::string_view caption);

// The caption as drawn with its key: "[A]nalyze Registry", "E[x]it"; the
// caption alone when `key` is 0 or not in it.
std::string CaptionWithKey(std::string_view caption, char key);

}  // namespace hv::ui::console
