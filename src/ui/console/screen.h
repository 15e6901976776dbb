#pragma once
// Drawing on a grid of character cells, and painting a form onto it from its
// component model alone: each component by its kind, where the layout
// (layout.h) put it. No form-specific code lives here, so every form
// draws. Terminal-independent: the front end writes the result out.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/console/layout.h"
#include "ui/console/terminal_look.h"
#include "ui/form.h"

namespace hv::ui::console {

enum Style : std::uint8_t {
  kPlain = 0,
  kBold = 1,
  kReverse = 2,
  kDim = 4,
  kUnderline = 8,
  // Roles, coloured where the terminal has colour and ignored elsewhere.
  kTitle = 16,   // a title bar
  kHeader = 32,  // a list's column captions
  kBar = 64,     // the done part of a progress bar
};

class Canvas {
 public:
  Canvas(int cols, int rows);
  int Cols() const { return cols_; }
  int Rows() const { return rows_; }

  // Writes UTF-8 text from (x, y), one code point a cell, clipped to the
  // canvas and to `maxWidth` cells when not negative.
  void Text(int x, int y, std::string_view utf8, std::uint8_t style = kPlain, int maxWidth = -1);
  void Fill(int x, int y, int width, int height, std::uint8_t style = kPlain);
  // A box with `title` in its top edge.
  void Frame(int x, int y, int width, int height, std::string_view title, std::uint8_t style = kPlain);
  void HLine(int x, int y, int width, std::uint8_t style = kPlain);
  // A line across a box from its left edge at `x` to its right edge,
  // joined to both (├──┤).
  void Separator(int x, int y, int width, std::uint8_t style = kPlain);
  // A box's frame with a blank cell all round it, so that nothing of what
  // lies beneath touches the box.
  void Box(int x, int y, int width, int height, std::string_view title, std::uint8_t style = kPlain);
  // Whether the cells [x, x + width) of row y show nothing.
  bool Blank(int x, int y, int width) const;

  // Adds the style bits `bits` to the cells of the rectangle.
  void Tint(int x, int y, int width, int height, std::uint8_t bits);

  // The rows as text; with `ansi`, styles become SGR escapes, as `look`
  // allows (with `look.ascii`, the text is ASCII: frames of +-| and a ? for
  // any other character that is not).
  std::vector<std::string> Lines(bool ansi, const Look& look = {}) const;

 private:
  struct Cell {
    std::string glyph = " ";
    std::uint8_t style = kPlain;
  };
  Cell* At(int x, int y);
  int cols_;
  int rows_;
  std::vector<Cell> cells_;
};

// What the front end knows of a list beyond the model: the row the user
// selected, the first row shown, and the line under it.
struct ListState {
  int selected = -1;
  int top = 0;
  bool focused = false;
  // Shown on the list's last line when not empty.
  std::string info;
};

struct PaintOptions {
  int codePage = 1252;
  const Control* focus = nullptr;
  std::map<const Control*, char> keys;
  // Draw the form in a frame with its caption (dialogs); the client area is
  // then inside the frame.
  bool framed = false;
  std::map<const ListView*, ListState> lists;
};

// Lays the form out in `area` (see layout.h) and paints it there.
FormLayout PaintForm(Canvas& canvas, const Form& form, CellRect area, const PaintOptions& options);
// Paints a form laid out before.
void PaintLayout(Canvas& canvas, const Form& form, const FormLayout& layout, const PaintOptions& options);

// The data rows a list laid out in `cell` shows at once.
int ListPageRows(const CellRect& cell, bool withInfo);

}  // namespace hv::ui::console
