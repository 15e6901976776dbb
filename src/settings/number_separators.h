#pragma once
// How the current language writes the figures it shows: the character
// between groups of three digits and the one before the decimals.
#include <string>

namespace hv {

inline constexpr const char* kResThousandSeparator = "RES_Thousand_Separator";
inline constexpr const char* kResDecimalSeparator = "RES_Decimal_Separator";

struct NumberSeparators {
  char thousands = ',';
  char decimal = '.';
};

// The separators of stored figures and of English: "," between groups and
// the decimal separator of the user's locale. The scan report keeps these
// whatever the language, so that the scripts reading it see one format.
NumberSeparators StoredNumberSeparators();

// The separators of the current language (OptionsSetting.Lan): English and a
// language file without the keys give StoredNumberSeparators(); otherwise
// the values of kResThousandSeparator and kResDecimalSeparator in its
// "ResourceString" section. A language file is not trusted: a value that is
// not exactly one character, a digit, a sign, "%", a control character or a
// pair of equal separators (which would make a figure ambiguous) gives the
// stored separators for both.
NumberSeparators LanguageNumberSeparators();

// Whether `candidate` can stand between the digits of a figure: one
// printable character (a Windows-1252 byte, so a no-break space 0xA0 is
// one) that is not a digit, a sign or "%".
bool IsSeparatorText(const std::string& candidate);

}  // namespace hv
