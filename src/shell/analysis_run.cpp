// TfrmMain::bAnalyzeRegistryClick: one analysis run, from the in-use guard
// through the scan to the figures and the advice.
#include <algorithm>
#include <cctype>
#include <memory>

#include "hive/hive_catalogue.h"
#include "hive/hive_primitives.h"
#include "hive/progress_dialog.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "shell/main_form.h"
#include "workflow/figures.h"

namespace hv {
namespace {

bool PathNamesSoftware(const std::string& path) {
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("SOFTWARE") != std::string::npos;
}

}  // namespace

void TfrmMain::bAnalyzeRegistryClick() {
  if (HiveNames.empty()) return;

  for (const auto& file : HiveFiles) {
    if (IsFileInUse(CopyPath(file))) {
      Tk().MessageBoxA(this, BuiltinText(kTextCannotAnalyzeNow), BuiltinText(kTextProductTitle),
                       ui::kMbOk);
      return;
    }
  }

  auto dialog = std::make_unique<TfrmGetNewHiveProgess>(*this, *this, *this);
  dialog->IsSilent = IsSilent;
  dialog->ShowModal();
  const bool finished = dialog->Memo1.Caption() == BuiltinText(kTextFinish);

  if (finished) {
    auto failed = [this] {
      Tk().MessageBoxA(this, GetLanString(kResAnalyzeNoSuccess, BuiltinText(kTextAnalyzeFailed)),
                       BuiltinText(kTextProductTitle), ui::kMbOk);
      bDefragRegistry.SetEnabled(false);
    };
    for (const auto& file : HiveFiles) {
      if (!PathNamesSoftware(file)) continue;
      // A missing copy measures 0 and so is rejected here like a truncated one.
      if (HiveFileSize(CopyPath(file)) < HiveFileSize(file) / 4) {
        failed();
        return;
      }
    }
    // A run that copied no hive at all measured nothing: it is a failure, not a fragment rate
    // of 0 with advice, and there is nothing to put in place.
    if (std::none_of(HiveFiles.begin(), HiveFiles.end(), [](const std::string& file) { return FileExists(CopyPath(file)); })) {
      failed();
      return;
    }
  }
  bDefragRegistry.SetEnabled(finished);
  if (!finished) return;

  std::int64_t totalCurrent = 0;
  std::int64_t totalNew = 0;
  for (std::size_t i = 0; i < HiveFiles.size(); ++i) {
    const std::string& file = HiveFiles[i];
    const std::int64_t current = HiveFileSize(file);
    totalCurrent += current;
    lvMain.SetSubItem(i, 0, SizeText(current));
    // A hive whose copy was not written is shown as not compacted: it keeps
    // its size in both totals instead of counting as a 100% reduction.
    if (!FileExists(CopyPath(file))) {
      totalNew += current;
      lvMain.SetSubItem(i, 1, "n/a");
      lvMain.SetSubItem(i, 2, "0%");
      continue;
    }
    const std::int64_t copy = HiveFileSize(CopyPath(file));
    totalNew += copy;
    lvMain.SetSubItem(i, 1, SizeText(copy));
    lvMain.SetSubItem(i, 2, ReductionText(current, copy));
  }

  lCurrentRegistrySize.SetCaption(SizeText(totalCurrent));
  lNewRegistrySize.SetCaption(SizeText(totalNew));
  lSizeReduction.SetCaption(totalNew > totalCurrent || totalCurrent <= 0
                                ? std::string("0 KB")
                                : SizeText(totalCurrent - totalNew));

  // Nothing to measure against (new total larger, or a current total of
  // zero or less): "0%" and no advice.
  const std::optional<float> percent = CompactPercent(totalCurrent, totalNew);
  if (!percent) {
    lCompactPercent.SetCaption("0%");
    return;
  }
  lCompactPercent.SetCaption(PercentText(*percent, Os().DecimalSeparator()));
  if (*percent < 3.0f && !IsSilent) {
    Tk().MessageBoxA(this,
                     std::string(BuiltinText(kTextFragmentRateOnly)) + " " +
                         lCompactPercent.Caption() + ". " + BuiltinText(kTextNoNeedToCompact),
                     BuiltinText(kTextProductTitle), ui::kMbOk);
  }
}

}  // namespace hv
