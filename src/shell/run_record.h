#pragma once
// What the main window did in this process, for a front end that must tell
// its caller afterwards (an exit code, a summary, a file for scripts): the
// last analysis, whether it was accepted and why not, and the scan report.
// Written on the UI thread while the window runs; read once it has closed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv {

struct AnalysedHive {
  std::string name;  // \REGISTRY\MACHINE\SOFTWARE
  std::string file;  // as the hivelist names it
  std::int64_t currentSize = 0;
  std::int64_t newSize = 0;  // 0 when no copy was made
  bool copied = false;
  std::string reason;  // why no copy was made, in words
  // After a commit: whether the hive's replacement at the restart was
  // accepted by the system (none: no commit asked for it).
  std::optional<bool> replaceRequested;
};

struct AnalysisRecord {
  bool accepted = false;
  // When not accepted: why, in words.
  std::string refusal;
  std::vector<AnalysedHive> hives;  // empty when the analysis did not run to its end
};

struct RunRecord {
  int analyses = 0;
  std::optional<AnalysisRecord> lastAnalysis;
  bool reportWritten = false;
  std::string reportError;  // why the scan report was not written
};

// This process's record.
RunRecord& TheRunRecord();

}  // namespace hv
