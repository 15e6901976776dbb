#pragma once
// The look of the skinned controls. Every function paints into a DC whose
// logical coordinates are those of `r`; none of them touches a window.
#include <string>

#include "ui/component.h"
#include "ui/win32/win_handles.h"

namespace w32ui {

// Interaction state of a control while it is painted.
struct ControlState {
  bool hot = false;      // the pointer is over it
  bool pressed = false;  // a mouse button or the space bar is held on it
  bool enabled = true;
  bool focused = false;    // has the focus and the focus mark shows
  bool isDefault = false;  // the button Enter presses: drawn with a heavier frame
  bool hideAccel = false;  // keyboard letters stay hidden until Alt is pressed
};

// Colours of a built-in theme ("WinXP", "BlueGlass", "DeepBlue"; any other
// name gets the first).
struct Palette {
  COLORREF faceTop, faceBottom;        // push button face
  COLORREF hotTop, hotBottom;          // face under the pointer
  COLORREF pressedTop, pressedBottom;  // face while pressed
  COLORREF border, hotBorder;
  COLORREF barTop, barBottom;          // progress bar fill
  COLORREF check;                      // check mark
};
const Palette& PaletteFor(const std::string& style);

void FillSolid(HDC dc, const RECT& r, COLORREF color);
void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom);

// Text of a label over whatever is already painted (transparent).
void PaintText(HDC dc, const RECT& r, const std::string& text, HFONT font, COLORREF color,
               hv::ui::Align align, bool vcenter = false);

void PaintSkinButton(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                     const Palette& palette, ControlState state);
void PaintCheckBox(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                   const Palette& palette, bool checked, ControlState state);
// `fraction` may exceed 1 (a position beyond the range): the bar is full.
void PaintProgressBar(HDC dc, const RECT& r, double fraction, const std::string& text, HFONT font,
                      const Palette& palette);
void PaintFlatButton(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                     COLORREF border, ControlState state);
void PaintGroupBox(HDC dc, const RECT& r, const std::string& caption, HFONT font);
// A panel with a lowered bevel (a separator line when it is 2 pixels high).
void PaintBevel(HDC dc, const RECT& r);

}  // namespace w32ui
