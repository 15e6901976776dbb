#pragma once
// The textual picture of a form that scripted runs print (`dump`) and that
// message boxes leave in the transcript. Acceptance tests compare it
// literally, so its shape is a contract:
//
//   FORM <name> "<caption>"
//   <component> "<text>"[ checked][ disabled][ hidden]     one per component
//   <listview>[<i>] "<col0>" "<col1>" ...                   one per row
//
// Texts are converted to UTF-8 and quoted by Quote.
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

// `"` + text + `"`, with `\` and `"` escaped by a backslash and CR / LF
// written as \r / \n, so that every record stays on one line.
std::string Quote(std::string_view utf8);

// What a component shows as its text (ANSI): a control's caption (a memo's
// text), a progress bar's percentage, a menu item's caption ("-" for a
// separator), "" for timers and pop-up menus.
std::string ComponentText(const Component& component);

// The lines of the dump, without line ends.
std::vector<std::string> DumpForm(const Form& form, int codePage);

}  // namespace hv::ui::console
