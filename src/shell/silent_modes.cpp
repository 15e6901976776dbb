// The unattended modes: "/Silent" (analysis, commit, forced restart) and
// "/Scan" (analysis and report). Both run in the hidden main window and end
// the program by closing it.
#include <exception>
#include <string>

#include "platform/platform.h"
#include "shell/command_switch.h"
#include "shell/main_form.h"
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
  RunReported(Tk(), [this, &reportPath] {
    // Erased first, so the file never holds the figures of an earlier run.
    if (!reportPath.empty()) EraseScanReport(reportPath);
    bAnalyzeRegistryClick();
    if (reportPath.empty()) return;
    SystemTime now;
    Os().GetLocalTime(&now);
    WriteScanReport(reportPath,
                    {lCurrentRegistrySize.Caption(), lNewRegistrySize.Caption(),
                     lSizeReduction.Caption(), lCompactPercent.Caption()},
                    ReportTimeStamp(now));
  });
  Close();
}

}  // namespace hv
