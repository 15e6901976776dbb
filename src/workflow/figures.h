#pragma once
// The figures of an analysis: per-hive reduction, the compact percent and its
// text. Pure arithmetic, so that the rounding rules are tested on their own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv {

// The sizes an accepted analysis measured, in bytes: one entry per hive in
// the list's order, and the totals the labels show.
struct HiveFigures {
  std::int64_t current = 0;
  std::int64_t newSize = 0;
  bool copied = false;  // false: no copy was written, the hive is not compacted
};
struct AnalysisFigures {
  std::vector<HiveFigures> hives;
  std::int64_t totalCurrent = 0;
  std::int64_t totalNew = 0;
};

// Reduction of one hive as shown in its row: whole percent, truncated, "0%"
// when the copy is not smaller or the hive measures nothing.
std::string ReductionText(std::int64_t currentSize, std::int64_t newSize);

// The compact percent of the totals as the 32-bit value the advice compares;
// nothing when there is no reduction to speak of (the new total is larger, or
// the current total is zero or unreadable).
std::optional<float> CompactPercent(std::int64_t totalCurrent, std::int64_t totalNew);

// `value` with exactly one decimal, rounded half away from zero on its exact
// decimal value, `decimalSeparator` between the digits, and "%": 15.27 gives
// "15.3%".
std::string PercentText(float value, char decimalSeparator);

}  // namespace hv
