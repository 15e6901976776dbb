#include "workflow/system_point.h"

#include <cstring>

#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "ui/toolkit.h"

namespace hv {

bool TCreateSystemPointThread::CreateRestorePoint() {
  // The library is unloaded when `library` goes, whatever happens below.
  std::unique_ptr<SystemRestoreLibrary> library = Os().LoadSrClient();
  if (!library || !library->HasSetRestorePoint()) return false;
  // A dialog closed before the call has cancelled the commit: no point then.
  if (Terminated()) return false;

  RestorePointInfoA info{};
  info.dwEventType = kBeginSystemChange;
  info.dwRestorePtType = kApplicationInstall;
  info.llSequenceNumber = 0;
  std::memset(info.szDescription, 0, sizeof info.szDescription);
  std::memcpy(info.szDescription, kDescription, std::strlen(kDescription));
  StateMgrStatus status{};
  return library->SRSetRestorePointA(&info, &status) != 0;
}

void TCreateSystemPointThread::Execute() {
  bool created = false;
  try {
    created = CreateRestorePoint();
  } catch (...) {
    created = false;
  }
  toolkit_.PostMessageA(NotifyWindow, ui::kWmRestorePointDone, 0, created ? 0 : 1);
}

int NextRestoreBarPosition(int position) {
  if (position <= 30) return position + 10;
  if (position <= 50) return position + 5;
  if (position <= 60) return position + 3;
  if (position <= 80) return position + 2;
  if (position <= 99) return position + 1;
  return position;
}

TfrmSystemPoint::TfrmSystemPoint(ui::Toolkit& toolkit, ui::Form* owner,
                                 WorkerRegistry registerWorker)
    : ui::Form(toolkit, "frmSystemPoint", owner),
      suiGroupBox1(Add<ui::Control>(ui::Kind::SkinGroupBox, "suiGroupBox1")),
      lScanTask(Add<ui::Control>(ui::Kind::Label, "lScanTask", &suiGroupBox1)),
      Label1(Add<ui::Control>(ui::Kind::Label, "Label1", &suiGroupBox1)),
      Label3(Add<ui::Control>(ui::Kind::Label, "Label3", &suiGroupBox1)),
      Label2(Add<ui::Control>(ui::Kind::Label, "Label2", &suiGroupBox1)),
      ProgressBar1(Add<ui::ProgressBar>("ProgressBar1", &suiGroupBox1)),
      Timer1(Add<ui::Timer>("Timer1")),
      registerWorker_(std::move(registerWorker)) {
  SetCaption("Create System Point");
  SetClientSize(353, 180);
  SetBorder(ui::BorderStyle::DialogNoSystemMenu);
  SetPosition(ui::FormPosition::OwnerCenter);

  suiGroupBox1.SetBounds({8, 8, 337, 164});
  suiGroupBox1.SetStyle("DeepBlue");

  lScanTask.SetBounds({16, 20, 305, 13});
  lScanTask.SetBold(true);
  lScanTask.SetCaption("Creating Restore Point");
  Label1.SetBounds({16, 48, 305, 13});
  Label1.SetCaption("Talvix Hivora is creating a restore point which will");
  Label3.SetBounds({16, 66, 320, 13});
  Label3.SetCaption("enable you to safely return your system back to its former state.");
  Label2.SetBounds({16, 96, 305, 13});
  Label2.SetCaption("Please wait...");

  ProgressBar1.SetBounds({16, 124, 305, 20});
  ProgressBar1.SetStyle("DeepBlue");
  ProgressBar1.SetRange(0, 100);
  ProgressBar1.SetPosition(0);
  ProgressBar1.SetShowPercent(false);

  Timer1.SetInterval(1000);
  Timer1.SetEnabled(true);
  Timer1.OnTimer = [this] { Timer1Timer(); };
}

void TfrmSystemPoint::FormShow() {
  ResultHandled = false;
  Worker = std::make_shared<TCreateSystemPointThread>(Tk());
  Worker->NotifyWindow = Handle();
  Worker->Start();
  if (registerWorker_) registerWorker_(Worker);
  if (!IsEnglish(OptionsSetting.Lan)) TranslateForm(*this, OptionsSetting.Lan);
}

void TfrmSystemPoint::FormClose() {
  if (ResultHandled) return;
  if (Worker) Worker->Terminate();
  SetModalResult(ui::kMrCancel);
}

void TfrmSystemPoint::Timer1Timer() {
  ProgressBar1.SetPosition(NextRestoreBarPosition(ProgressBar1.Position()));
}

void TfrmSystemPoint::WMRestorePointDone(ui::LPARAM lParam) {
  // A result for a dialog already closing is not acted on: it ended with Cancel.
  if (ResultHandled || Closed()) return;
  SetModalResult(ui::kMrOk);
  if (lParam != 0) {
    const int answer =
        Tk().MessageBoxA(this, BuiltinText(kTextRestorePointFailed), BuiltinText(kTextProductTitle),
                         ui::kMbYesNo | ui::kMbIconInformation | ui::kMbDefButton2);
    // Only an explicit Yes goes on without a restore point.
    if (answer != ui::kMrYes) SetModalResult(ui::kMrCancel);
  }
  ResultHandled = true;
  PostMessage(ui::kWmClose, 0, 0);
}

bool TfrmSystemPoint::HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) {
  if (msg == ui::kWmRestorePointDone) {
    WMRestorePointDone(lParam);
    return true;
  }
  return ui::Form::HandleMessage(msg, wParam, lParam);
}

}  // namespace hv
