#include "names.h"

namespace hv::regf {
namespace {

void PutUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

template <class UnitAt>
std::string Units16ToUtf8(std::size_t n, UnitAt at) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t c = at(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
      const std::uint32_t d = at(i + 1);
      if (d >= 0xDC00 && d < 0xE000) {
        PutUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
        ++i;
        continue;
      }
    }
    PutUtf8(out, (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
  }
  return out;
}

}  // namespace

std::string NameToUtf8(const NameRef& name) {
  return Units16ToUtf8(name.Units(), [&](std::size_t i) { return static_cast<std::uint32_t>(name.Unit(static_cast<std::uint32_t>(i))); });
}

std::string Utf16ToUtf8(const std::uint8_t* bytes, std::size_t size) {
  return Units16ToUtf8(size / 2, [&](std::size_t i) { return static_cast<std::uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); });
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > s.size()) {
        len = 1;
      } else {
        cp = c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
          const unsigned char d = static_cast<unsigned char>(s[i + k]);
          if ((d & 0xC0) != 0x80) {
            cp = 0xFFFD;
            len = 1;
            break;
          }
          cp = (cp << 6) | (d & 0x3F);
        }
      }
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp);
    }
    i += len;
  }
  return out;
}

bool NameMatches(const NameRef& stored, std::string_view utf8) {
  const std::u16string want = Utf8ToUtf16(utf8);
  if (want.size() != stored.Units()) return false;
  for (std::uint32_t i = 0; i < stored.Units(); ++i) {
    if (Upcase(stored.Unit(i)) != Upcase(want[i])) return false;
  }
  return true;
}

}  // namespace hv::regf
