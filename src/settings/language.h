#pragma once
// Language files "DLan_<name>.ini" and the messages looked up by key.
// Main thread only; no file is cached.
#include <string>

namespace hv {

// Section of the messages that a language file can replace.
inline constexpr const char* kResourceStringSection = "ResourceString";
inline constexpr const char* kResAnalyzeNoSuccess = "RES_Analyze_NoSuccess";
inline constexpr const char* kResNotFound = "RES_Not_Found";

// True when `name` is "English" with only the letters a-z folded.
bool IsEnglish(const std::string& name);

// The language file of `name`: Os().ProgramFolder() + "DLan_<name>.ini" when
// that file exists, otherwise Os().DataFolder() + "Languages" + separator +
// "DLan_<name>.ini" whether it exists or not (on Windows both folders are the
// program's folder). The separator is the data folder's own trailing one.
//
// A name holding "\", "/" or ".." would reach files outside those folders; it
// gives the empty string. Callers treat an empty path as a missing file and
// must not read it: the private-profile functions would look a bare name up
// in the Windows folder.
std::string LanguageFilePath(const std::string& name);

// The text of message `Key`: `Default` (its built-in English text) when the
// current language (OptionsSetting.Lan) is English; otherwise the value of
// `Key` in the language file's "ResourceString" section, or `Default` when
// the file or the key is missing. A key present with an empty value gives
// the empty text.
std::string GetLanString(const std::string& Key, const std::string& Default);

}  // namespace hv
