#pragma once
// The key-hint line at the foot of the terminal: what the focused form's
// keys do, fitted to the width. Hints that do not fit are left out, least
// important first; a hint is shown whole or not at all.
#include <string>
#include <vector>

namespace hv::ui::console {

struct KeyHint {
  std::string keys;    // "Tab", "Enter" (UTF-8)
  std::string action;  // "next", "press"
  // Lower is more important; equal ones go in their order.
  int priority = 0;
};

// The hints, in their order, separated by two spaces, as many as fit in
// `width` cells, dropping the least important first. `note` (the focused
// control's hint) leads, followed by "  |  ", when it fits beside them all;
// otherwise it is left out, or shortened at a space when nothing else fits.
std::string FitHints(const std::string& note, const std::vector<KeyHint>& hints, int width);

}  // namespace hv::ui::console
