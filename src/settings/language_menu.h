#pragma once
// The language menu's rules, shared by its handlers and their tests.
#include <string>

#include "ui/component.h"

namespace hv {

// The language an item of the language menu stands for: its name without the
// leading "mi" (the first two characters); empty for a shorter name.
std::string LanguageNameOf(const ui::MenuItem& item);

// The text shown when the file of `language` is missing at `path`: the
// path, a space, the "not found" message, and for "Other" (exact case) a
// blank line and where to find out how to make a translation.
std::string MissingLanguageMessage(const std::string& language, const std::string& path);

}  // namespace hv
