#pragma once
// TfrmSystemPoint: asks System Restore for a restore point on a worker thread
// while a modal dialog shows a moving bar. The modal result tells the commit
// whether to go on: OK to go on, Cancel to stop.
#include <functional>
#include <memory>

#include "platform/types.h"
#include "platform/worker_thread.h"
#include "ui/component.h"
#include "ui/form.h"
#include "ui/messages.h"

namespace hv {

namespace ui {
class Toolkit;
}

// Makes the one restore point call and posts exactly one 0x6605 to
// NotifyWindow: lParam 0 when the point was created, 1 when it was not.
class TCreateSystemPointThread : public WorkerThread {
 public:
  explicit TCreateSystemPointThread(ui::Toolkit& toolkit) : toolkit_(toolkit) {}

  // Set before Start; the only thing of the dialog the worker touches.
  HWND NotifyWindow = nullptr;

  // The description given to System Restore.
  static constexpr const char* kDescription = "Made by Talvix Hivora";

 protected:
  void Execute() override;

 private:
  // False when the restore point was not created, for whatever reason.
  bool CreateRestorePoint();

  ui::Toolkit& toolkit_;
};

// The bar's next position after one timer tick from `position`: it climbs
// fast at first and ever slower, reaching 100 at the 38th tick from 0.
int NextRestoreBarPosition(int position);

class TfrmSystemPoint : public ui::Form {
 public:
  // `registerWorker` receives the started worker, so that the main window
  // knows of it until it ends (may be empty).
  using WorkerRegistry = std::function<void(std::shared_ptr<WorkerThread>)>;
  TfrmSystemPoint(ui::Toolkit& toolkit, ui::Form* owner, WorkerRegistry registerWorker = {});

  ui::Control& suiGroupBox1;
  ui::Control& lScanTask;
  ui::Control& Label1;
  ui::Control& Label3;
  ui::Control& Label2;
  ui::ProgressBar& ProgressBar1;
  ui::Timer& Timer1;

  // The worker started by this dialog; it ends and frees itself.
  std::shared_ptr<TCreateSystemPointThread> Worker;
  // A result arrived and was handled.
  bool ResultHandled = false;

  void FormShow() override;
  // Closed before a result: Cancel. The worker is asked to stop and left to
  // end by itself; its late result goes to a window that no longer exists.
  void FormClose() override;
  void Timer1Timer();
  void WMRestorePointDone(ui::LPARAM lParam);
  bool HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) override;

 private:
  WorkerRegistry registerWorker_;
};

}  // namespace hv
