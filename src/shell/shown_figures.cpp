// TfrmMain's figures: the list's size columns and the four totals, written
// once in the language's separators for the eye and once in the stored
// format for the scan report.
#include <array>

#include "hive/hive_primitives.h"
#include "settings/number_separators.h"
#include "shell/main_form.h"
#include "workflow/figures.h"

namespace hv {
namespace {

// Current, new, reduction, compact percent.
std::array<std::string, 4> TotalTexts(const AnalysisFigures& figures, NumberSeparators separators) {
  const std::int64_t current = figures.totalCurrent;
  const std::int64_t newTotal = figures.totalNew;
  std::array<std::string, 4> texts = {SizeText(current, separators.thousands), SizeText(newTotal, separators.thousands),
                                      newTotal > current || current <= 0 ? std::string("0 KB")
                                                                      : SizeText(current - newTotal, separators.thousands),
                                      "0%"};
  // Nothing to measure against (new total larger, or a current total of
  // zero or less): "0%".
  if (const std::optional<float> percent = CompactPercent(current, newTotal)) {
    texts[3] = PercentText(*percent, separators.decimal);
  }
  return texts;
}

}  // namespace

void TfrmMain::ShowFigures() {
  if (!figures_) return;
  const NumberSeparators separators = LanguageNumberSeparators();
  for (std::size_t i = 0; i < figures_->hives.size(); ++i) {
    const HiveFigures& hive = figures_->hives[i];
    lvMain.SetSubItem(i, 0, SizeText(hive.current, separators.thousands));
    // A hive whose copy was not written is shown as not compacted.
    lvMain.SetSubItem(i, 1, hive.copied ? SizeText(hive.newSize, separators.thousands) : "n/a");
    lvMain.SetSubItem(i, 2, hive.copied ? ReductionText(hive.current, hive.newSize) : "0%");
  }
  const std::array<std::string, 4> texts = TotalTexts(*figures_, separators);
  lCurrentRegistrySize.SetCaption(texts[0]);
  lNewRegistrySize.SetCaption(texts[1]);
  lSizeReduction.SetCaption(texts[2]);
  lCompactPercent.SetCaption(texts[3]);
}

std::vector<std::string> TfrmMain::StoredTotals() const {
  if (!figures_) return std::vector<std::string>(4);
  const std::array<std::string, 4> texts = TotalTexts(*figures_, StoredNumberSeparators());
  return {texts.begin(), texts.end()};
}

}  // namespace hv
