#include "workflow/figures.h"

#include <cmath>
#include <cstdlib>

namespace hv {

std::string ReductionText(std::int64_t currentSize, std::int64_t newSize) {
  if (newSize > currentSize || currentSize <= 0) return "0%";
  return std::to_string((currentSize - newSize) * 100 / currentSize) + "%";
}

std::optional<float> CompactPercent(std::int64_t totalCurrent, std::int64_t totalNew) {
  if (totalNew > totalCurrent || totalCurrent <= 0) return std::nullopt;
  const double quotient = static_cast<double>((totalCurrent - totalNew) * 100) /
                          static_cast<double>(totalCurrent);
  return static_cast<float>(quotient);
}

std::string PercentText(float value, char decimalSeparator) {
  // A float widened to double is exact, and so is the product by ten (24 + 4
  // significant bits), so std::round sees the true decimal value.
  const double tenths = std::round(static_cast<double>(value) * 10.0);
  const bool negative = tenths < 0;
  const long long magnitude = std::llabs(static_cast<long long>(tenths));
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10);
  text += decimalSeparator;
  text += static_cast<char>('0' + magnitude % 10);
  return text + "%";
}

}  // namespace hv
