#pragma once
// Translation of a form from a language file, and the way back to the texts
// the form was built with.
#include <map>
#include <string>
#include <utility>

#include "ui/form.h"

namespace hv {

// Applies the language file of `Language` to `Form` and everything it owns:
// the form's caption, the captions of text-bearing components, list view
// column captions ("<name>_Column<i>"), menu item captions (section
// "Menu_<form name>"), and the hints of components whose ShowHint is set
// ("<name>Hint"). Every read defaults to the text currently shown, so a
// missing file or key leaves the text as it is.
void TranslateForm(ui::Form& Form, const std::string& Language);

// Every text of a form that a translation can change, keyed as in a
// language file (section, key).
using FormTexts = std::map<std::pair<std::string, std::string>, std::string>;

// The texts `form` shows now; taken before its first translation, they are
// its built-in English.
FormTexts CaptureFormTexts(ui::Form& form);

// Puts `texts` back on `form`. An empty text is left alone: it is a figure
// or a place for one (the totals), which the form fills itself.
void RestoreFormTexts(ui::Form& form, const FormTexts& texts);

}  // namespace hv
