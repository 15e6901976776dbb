#pragma once
// Keyboard letters of a form's buttons. A caption's own "&" marker chooses
// its letter; a caption without one (the flat buttons) gets the first letter
// that no other button of the form took, so that captions and language
// files need no markers.
#include <map>
#include <string>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui {

// The buttons and check boxes a letter can press: visible ones, in the
// form's component order; a disabled one keeps its letter for when it is
// enabled again.
bool TakesMnemonic(const Control& control);

// The caption of each button that has no "&" marker, with "&" before its
// letter ("&Analyze Registry", "D&efrag Registry" when "d" is taken). A
// button none of whose letters is free is left out.
std::map<const Control*, std::string> DerivedMnemonics(const Form& form);

}  // namespace hv::ui
