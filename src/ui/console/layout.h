#pragma once
// Laying a form out on character cells.
//
// The design positions (pixels) give the order and the relations, the texts
// give the sizes, measured in cells:
// - controls side by side in the design stay side by side when the later
//   one's text fits beside the earlier; otherwise the later one (with the
//   column it belongs to) moves below them, to the start of their row;
// - controls one above the other stay so, and controls whose design lefts
//   nearly agree keep a common left edge;
// - labels and check boxes wrap to the room they have, buttons take their
//   caption's width; no caption is clipped and no control dropped;
// - a borderless form fills its area, its largest list taking the width and
//   height left over (what lies to its right or below it moves along); a
//   framed form is a box sized to its content, centred.
// When the form cannot be laid out whole in the area, `fits` is false.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

// A cell rectangle.
struct CellRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct PlacedControl {
  const Control* control = nullptr;
  CellRect cell;
  // Labels: the caption's lines as drawn (with the key marked); check boxes:
  // the caption's lines without the box.
  std::vector<std::string> lines;
};

struct FormLayout {
  bool fits = false;
  bool framed = false;
  CellRect box;     // the form's cells, frame included
  CellRect client;  // inside the frame
  std::vector<PlacedControl> placed;  // shown controls, component order
  const PlacedControl* Find(const Control& control) const;
};

struct LayoutOptions {
  int codePage = 1252;
  // The letters shown as keys ("[A]nalyze"), which the texts' widths include.
  std::map<const Control*, char> keys;
  bool framed = false;
};

// Lays `form` out in `area` (for a framed form, the most it may take).
FormLayout LayoutForm(const Form& form, CellRect area, const LayoutOptions& options);

// The text a control shows, as drawn (UTF-8; labels, buttons and check boxes
// with their key marked); empty for other kinds.
std::string DrawnCaption(const Control& control, const LayoutOptions& options);

// Splits text at line ends and wraps it to `width` cells (UTF-8).
std::vector<std::string> WrapText(std::string_view utf8, int width);

// Where each of a row of labels (UTF-8) starts so that the row is centred in
// the `width` cells from `x` with equal gaps between the labels and at both
// ends; packed from `x`, a cell apart, when the room is short.
std::vector<int> CentredRow(const std::vector<std::string>& labels, int x, int width);

// Text shortened to `width` cells with "…" in its middle; the end keeps
// more, since names differ at their ends.
std::string ElideMiddle(const std::string& utf8, int width);

}  // namespace hv::ui::console
