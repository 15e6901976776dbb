// The defragmentation commit: confirmation, restore point, the replacement
// requests, and the restart that carries them out.
#include <cstddef>
#include <memory>
#include <string>

#include "hive/hive_catalogue.h"
#include "hive/hive_primitives.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "settings/ask_delete_dialog.h"
#include "settings/language.h"
#include "settings/options.h"
#include "shell/commit.h"
#include "shell/main_form.h"
#include "shell/run_record.h"
#include "shell/windows_release.h"
#include "ui/messages.h"
#include "ui/toolkit.h"
#include "workflow/system_point.h"

namespace hv {

void TfrmMain::bDefragRegistryClick() {
  if (OptionsSetting.IsAskBeforeDefrag && !IsSilent) {
    int answer = ui::kMrNone;
    {
      TfrmAskDelete dialog(Tk(), this);
      answer = dialog.ShowModal();
    }
    // Saved whatever the answer, so that "Don't ask me next time" holds
    // even after No.
    ReadWriteOptions(false);
    if (answer != ui::kMrYes) return;
  }

  if (OptionsSetting.RestorePoint && !IsSilent && IsRestorePointWindowsClass(GetWindowsClass())) {
    TfrmSystemPoint dialog(Tk(), this,
                           [this](std::shared_ptr<WorkerThread> worker) { RegisterWorker(std::move(worker)); });
    if (dialog.ShowModal() == ui::kMrCancel) return;
  }

  EnableRestorePrivilege();
  int accepted = 0;
  for (HiveRecord& hive : Hives) {
    const std::string copy = hive.Copy();
    // Without its copy a request would only cost the hive its last backup.
    if (!FileExists(copy)) continue;
    const bool requested = ReplaceHive(hive.Name, copy, hive.Backup());
    hive.State = requested ? HiveState::kReplaceRequested : HiveState::kReplaceRefused;
    if (requested) ++accepted;
    if (auto& analysis = TheRunRecord().lastAnalysis) {
      for (AnalysedHive& analysed : analysis->hives) {
        if (analysed.name == hive.Name) analysed.replaceRequested = requested;
      }
    }
  }

  // A restart would change nothing; the user learns why, even unattended.
  if (accepted == 0) {
    Tk().MessageBoxA(this, kNothingReplacedText, BuiltinText(kTextProductTitle), ui::kMbOk);
    return;
  }

  if (!IsSilent) {
    const std::string installation = Os().OfflineInstallation();
    if (installation.empty()) {
      Tk().MessageBoxA(this, BuiltinText(kTextRestartRequired), BuiltinText(kTextProductTitle),
                       ui::kMbOk);
    } else {
      // An offline installation is not restarted: its replacements are
      // applied, which the technician may put off. Put off, they stay
      // pending and the next start offers them again.
      std::string text = GetLanString(kResApplyOffline, kApplyOfflineText);
      if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, installation);
      if (Tk().MessageBoxA(this, text, BuiltinText(kTextProductTitle), ui::kMbOkCancel) != ui::kMrOk) {
        bDefragRegistry.SetEnabled(false);
        return;
      }
    }
  }
  // With someone at the desktop, programs are asked to close (and may ask
  // to save); only hung ones are ended. Unattended, a program that refuses
  // would stall the restart for good, so all are ended.
  RestartComputer(IsSilent);
}

void TfrmMain::RestartComputer(bool Force) {
  EnableShutdownPrivilege();
  const UINT flags = kEwxReboot | (Force ? kEwxForce : kEwxForceIfHung);
  Os().ExitWindowsEx(flags, kRestartReason);
}

void TfrmMain::EnableShutdownPrivilege() {
  EnableTokenPrivilege(access::kTokenAdjustPrivileges | access::kTokenQuery, "SeShutdownPrivilege");
}

}  // namespace hv
