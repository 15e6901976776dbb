// Prints the advance widths of the forms' font, "MS Sans Serif", for the
// characters 32..255 of the ANSI code page: one line per font
// ("<height> <regular|bold>:" and 224 widths). Run under Wine with its
// bitmap "MS Sans Serif" installed to make tests/fit/ms_sans_serif_widths.txt.
#include <cstdio>

#include "platform/win32/win.h"

int main() {
  HDC dc = ::GetDC(nullptr);
  for (int height : {-11, -13}) {
    for (bool bold : {false, true}) {
      HFONT font = ::CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
      HGDIOBJ old = ::SelectObject(dc, font);
      char face[64] = {};
      ::GetTextFaceA(dc, sizeof face, face);
      std::printf("%d %s %s:", height, bold ? "bold" : "regular", face);
      for (int c = 32; c < 256; ++c) {
        const char text[1] = {static_cast<char>(c)};
        SIZE size{};
        ::GetTextExtentPoint32A(dc, text, 1, &size);
        std::printf(" %ld", static_cast<long>(size.cx));
      }
      std::printf("\n");
      ::SelectObject(dc, old);
      ::DeleteObject(font);
    }
  }
  ::ReleaseDC(nullptr, dc);
  return 0;
}
