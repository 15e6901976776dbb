#include "hive/progress_dialog.h"

#include <algorithm>

#include "hive/hive_catalogue.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "ui/toolkit.h"

namespace hv {
namespace {
// How long one look at the previous scan's worker may hold the UI thread
// before the start is tried again from the message queue.
constexpr int kWorkerPollMs = 50;
}  // namespace

TfrmGetNewHiveProgess::TfrmGetNewHiveProgess(ui::Form& owner, const HiveCatalogue& hives,
                                             WorkerRegistry& workers)
    : ui::Form(owner.Tk(), "frmGetNewHiveProgess", &owner),
      GroupBox1(Add<ui::Control>(ui::Kind::GroupBox, "GroupBox1")),
      Label1(Add<ui::Control>(ui::Kind::Label, "Label1", &GroupBox1)),
      ProgressBar1(Add<ui::ProgressBar>("ProgressBar1", &GroupBox1)),
      Label2(Add<ui::Control>(ui::Kind::Label, "Label2", &GroupBox1)),
      Memo1(Add<ui::Memo>("Memo1", &GroupBox1)),
      bStop(Add<ui::Control>(ui::Kind::SkinButton, "bStop")),
      Timer1(Add<ui::Timer>("Timer1")),
      hives_(hives),
      workers_(workers) {
  SetCaption("Defrag Registry");
  SetClientSize(394, 181);
  SetBorder(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::OwnerCenter);

  GroupBox1.SetBounds({8, 8, 377, 121});
  Label1.SetBounds({16, 16, 160, 13});
  Label1.SetCaption("Analyzing registry. Please wait.");
  ProgressBar1.SetBounds({16, 44, 345, 18});
  ProgressBar1.SetStyle("WinXP");
  ProgressBar1.SetRange(0, 1000);
  ProgressBar1.SetShowPercent(true);
  Label2.SetBounds({17, 76, 50, 13});
  Label2.SetCaption("Checking: ");
  Memo1.SetBounds({72, 77, 286, 32});
  Memo1.SetCaption("Registry Key");
  bStop.SetBounds({304, 142, 80, 27});
  bStop.SetStyle("WinXP");
  bStop.SetCaption("Stop");
  bStop.OnClick = [this] { bStopClick(); };
  Timer1.SetInterval(1000);
  Timer1.SetEnabled(false);
  Timer1.OnTimer = [this] { Timer1Timer(); };
}

TfrmGetNewHiveProgess::~TfrmGetNewHiveProgess() {
  // A worker still running after the dialog is gone must not be left to
  // believe anyone waits for it.
  if (ScanThread) ScanThread->Terminate();
}

int TfrmGetNewHiveProgess::HiveCount() const { return static_cast<int>(hives_.Hives.size()); }

namespace {
TfrmGetNewHiveProgess::ProgressObserver& Observer() {
  static TfrmGetNewHiveProgess::ProgressObserver observer;
  return observer;
}
}  // namespace

void TfrmGetNewHiveProgess::ObserveProgress(ProgressObserver observer) { Observer() = std::move(observer); }

void TfrmGetNewHiveProgess::SetBarPosition(std::int64_t position) {
  ProgressBar1.SetPosition(static_cast<std::int32_t>(static_cast<std::uint32_t>(position)));
  if (!Observer() || hives_.Hives.empty()) return;
  const std::size_t index = std::min(static_cast<std::size_t>(std::max(HivesDone, 0)), hives_.Hives.size() - 1);
  const std::string& name = hives_.Hives[index].Name;
  const int percent = static_cast<int>(std::clamp<std::int64_t>(ProgressBar1.Position() / 10, 0, 100));
  Observer()(name.substr(name.find_last_of('\\') + 1), percent);
}

void TfrmGetNewHiveProgess::FormShow() {
  ProgressBar1.SetPosition(0);
  DoneSize = 0;
  HivesDone = 0;
  Step = 4;
  NextTarget = 0;
  StopPressed = false;
  if (!IsEnglish(OptionsSetting.Lan)) TranslateForm(*this, OptionsSetting.Lan);
}

void TfrmGetNewHiveProgess::FormActivate() {
  if (scanRequested_) return;
  scanRequested_ = true;
  PostMessage(ui::kWmStartScan, 0, 0);
}

bool TfrmGetNewHiveProgess::HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) {
  switch (msg) {
    case ui::kWmStartScan:
      WMStartScan();
      return true;
    case ui::kWmHiveDone:
      WMHiveDone(wParam, lParam);
      return true;
    default:
      return ui::Form::HandleMessage(msg, wParam, lParam);
  }
}

void TfrmGetNewHiveProgess::WMStartScan() {
  if (scanStarted_ || Closed()) return;
  // Stopped while waiting for the previous worker: no scan at all; the dialog
  // closes as a stopped scan would, with the memo not saying "Finish".
  if (StopPressed) {
    PostMessage(ui::kWmClose, 0, 0);
    return;
  }
  if (IsSilent) Hide();
  // The worker of an abandoned scan may still be copying a hive; two scans
  // writing the same copies at once would corrupt both. Wait for it without
  // blocking the dialog: look again from the queue until it has ended.
  if (!workers_.WaitForWorkers(kWorkerPollMs)) {
    PostMessage(ui::kWmStartScan, 0, 0);
    return;
  }
  scanStarted_ = true;

  auto thread = std::make_shared<TScanTaskThread>(Tk());
  thread->NotifyWindow = Handle();
  thread->StatusMemo = &Memo1;
  thread->Hives = hives_.Hives;
  thread->IsWow64Flag = hives_.IsWow64Flag;
  ScanThread = thread;
  workers_.RegisterWorker(thread);
  thread->Start();

  TotalSize = 0;
  for (const HiveRecord& hive : hives_.Hives) TotalSize += HiveFileSize(hive.File);
  Timer1.SetEnabled(true);
}

// With TotalSize of 0 or less (the hive files vanished or cannot be measured
// since the table was built) there is no scale: the bar stays where it is and
// does not creep. The scan itself runs and ends as usual.
void TfrmGetNewHiveProgess::Timer1Timer() {
  if (HivesDone >= HiveCount()) return;
  if (TotalSize <= 0) return;
  const std::int64_t copySize =
      HiveFileSize(hives_.Hives[static_cast<std::size_t>(HivesDone)].Copy());
  std::int64_t position = ProgressBar1.Position();
  if (copySize != 0) {
    position = (DoneSize + copySize) * 1000 / TotalSize;
  } else {
    if (NextTarget == 0 && HivesDone == 0) position += Step;
    if (position < NextTarget - Step) position += Step;
  }
  SetBarPosition(position);
  if (ProgressBar1.Position() >= 1000) Timer1.SetEnabled(false);
}

std::int64_t TfrmGetNewHiveProgess::DeriveStep(std::int64_t copySize, std::int64_t ms,
                                               std::int64_t totalSize, bool wow64) {
  std::int64_t step;
  // A clock that went backwards measures nothing, like one that did not move.
  if (ms <= 0 || totalSize <= 0) {
    step = 40;
  } else {
    step = copySize * 1000 * 1000 / (ms * totalSize);
    if (step < 10) {
      step += 10;
    } else if (step < 30) {
      step = step * 2 - 10;
    }
    if (step > 50) step = 50;
  }
  if (wow64) {
    step = step / 2 - 3;
    if (step < 0) step = 1;
  }
  return step;
}

void TfrmGetNewHiveProgess::WMHiveDone(ui::WPARAM wParam, ui::LPARAM lParam) {
  const int count = HiveCount();
  if (HivesDone >= count) return;
  const auto& hives = hives_.Hives;
  if (HivesDone == 0) {
    const std::int64_t ms = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
    Step = DeriveStep(HiveFileSize(hives[0].Copy()), ms, TotalSize, hives_.IsWow64Flag);
  }
  DoneSize += HiveFileSize(hives[static_cast<std::size_t>(HivesDone)].File);
  if (TotalSize > 0) {
    SetBarPosition(DoneSize * 1000 / TotalSize);
    if (HivesDone < count - 1) {
      NextTarget = static_cast<std::int32_t>(
          (DoneSize + HiveFileSize(hives[static_cast<std::size_t>(HivesDone) + 1].File)) * 1000 /
          TotalSize);
    }
  }
  HivesDone = static_cast<std::int32_t>(lParam);
}

void TfrmGetNewHiveProgess::bStopClick() {
  StopPressed = true;
  Label1.SetCaption(BuiltinText(kTextStopProcess));
  Timer1.SetEnabled(false);
  if (ScanThread && !ScanThread->Finished()) ScanThread->Terminate();
  bStop.SetEnabled(false);
}

void TfrmGetNewHiveProgess::FormClose() {
  // Closed while the scan runs: the worker is asked to stop after its current
  // hive; its later reports reach no window and are dropped, and the scan
  // counts as not finished since the memo never shows "Finish" now.
  if (!StopPressed && ScanThread) ScanThread->Terminate();
  if (Timer1.Enabled()) Timer1.SetEnabled(false);
}

}  // namespace hv
