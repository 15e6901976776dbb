#pragma once
// Texts of the component model are ANSI bytes in the program's code page
// (Windows-1252 for the shipped languages); the terminal and the transcript
// speak UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace hv::ui::console {

inline constexpr int kCodePage1252 = 1252;   // Windows Western European
inline constexpr int kCodePageLatin1 = 28591;  // ISO 8859-1
inline constexpr int kCodePageUtf8 = 65001;    // texts already UTF-8: copied

// Whether AnsiToUtf8 knows the code page.
bool IsSupportedCodePage(int codePage);

// Converts ANSI bytes to UTF-8. Bytes the code page leaves undefined map to
// the C1 control of the same value, as Windows does; an unknown code page is
// read as Windows-1252.
std::string AnsiToUtf8(std::string_view ansi, int codePage);

// Number of characters (code points) in a UTF-8 string: the columns it takes
// on a terminal for the scripts the shipped languages use.
std::size_t Utf8Length(std::string_view utf8);

// The code points of a UTF-8 string, one string each; a sequence cut short
// at the end is one code point.
std::vector<std::string> Utf8Glyphs(std::string_view utf8);

}  // namespace hv::ui::console
