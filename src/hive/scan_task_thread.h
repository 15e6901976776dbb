#pragma once
// TScanTaskThread: writes the compacted copy of every hive, one after the
// other, for the analysis progress dialog.
//
// It reports only through its dialog's window: the memo text (the hive being
// copied, then "Finish") by a synchronous call on the UI thread, progress and
// the close request by posted messages. Once the dialog's window is gone,
// both are dropped, so a worker left running by a closed dialog touches
// nothing of it.
#include <cstdint>
#include <string>
#include <vector>

#include "hive/hive_catalogue.h"
#include "platform/types.h"
#include "platform/worker_thread.h"
#include "ui/component.h"
#include "ui/toolkit.h"

namespace hv {

class TScanTaskThread : public WorkerThread {
 public:
  explicit TScanTaskThread(ui::Toolkit& toolkit);

  // Set by the creator before Start and not changed afterwards.
  HWND NotifyWindow = nullptr;
  ui::Memo* StatusMemo = nullptr;
  // The hives to copy: the worker's own copy of the table's records.
  std::vector<HiveRecord> Hives;
  bool IsWow64Flag = false;

  // Milliseconds between two local times (b - a), for the timing of the
  // first hive.
  static std::int64_t ElapsedMilliseconds(const SystemTime& a, const SystemTime& b);

 protected:
  void Execute() override;

 private:
  // Sets the memo's text on the UI thread and waits for it; false when the
  // dialog's window is gone.
  bool ShowStatus(const std::string& text);

  ui::Toolkit& toolkit_;
};

}  // namespace hv
