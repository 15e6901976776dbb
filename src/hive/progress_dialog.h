#pragma once
// TfrmGetNewHiveProgess: the modal dialog of an analysis. It starts the scan
// task thread, estimates the progress on a bar of 1000 steps, shows the hive
// being copied, and lets the user stop. Its result for the caller is the text
// of Memo1 after it closed: "Finish" when every hive was copied.
#include <cstdint>
#include <functional>
#include <string>
#include <memory>

#include "hive/hive_catalogue.h"
#include "hive/scan_task_thread.h"
#include "platform/worker_registry.h"
#include "ui/component.h"
#include "ui/form.h"

namespace hv {

class TfrmGetNewHiveProgess : public ui::Form {
 public:
  // Scans the hives of `hives` (read, not copied: the table must outlive the
  // dialog) and registers its worker with `workers`, which first has to let
  // the previous worker end.
  TfrmGetNewHiveProgess(ui::Form& owner, const HiveCatalogue& hives, WorkerRegistry& workers);
  ~TfrmGetNewHiveProgess() override;

  ui::Control& GroupBox1;
  ui::Control& Label1;
  ui::ProgressBar& ProgressBar1;
  ui::Control& Label2;
  ui::Memo& Memo1;
  ui::Control& bStop;
  ui::Timer& Timer1;

  std::shared_ptr<TScanTaskThread> ScanThread;
  bool StopPressed = false;
  std::int64_t TotalSize = 0;
  std::int64_t DoneSize = 0;
  std::int64_t Step = 4;
  std::int32_t HivesDone = 0;
  std::int32_t NextTarget = 0;
  // The unattended modes: the dialog hides itself once the scan starts.
  bool IsSilent = false;

  void FormShow() override;
  void FormActivate() override;
  void FormClose() override;
  bool HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) override;

  void WMStartScan();
  void WMHiveDone(ui::WPARAM wParam, ui::LPARAM lParam);
  void Timer1Timer();
  void bStopClick();

  // The step rule: progress units one timer tick is worth, from the first
  // copy's size `copySize`, the first hive's duration `ms` and the total.
  // Told each position the bar takes, with the hive being copied (the last
  // part of its name) and the whole analysis's percent; for a front end
  // that shows progress without the window. Empty: nobody is told.
  using ProgressObserver = std::function<void(const std::string& hive, int percent)>;
  static void ObserveProgress(ProgressObserver observer);

  static std::int64_t DeriveStep(std::int64_t copySize, std::int64_t ms, std::int64_t totalSize,
                                 bool wow64);

 private:
  int HiveCount() const;
  void SetBarPosition(std::int64_t position);

  const HiveCatalogue& hives_;
  WorkerRegistry& workers_;
  bool scanRequested_ = false;
  bool scanStarted_ = false;
};

}  // namespace hv
