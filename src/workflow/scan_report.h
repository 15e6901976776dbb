#pragma once
// The scan report: section "Scan Result" of an INI file named on the command
// line, holding the four result figures as shown and the time of writing.
#include <string>

#include "platform/types.h"

namespace hv {

inline constexpr const char* kScanResultSection = "Scan Result";

// The four totals as the main window shows them in English: "," between
// groups and the locale's decimal separator, whatever language is shown.
struct ScanFigures {
  std::string currentSize;
  std::string newSize;
  std::string sizeReduction;
  std::string compactPercent;
};

// The user's short date, a space and the user's long time; the date alone at
// exactly midnight.
std::string ReportTimeStamp(const SystemTime& time);

// Removes the section with all its keys; other sections stay. Throws
// IniWriteError ("Unable to write to <path>") when the file cannot be written.
void EraseScanReport(const std::string& path);

// Writes "Current Size", "New Size", "Size Reduction", "Compact Percent" and
// "Time", in that order. When a key cannot be written, the keys already
// written are taken out again (as far as the file allows), so that the file
// never holds part of a report, and IniWriteError is thrown.
void WriteScanReport(const std::string& path, const ScanFigures& figures, const std::string& time);

}  // namespace hv
