#include "workflow/scan_report.h"

#include "platform/platform.h"
#include "settings/ini_file.h"

namespace hv {

std::string ReportTimeStamp(const SystemTime& time) {
  std::string text = Os().FormatShortDate(time);
  const bool midnight = time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0 &&
                        time.wMilliseconds == 0;
  if (!midnight) text += " " + Os().FormatLongTime(time);
  return text;
}

void EraseScanReport(const std::string& path) { IniFile(path).EraseSection(kScanResultSection); }

void WriteScanReport(const std::string& path, const ScanFigures& figures, const std::string& time) {
  IniFile report(path);
  try {
    report.WriteString(kScanResultSection, "Current Size", figures.currentSize);
    report.WriteString(kScanResultSection, "New Size", figures.newSize);
    report.WriteString(kScanResultSection, "Size Reduction", figures.sizeReduction);
    report.WriteString(kScanResultSection, "Compact Percent", figures.compactPercent);
    report.WriteString(kScanResultSection, "Time", time);
  } catch (const IniWriteError&) {
    try {
      report.EraseSection(kScanResultSection);
    } catch (const IniWriteError&) {
      // The file refuses every write; nothing of the report reached it.
    }
    throw;
  }
}

}  // namespace hv
