#include "ui/console/ansi_text.h"

#include <algorithm>
#include <cstdint>

namespace hv::ui::console {
namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool IsSupportedCodePage(int codePage) {
  return codePage == kCodePage1252 || codePage == kCodePageLatin1 || codePage == kCodePageUtf8;
}

std::string AnsiToUtf8(std::string_view ansi, int codePage) {
  if (codePage == kCodePageUtf8) return std::string(ansi);
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<std::uint8_t>(c);
    char32_t cp = byte;
    if (byte >= 0x80 && byte < 0xA0 && codePage != kCodePageLatin1) cp = kCp1252High[byte - 0x80];
    AppendUtf8(out, cp);
  }
  return out;
}

std::size_t Utf8Length(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) {
    if ((static_cast<std::uint8_t>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::vector<std::string> Utf8Glyphs(std::string_view utf8) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    if (lead >= 0xF0) n = 4;
    else if (lead >= 0xE0) n = 3;
    else if (lead >= 0xC0) n = 2;
    n = std::min(n, utf8.size() - i);
    out.emplace_back(utf8.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace hv::ui::console
