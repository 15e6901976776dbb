// TfrmMain::bAnalyzeRegistryClick: one analysis run, from the in-use guard
// through the scan to the figures and the advice.
#include <memory>

#include "hive/hive_catalogue.h"
#include "hive/hive_primitives.h"
#include "hive/progress_dialog.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "shell/main_form.h"
#include "shell/run_record.h"
#include "workflow/figures.h"
#include "regf/text_case.h"

namespace hv {
namespace {

bool PathNamesSoftware(const std::string& path) { return AsciiUpper(path).find("SOFTWARE") != std::string::npos; }

std::string ShortName(const HiveRecord& hive) { return hive.Name.substr(hive.Name.find_last_of('\\') + 1); }

// Why a hive has no copy, in words.
std::string NoCopyReason(const HiveRecord& hive) {
  const std::string why = Os().SaveFailureText(hive.Copy().c_str());
  return why.empty() ? std::string("the copy could not be made") : why;
}

}  // namespace

void TfrmMain::bAnalyzeRegistryClick() {
  if (Hives.empty()) return;
  RunRecord& record = TheRunRecord();
  ++record.analyses;
  record.lastAnalysis = AnalysisRecord{false, "it did not run to its end", {}};

  for (const HiveRecord& hive : Hives) {
    if (IsFileInUse(hive.Copy())) {
      record.lastAnalysis->refusal = "the copy " + hive.Copy() + " of an earlier analysis is in use";
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
    MeasureHives();
    for (const HiveRecord& hive : Hives) {
      const bool copied = hive.State == HiveState::kCopied;
      record.lastAnalysis->hives.push_back(
          {hive.Name, hive.File, hive.CurrentSize, hive.NewSize, copied, copied ? std::string() : NoCopyReason(hive), {}});
    }
    // The message names the hive that failed and why, below its first line.
    auto failed = [this](const std::string& hiveAndWhy) {
      Tk().MessageBoxA(this, GetLanString(kResAnalyzeNoSuccess, BuiltinText(kTextAnalyzeFailed)) + "\n" + hiveAndWhy,
                       BuiltinText(kTextProductTitle), ui::kMbOk);
      bDefragRegistry.SetEnabled(false);
    };
    for (const HiveRecord& hive : Hives) {
      if (!PathNamesSoftware(hive.File)) continue;
      // A missing copy measures 0 and so is rejected here like a truncated one.
      if (hive.NewSize < hive.CurrentSize / 4) {
        const std::string name = ShortName(hive);
        const bool copied = hive.State == HiveState::kCopied;
        record.lastAnalysis->refusal = copied ? name + "'s copy is under a quarter of the hive"
                                              : name + " could not be copied: " + NoCopyReason(hive);
        failed(copied ? name + ": its copy is under a quarter of the hive" : name + ": " + NoCopyReason(hive));
        return;
      }
    }
    // A run that copied no hive at all measured nothing: it is a failure, not a fragment rate
    // of 0 with advice, and there is nothing to put in place.
    if (!AnyCopied()) {
      record.lastAnalysis->refusal = "no hive could be copied";
      const HiveRecord& first = Hives.front();
      failed(ShortName(first) + ": " + NoCopyReason(first));
      return;
    }
  }
  // A system whose hives cannot be replaced at all (a read-only disk) is
  // analysed all the same; the commit is not offered, and its hint says why.
  const std::string cannotCommit = finished ? Os().CommitRefusal() : std::string();
  bDefragRegistry.SetEnabled(finished && cannotCommit.empty());
  if (!cannotCommit.empty()) bDefragRegistry.SetHint(cannotCommit);
  if (!finished) return;
  record.lastAnalysis->accepted = true;
  record.lastAnalysis->refusal.clear();

  AnalysisFigures figures;
  for (const HiveRecord& hive : Hives) {
    figures.hives.push_back({hive.CurrentSize, hive.NewSize, hive.State == HiveState::kCopied});
  }
  const HiveTotals totals = Totals();
  figures.totalCurrent = totals.Current;
  figures.totalNew = totals.New;
  figures_ = figures;
  ShowFigures();

  // Nothing to measure against: no advice.
  const std::optional<float> percent = CompactPercent(totals.Current, totals.New);
  if (!percent) return;
  if (*percent < 3.0f && !IsSilent) {
    Tk().MessageBoxA(this,
                     std::string(BuiltinText(kTextFragmentRateOnly)) + " " +
                         lCompactPercent.Caption() + ". " + BuiltinText(kTextNoNeedToCompact),
                     BuiltinText(kTextProductTitle), ui::kMbOk);
  }
}

}  // namespace hv
