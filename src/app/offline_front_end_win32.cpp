#include "app/offline_front_end_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/front_end_options.h"
#include "platform/offline/host_io.h"
#include "platform/offline/instance_name.h"
#include "platform/offline/settle.h"
#include "platform/platform.h"
#include "platform/win32/console_output.h"
#include "platform/win32/win32_platform.h"
#include "resources/builtin_texts.h"
#include "shell/command_switch.h"
#include "shell/startup.h"
#include "ui/messages.h"
#include "ui/win32/win32_toolkit.h"

#include "platform/win32/win.h"
#include "regf/text_case.h"

namespace hv::app {
namespace {

using offline::FrontEndOptions;
using offline::OfflinePlatform;
using offline::SettleAction;

constexpr const char* kOfflineOptions[] = {"root",          "machine",         "apply-pending", "discard-pending",
                                           "restore-backups", "list-restore-points", "restore-point"};

void Say(const std::string& line) {
  std::fprintf(stderr, "hivora: %s\n", line.c_str());
  std::fflush(stderr);
}

// Each fact once: a refusal that held for every hive is said once.
void SayAll(const std::vector<std::string>& lines) {
  std::vector<std::string> said;
  for (const std::string& line : lines) {
    if (std::find(said.begin(), said.end(), line) != said.end()) continue;
    said.push_back(line);
    Say(line);
  }
}

bool Unattended(const FrontEndOptions& options) {
  if (options.settle != SettleAction::kNone) return true;
  std::string line = "hivora.exe";  // the program's name comes first, as in any command line
  for (const std::string& arg : options.arguments) line += " \"" + arg + "\"";
  return RecognizeSwitch(line) != CommandSwitch::None;
}

// A refusal before any window: on standard error, and in a message box for a
// user who started the program by hand.
int Refuse(const std::string& message, int code, bool boxed) {
  Say(message);
  if (boxed) ::MessageBoxA(nullptr, message.c_str(), "Talvix Hivora", MB_OK | MB_ICONERROR);
  return code;
}

int Settle(OfflinePlatform& platform, SettleAction action, const std::string& pointId) {
  const offline::SettleResult result = offline::SettleBy(platform, action, pointId);
  if (action == SettleAction::kListRestorePoints) {
    for (const std::string& line : result.lines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return result.exitCode;
  }
  if (result.exitCode == offline::kExitPartlyDone) Say("partly done; see the lines below");
  SayAll(result.lines);
  return result.exitCode;
}

// Replacements requested but whose restart never came: asked in a message
// box, or told on standard error in an unattended run, which then ends.
// -1: go on to the main window; else the exit code.
int SettlePendingAtStart(OfflinePlatform& platform, const FrontEndOptions& options) {
  const std::vector<std::string> waiting = offline::WaitingHives(platform);
  if (waiting.empty()) return -1;
  if (Unattended(options)) {
    Say(offline::PendingAtStartText(waiting));
    return offline::kExitNothingDone;
  }
  const std::string question = "Replacements wait for a restart that never came:\n" + offline::JoinedHives(waiting) +
                               "\n\nYes: restart now (apply them, as the restart would).\n"
                               "No: discard them (delete the copies, keep the hives).\n"
                               "Cancel: quit and leave them waiting.";
  switch (::MessageBoxA(nullptr, question.c_str(), "Talvix Hivora", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return Settle(platform, SettleAction::kApplyPending, {});
    case IDNO: {
      const int code = Settle(platform, SettleAction::kDiscardPending, {});
      return code == offline::kExitDone ? -1 : code;
    }
    default: Say("the replacements still wait; nothing was done"); return offline::kExitNothingDone;
  }
}

bool ReportWritten(OfflinePlatform& platform, const std::string& reportPath) {
  if (reportPath.empty()) return false;
  auto file = platform.drives().Resolve(reportPath);
  std::string text;
  return file && offline::host::ReadFile(*file, &text) == err::kSuccess &&
         text.find("[Scan Result]") != std::string::npos;
}

// The exit code of a run of the main window, with its summary on standard error.
int Outcome(OfflinePlatform& platform) {
  const offline::RunReport report = platform.report();
  const std::string commandLine = platform.GetCommandLineA();
  const CommandSwitch mode = RecognizeSwitch(commandLine);
  if (mode == CommandSwitch::Scan) {
    if (!ReportWritten(platform, ReportPathArgument(commandLine))) {
      Say("the report was not written");
      return offline::kExitNothingDone;
    }
    if (report.copiesMade == 0) {
      Say("the analysis failed; no hive could be copied");
      SayAll(report.copiesFailed);
      return offline::kExitNothingDone;
    }
    for (const std::string& failed : report.copiesFailed) Say(failed + " (not compacted)");
    return offline::kExitDone;
  }
  const bool silent = mode == CommandSwitch::Silent;
  if (!report.restarted || report.outcomes.empty()) {
    if (!silent && report.notices.empty()) return offline::kExitDone;
    Say(report.copiesMade == 0 && silent ? "the analysis failed; nothing was replaced" : "nothing was replaced");
    SayAll(report.notices);
    SayAll(report.copiesFailed);
    return silent ? offline::kExitNothingDone : offline::kExitDone;
  }
  const auto leftAlone = static_cast<int>(report.copiesFailed.size()) + report.requestsRefused;
  const int code = offline::ExitCodeOf(report.outcomes, leftAlone);
  if (code == offline::kExitPartlyDone) Say("partly done: some hives were replaced, some left alone");
  if (code == offline::kExitNothingDone) Say("nothing was replaced");
  SayAll(offline::OutcomeLines(report.outcomes));
  for (const std::string& failed : report.copiesFailed) Say(failed + " (left alone)");
  SayAll(report.notices);
  return code;
}

// The largest hive this 32-bit program was seen to compact, under WOW64 with
// its 4 GiB of address space (scripts/measure-offline-windows); the copy is
// built in memory beside the hive's mapping.
constexpr std::uintmax_t kLargestHiveBytes = 932ull << 20;

// Hives too large for this program are named before anything runs: their
// copies fail for want of memory, and they are left alone.
void WarnOfLargeHives(OfflinePlatform& platform, bool boxed) {
  std::string names;
  for (const offline::RestorePointSource& hive : platform.HiveSources()) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(hive.file, ec);
    if (ec || size <= kLargestHiveBytes) continue;
    names += (names.empty() ? "" : ", ") + hive.file.filename().string() + " (" + std::to_string(size >> 20) + " MB)";
  }
  if (names.empty()) return;
  const std::string text = "Larger than the 32-bit hivora.exe is sure to compact (" +
                           std::to_string(kLargestHiveBytes >> 20) + " MB): " + names +
                           ". Such a hive may fail for want of memory and is then left alone; the Linux program "
                           "hivora compacts it.";
  Say(text);
  if (boxed) ::MessageBoxA(nullptr, text.c_str(), "Talvix Hivora", MB_OK | MB_ICONWARNING);
}

// Windows names files without regard to case: C:\M and c:\m are one installation.
std::string FoldedIdentity(const std::string& identity) { return hv::AsciiLower(identity); }

}  // namespace

bool WantsOfflineInstallation(int argc, const char* const* argv) {
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (arg.size() < 3 || arg.substr(0, 2) != "--") continue;
    const std::string_view name = arg.substr(2, arg.find('=') == std::string_view::npos ? std::string_view::npos
                                                                                         : arg.find('=') - 2);
    for (const char* option : kOfflineOptions) {
      if (name == option) return true;
    }
  }
  return false;
}

int RunOfflineInstallation(int argc, const char* const* argv) {
  win32::ConnectStandardErrorToConsole();
  std::string error;
  auto options = offline::ParseFrontEndOptions(argc, argv, &error);
  if (!options) return Refuse(error, offline::kUsageExitCode, true);
  const bool boxed = !Unattended(*options);
  if (!options->root && !options->machine) {
    return Refuse("name the installation with --root DIR or --machine FILE", offline::kUsageExitCode, boxed);
  }
  if (options->script) {
    return Refuse("--script drives the terminal of the Linux program; hivora.exe has windows",
                  offline::kUsageExitCode, boxed);
  }
  // Settings and language files where the Windows program keeps them: beside it.
  const std::string folder = Win32Platform().ProgramFolder();
  options->programFolder = folder;
  options->dataFolder = folder;

  std::unique_ptr<OfflinePlatform> made = offline::MakeOfflinePlatform(*options, &error);
  if (!made) return Refuse(error, offline::kUsageExitCode, boxed);
  OfflinePlatform* platform = made.get();
  SetPlatform(std::move(made));

  const std::string instanceName = offline::InstanceNameFor(kInstanceName, FoldedIdentity(platform->identity()));
  ui::Win32Toolkit toolkit;
  // A listing reads only: it takes no lock and owns nothing.
  if (!platform->owner() && options->settle != SettleAction::kListRestorePoints) {
    if (platform->lockError() != err::kSuccess) {
      return Refuse("the installation's lock file cannot be made in " + platform->stateFolder().string() +
                        " (error " + std::to_string(platform->lockError()) + ")",
                    offline::kUsageExitCode, boxed);
    }
    // The owner comes forward; this start touches nothing.
    const bool found = toolkit.FindWindowA(instanceName.c_str()) != nullptr;
    if (found) RunApplication(toolkit, instanceName);
    Say("another hivora works on " + platform->identity() +
        (found ? "; it was brought forward. Nothing was done." : ". Nothing was done."));
    return offline::kExitNothingDone;
  }
  if (auto invalid = offline::SettleInvalidJournal(*platform, options->settle)) {
    return Refuse(invalid->lines.front(), invalid->exitCode, boxed);
  }
  if (const auto recovered = platform->report().recovered; !recovered.empty()) {
    Say("an interrupted restart was finished:");
    SayAll(offline::OutcomeLines(recovered));
  }
  if (options->settle != SettleAction::kNone) return Settle(*platform, options->settle, options->restorePointId);
  if (int code = SettlePendingAtStart(*platform, *options); code >= 0) return code;

  WarnOfLargeHives(*platform, boxed);

  // At a restart the system asks the program to close; it closes as the user
  // would close it.
  ui::Toolkit* tk = &toolkit;
  platform->SetRestartHandler([tk, instanceName] {
    if (HWND window = tk->FindWindowA(instanceName.c_str()); window != nullptr) {
      tk->PostMessageA(window, ui::kWmClose, 0, 0);
    }
  });
  try {
    RunApplication(toolkit, instanceName, platform->identity());
  } catch (const std::exception& e) {
    toolkit.ShowApplicationError(e.what());
  }
  return Outcome(*platform);
}

}  // namespace hv::app
