#include "ui/win32/skin_paint.h"

#include <algorithm>

namespace w32ui {
namespace {

constexpr Palette kWinXp = {
    RGB(0xFF, 0xFF, 0xFF), RGB(0xE3, 0xE8, 0xEF),  // face
    RGB(0xFF, 0xFF, 0xFF), RGB(0xD6, 0xE6, 0xF8),  // hot
    RGB(0xC9, 0xD8, 0xEA), RGB(0xE6, 0xEE, 0xF7),  // pressed
    RGB(0x7A, 0x8C, 0xA5), RGB(0x3C, 0x7F, 0xD1),  // borders
    RGB(0x5F, 0xB0, 0xF0), RGB(0x23, 0x72, 0xC8),  // bar
    RGB(0x1E, 0x5A, 0xA8),                         // check
};
constexpr Palette kBlueGlass = {
    RGB(0xF4, 0xF9, 0xFF), RGB(0xC9, 0xDD, 0xF5),
    RGB(0xFF, 0xFF, 0xFF), RGB(0xB5, 0xD3, 0xF6),
    RGB(0xA9, 0xC7, 0xEC), RGB(0xD3, 0xE4, 0xF8),
    RGB(0x5A, 0x80, 0xB5), RGB(0x1F, 0x6B, 0xC9),
    RGB(0x7C, 0xC0, 0xF5), RGB(0x2A, 0x7B, 0xD6),
    RGB(0x16, 0x4C, 0x96),
};
constexpr Palette kDeepBlue = {
    RGB(0xE9, 0xEF, 0xF8), RGB(0xB7, 0xC7, 0xDE),
    RGB(0xF5, 0xF8, 0xFD), RGB(0xA7, 0xBF, 0xE2),
    RGB(0x93, 0xAC, 0xD1), RGB(0xC0, 0xD0, 0xE8),
    RGB(0x2F, 0x4A, 0x75), RGB(0x12, 0x3F, 0x86),
    RGB(0x3D, 0x74, 0xC2), RGB(0x15, 0x3F, 0x85),
    RGB(0x12, 0x3F, 0x86),
};

int Channel(COLORREF c, int shift) { return int((c >> shift) & 0xFF); }

// Clips further drawing to a rounded rectangle until the DC is restored.
void ClipRounded(HDC dc, const RECT& r, int radius) {
  POINT origin{};
  ::GetViewportOrgEx(dc, &origin);
  UniqueRegion region(::CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, radius, radius));
  ::OffsetRgn(region.get(), origin.x, origin.y);
  ::ExtSelectClipRgn(dc, region.get(), RGN_AND);
}

void FrameRounded(HDC dc, const RECT& r, int radius, COLORREF color) {
  UniquePen pen(::CreatePen(PS_SOLID, 1, color));
  Selected p(dc, pen.get());
  Selected b(dc, ::GetStockObject(NULL_BRUSH));
  ::RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
}

void Line(HDC dc, int x0, int y0, int x1, int y1, COLORREF color, int width = 1) {
  UniquePen pen(::CreatePen(PS_SOLID, width, color));
  Selected p(dc, pen.get());
  ::MoveToEx(dc, x0, y0, nullptr);
  ::LineTo(dc, x1, y1);
}

}  // namespace

const Palette& PaletteFor(const std::string& style) {
  if (style == "BlueGlass") return kBlueGlass;
  if (style == "DeepBlue") return kDeepBlue;
  return kWinXp;
}

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
  UniqueBrush brush(::CreateSolidBrush(color));
  ::FillRect(dc, &r, brush.get());
}

void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  const int h = r.bottom - r.top;
  if (h <= 0) return;
  for (int y = 0; y < h; ++y) {
    const int t = h > 1 ? y * 256 / (h - 1) : 0;
    auto mix = [&](int shift) { return (Channel(top, shift) * (256 - t) + Channel(bottom, shift) * t) / 256; };
    const RECT row{r.left, r.top + y, r.right, r.top + y + 1};
    FillSolid(dc, row, RGB(mix(0), mix(8), mix(16)));
  }
}

void PaintText(HDC dc, const RECT& r, const std::string& text, HFONT font, COLORREF color,
               hv::ui::Align align, bool vcenter) {
  Selected f(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  UINT format = DT_SINGLELINE | DT_NOCLIP;
  format |= align == hv::ui::Align::Right ? DT_RIGHT : align == hv::ui::Align::Center ? DT_CENTER : DT_LEFT;
  if (vcenter) format |= DT_VCENTER;
  RECT box = r;
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
}

void PaintSkinButton(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                     const Palette& palette, ControlState state) {
  const int radius = 6;
  const bool down = state.pressed && state.hot;
  COLORREF top = palette.faceTop, bottom = palette.faceBottom;
  if (!state.enabled) {
    top = bottom = ::GetSysColor(COLOR_BTNFACE);
  } else if (down) {
    top = palette.pressedTop;
    bottom = palette.pressedBottom;
  } else if (state.hot) {
    top = palette.hotTop;
    bottom = palette.hotBottom;
  }
  const int saved = ::SaveDC(dc);
  ClipRounded(dc, r, radius);
  FillGradient(dc, r, top, bottom);
  ::RestoreDC(dc, saved);
  const COLORREF border = !state.enabled ? ::GetSysColor(COLOR_BTNSHADOW)
                          : (state.hot || state.focused) ? palette.hotBorder
                                                         : palette.border;
  FrameRounded(dc, r, radius, border);
  if (state.isDefault && state.enabled) {
    // The default button's second frame, inside the first.
    FrameRounded(dc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, radius - 1, palette.hotBorder);
  }
  RECT text = r;
  if (down) ::OffsetRect(&text, 1, 1);
  const COLORREF color = state.enabled ? ::GetSysColor(COLOR_BTNTEXT) : ::GetSysColor(COLOR_GRAYTEXT);
  Selected f(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | (state.hideAccel ? DT_HIDEPREFIX : 0));
  if (state.focused) {
    RECT focus = r;
    ::InflateRect(&focus, -3, -3);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawFocusRect(dc, &focus);
  }
}

void PaintCheckBox(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                   const Palette& palette, bool checked, ControlState state) {
  const int size = 13;
  const int top = r.top + (r.bottom - r.top - size) / 2;
  const RECT box{r.left, top, r.left + size, top + size};
  COLORREF fillTop = RGB(0xF2, 0xF4, 0xF7), fillBottom = RGB(0xFF, 0xFF, 0xFF);
  if (!state.enabled) {
    fillTop = fillBottom = ::GetSysColor(COLOR_BTNFACE);
  } else if (state.pressed && state.hot) {
    fillTop = palette.pressedTop;
    fillBottom = palette.pressedBottom;
  } else if (state.hot) {
    fillTop = palette.hotBottom;
    fillBottom = palette.hotTop;
  }
  FillGradient(dc, box, fillTop, fillBottom);
  FrameRounded(dc, box, 3, state.hot && state.enabled ? palette.hotBorder : palette.border);
  if (checked) {
    const COLORREF mark = state.enabled ? palette.check : ::GetSysColor(COLOR_GRAYTEXT);
    Line(dc, box.left + 3, box.top + 6, box.left + 5, box.top + 9, mark, 2);
    Line(dc, box.left + 5, box.top + 9, box.left + 10, box.top + 3, mark, 2);
  }
  RECT text{r.left + size + 5, r.top, r.right, r.bottom};
  const COLORREF color = state.enabled ? ::GetSysColor(COLOR_WINDOWTEXT) : ::GetSysColor(COLOR_GRAYTEXT);
  PaintText(dc, text, caption, font, color, hv::ui::Align::Left, true);
  if (state.focused) {
    Selected f(dc, font);
    RECT measure = text;
    ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &measure,
                DT_SINGLELINE | DT_CALCRECT);
    const int h = measure.bottom - measure.top;
    RECT focus{text.left - 1, r.top + (r.bottom - r.top - h) / 2 - 1, measure.right + 1,
               r.top + (r.bottom - r.top + h) / 2 + 1};
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawFocusRect(dc, &focus);
  }
}

void PaintProgressBar(HDC dc, const RECT& r, double fraction, const std::string& text, HFONT font,
                      const Palette& palette) {
  const int radius = 5;
  const int saved = ::SaveDC(dc);
  ClipRounded(dc, r, radius);
  FillGradient(dc, r, RGB(0xF3, 0xF5, 0xF8), RGB(0xFF, 0xFF, 0xFF));
  const int inner = r.right - r.left;
  const int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * inner + 0.5);
  const RECT bar{r.left, r.top, r.left + filled, r.bottom};
  FillGradient(dc, bar, palette.barTop, palette.barBottom);
  ::RestoreDC(dc, saved);
  FrameRounded(dc, r, radius, palette.border);
  if (text.empty()) return;
  // The text is white where it lies over the bar and dark beside it.
  const int before = ::SaveDC(dc);
  ::IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
  PaintText(dc, r, text, font, RGB(0xFF, 0xFF, 0xFF), hv::ui::Align::Center, true);
  ::RestoreDC(dc, before);
  const int after = ::SaveDC(dc);
  ::ExcludeClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
  PaintText(dc, r, text, font, RGB(0x22, 0x2B, 0x38), hv::ui::Align::Center, true);
  ::RestoreDC(dc, after);
}

void PaintFlatButton(HDC dc, const RECT& r, const std::string& caption, HFONT font,
                     COLORREF border, ControlState state) {
  const bool down = state.pressed && state.hot;
  if (state.enabled && (state.hot || state.pressed)) {
    const COLORREF fill = down ? RGB(0xC4, 0xD8, 0xF2) : RGB(0xEE, 0xF4, 0xFD);
    UniqueBrush brush(::CreateSolidBrush(fill));
    UniquePen pen(::CreatePen(PS_SOLID, 1, down ? RGB(0x3C, 0x7F, 0xD1) : (border ? border : RGB(0x9D, 0xB8, 0xDC))));
    Selected b(dc, brush.get());
    Selected p(dc, pen.get());
    ::RoundRect(dc, r.left, r.top, r.right, r.bottom, 5, 5);
  }
  RECT text = r;
  if (down) ::OffsetRect(&text, 1, 1);
  const COLORREF color = !state.enabled ? ::GetSysColor(COLOR_GRAYTEXT)
                         : state.hot    ? RGB(0x12, 0x4A, 0x94)
                                        : ::GetSysColor(COLOR_BTNTEXT);
  Selected f(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | (state.hideAccel ? DT_HIDEPREFIX : 0));
  if (state.focused) {
    RECT focus = r;
    ::InflateRect(&focus, -2, -2);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawFocusRect(dc, &focus);
  }
}

void PaintGroupBox(HDC dc, const RECT& r, const std::string& caption, HFONT font) {
  Selected f(dc, font);
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(dc, &metrics);
  const int half = caption.empty() ? 0 : metrics.tmHeight / 2;
  const RECT frame{r.left, r.top + half, r.right, r.bottom};
  const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW);
  const COLORREF light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
  RECT outer = frame;
  ::OffsetRect(&outer, 1, 1);
  FrameRounded(dc, outer, 5, light);
  FrameRounded(dc, RECT{frame.left, frame.top, frame.right - 1, frame.bottom - 1}, 5, shadow);
  if (!caption.empty()) {
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    const RECT gap{r.left + 6, r.top, r.left + 10 + extent.cx, r.top + metrics.tmHeight};
    FillSolid(dc, gap, ::GetSysColor(COLOR_BTNFACE));
    PaintText(dc, RECT{gap.left + 2, gap.top, gap.right, gap.bottom}, caption, font,
              ::GetSysColor(COLOR_WINDOWTEXT), hv::ui::Align::Left);
  }
}

void PaintBevel(HDC dc, const RECT& r) {
  RECT edge = r;
  ::DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
}

}  // namespace w32ui
