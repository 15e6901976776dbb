#pragma once
// The numbered built-in texts: addresses, titles and message texts, in
// English. Two of them can be replaced through a language file
// (settings/language.h); all others are always shown as they stand here.

namespace hv {

inline constexpr int kTextHomePageUrl = 65201;
inline constexpr int kTextHelpPageUrl = 65202;
inline constexpr int kTextUpdatePageUrl = 65203;
inline constexpr int kTextTranslatePageUrl = 65204;
inline constexpr int kTextProductTitle = 65219;
inline constexpr int kTextVersion = 65220;
inline constexpr int kTextCannotAnalyzeNow = 65221;
inline constexpr int kTextStopProcess = 65222;
inline constexpr int kTextRestartRequired = 65223;
inline constexpr int kTextFragmentRateOnly = 65224;
inline constexpr int kTextNoNeedToCompact = 65225;
inline constexpr int kTextRestorePointFailed = 65226;
inline constexpr int kTextUnsupportedWindows = 65227;
inline constexpr int kTextNotFound = 65228;
inline constexpr int kTextAnalyzeFailed = 65229;
inline constexpr int kTextFinish = 65231;

// The site root, target of the link labels (not a numbered text).
inline constexpr const char* kSiteRootUrl = "https://www.talvixsoftware.com/";
// The main window's class name, by which a second start finds the first.
inline constexpr const char* kInstanceName = "Talvix Hivora Made by Talvix Software";

// The text numbered `id`; the empty string for a number without a text.
const char* BuiltinText(int id);

}  // namespace hv
