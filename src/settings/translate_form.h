#pragma once
// Translation of a form from a language file.
#include <string>

#include "ui/form.h"

namespace hv {

// Applies the language file of `Language` to `Form` and everything it owns:
// the form's caption, the captions of text-bearing components, list view
// column captions ("<name>_Column<i>"), menu item captions (section
// "Menu_<form name>"), and the hints of components whose ShowHint is set
// ("<name>Hint"). Every read defaults to the text currently shown, so a
// missing file or key leaves the text as it is.
void TranslateForm(ui::Form& Form, const std::string& Language);

}  // namespace hv
