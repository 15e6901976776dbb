#pragma once
// The order Tab moves through a dialog's controls: as they are read, row by
// row from the top and left to right in a row, whatever order the form's
// author gave them.
#include <vector>

#include "ui/component.h"

namespace hv::ui {

// `controls` in reading order by their place in the form (FormBounds):
// controls whose tops lie within half a row of each other share a row.
std::vector<const Control*> VisualOrder(std::vector<const Control*> controls);

}  // namespace hv::ui
