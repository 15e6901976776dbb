#pragma once
// Windows' upper-case rules for UTF-16 code units, as the registry applies them when it sorts
// subkey lists and hashes names. Unlike a C library, these never map one unit to several
// (so ß stays ß) and never leave the Basic Multilingual Plane.
#include <cstdint>
#include <string_view>

namespace hv::regf {

char16_t UpcaseOutsideAscii(char16_t c);
// Inline: sorting checks and hashes call it for every character of every key name.
inline char16_t Upcase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return UpcaseOutsideAscii(c);
}

// A stored name: compressed (one Latin-1 byte per character) or UTF-16LE bytes.
struct NameRef {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;  // in bytes
  bool compressed = false;
  std::uint32_t Units() const { return compressed ? size : size / 2; }
  char16_t Unit(std::uint32_t i) const {
    return compressed ? static_cast<char16_t>(bytes[i])
                      : static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
};

// <0, 0, >0 as Windows orders names in a subkey list: unit by unit after upper-casing.
int CompareNames(const NameRef& a, const NameRef& b);
bool NamesEqual(const NameRef& a, const NameRef& b);  // case-insensitive
// The hash an "lh" list stores for a name.
std::uint32_t NameHash(const NameRef& name);
// The hint an "lf" list stores: the first four characters of a Latin-1 name, zero-padded; 0 for
// a name with characters beyond Latin-1.
std::uint32_t NameHint(const NameRef& name);

}  // namespace hv::regf
