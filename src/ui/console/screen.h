#pragma once
// Drawing on a grid of character cells, and painting a form onto it from its
// component model alone: each component by its kind and geometry, pixel
// positions scaled to cells. No form-specific code lives here, so every form
// draws. Terminal-independent: the front end writes the result out.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

enum Style : std::uint8_t {
  kPlain = 0,
  kBold = 1,
  kReverse = 2,
  kDim = 4,
  kUnderline = 8,
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
  // Whether the cells [x, x + width) of row y show nothing.
  bool Blank(int x, int y, int width) const;

  // The rows as text; with `ansi`, styles become SGR escapes.
  std::vector<std::string> Lines(bool ansi) const;

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

// A cell rectangle.
struct CellRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct PaintOptions {
  int codePage = 1252;
  const Control* focus = nullptr;
  std::map<const Control*, char> keys;
  // Draw the form in a frame with its caption (dialogs); the client area is
  // then inside the frame.
  bool framed = false;
};

// The cells a form of the given client size takes on a canvas: the whole
// canvas for a borderless form that fits, else a box centred on it.
CellRect PlaceForm(const Form& form, const Canvas& canvas, bool framed);

// Paints the form into `area`; pixel geometry is scaled so that the client
// area fills it.
void PaintForm(Canvas& canvas, const Form& form, CellRect area, const PaintOptions& options);

// Splits text at line ends and wraps it to `width` cells (UTF-8).
std::vector<std::string> WrapText(std::string_view utf8, int width);

}  // namespace hv::ui::console
