// The unattended modes: "/Silent" (analysis, commit, forced restart) and
// "/Scan" (analysis and report). Both run in the hidden main window and end
// the program by closing it.
#include <exception>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/command_switch.h"
#include "shell/main_form.h"
#include "shell/run_record.h"
#include "ui/toolkit.h"
#include "workflow/scan_report.h"

namespace hv {
namespace {

// Runs one unattended step. An error is shown as the application's error
// handler shows it; the caller goes on to close the window, because a hidden
// program that outlived its run could only be ended from outside.
template <typename Step>
void RunReported(ui::Toolkit& toolkit, Step&& step) {
  try {
    step();
  } catch (const std::exception& error) {
    toolkit.ShowApplicationError(error.what());
  }
}

}  // namespace

void TfrmMain::WMSilentDefrag() {
  Hide();
  Tk().HideApplication();
  RunReported(Tk(), [this] {
    bAnalyzeRegistryClick();
    if (bDefragRegistry.Enabled()) bDefragRegistryClick();
  });
  Close();
}

void TfrmMain::WMScanReport() {
  Hide();
  Tk().HideApplication();
  // Used unchanged: the platform resolves a relative or drive-letter path.
  const std::string reportPath = ReportPathArgument(Os().CommandLineArguments());
  RunRecord& record = TheRunRecord();
  RunReported(Tk(), [this, &reportPath, &record] {
    // Erased first, so the file never holds the figures of an earlier run.
    if (!reportPath.empty()) {
      try {
        EraseScanReport(reportPath);
      } catch (const std::exception& error) {
        // The old figures could not be taken out: that is the report's fault, not the analysis's.
        record.reportError = std::string(error.what()) + " (its old section could not be taken out)";
        throw;
      }
    }
    bAnalyzeRegistryClick();
    if (reportPath.empty()) {
      record.reportError = "no report file was named";
      return;
    }
    SystemTime now;
    Os().GetLocalTime(&now);
    try {
      // Scripts read the figures: they keep one format in every language.
      const std::vector<std::string> totals = StoredTotals();
      WriteScanReport(reportPath, {totals[0], totals[1], totals[2], totals[3]}, ReportTimeStamp(now));
    } catch (const std::exception& error) {
      record.reportError = error.what();
      throw;
    }
    record.reportWritten = true;
  });
  Close();
}

}  // namespace hv
