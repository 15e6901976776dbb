#pragma once
// Conversions between stored names/strings and UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "upcase.h"

namespace hv::regf {

std::string NameToUtf8(const NameRef& name);
// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::uint8_t* bytes, std::size_t size);
// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
// Case-insensitive match of a stored name against a UTF-8 name.
bool NameMatches(const NameRef& stored, std::string_view utf8);

}  // namespace hv::regf
