#include "app/offline_front_end_win32.h"

#include "app/offline_session.h"

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
#include "platform/win32/window_station.h"
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
using app::OfflineSession;
using app::SessionFrontEnd;
using offline::OfflinePlatform;
using offline::SettleAction;

constexpr const char* kOfflineOptions[] = {"root",          "machine",         "apply-pending", "discard-pending",
                                           "restore-backups", "list-restore-points", "restore-point"};

// The parent's console for lines and listings; message boxes for a user
// who started the program by hand.
class WindowsFrontEnd : public SessionFrontEnd {
 public:
  void Say(const std::string& line) override {
    std::fprintf(stderr, "hivora: %s\n", line.c_str());
    std::fflush(stderr);
  }
  void Print(const std::string& line) override {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void PrintText(const std::string& text, bool toError) override {
    std::fputs(text.c_str(), toError ? stderr : stdout);
    std::fflush(toError ? stderr : stdout);
  }
  PendingChoice AskAboutPending(const std::vector<std::string>& waiting) override {
    const std::string question = "Replacements wait for a restart that never came:\n" +
                                 offline::JoinedHives(waiting) +
                                 "\n\nYes: restart now (apply them, as the restart would).\n"
                                 "No: discard them (delete the copies, keep the hives).\n"
                                 "Cancel: quit and leave them waiting.";
    switch (::MessageBoxA(nullptr, question.c_str(), "Talvix Hivora", MB_YESNOCANCEL | MB_ICONQUESTION)) {
      case IDYES: return PendingChoice::kApply;
      case IDNO: return PendingChoice::kDiscard;
      default: return PendingChoice::kLeave;
    }
  }
  void ShowRefusal(const std::string& text) override {
    if (win32::WindowStationIsInteractive()) ::MessageBoxA(nullptr, text.c_str(), "Talvix Hivora", MB_OK | MB_ICONERROR);
  }
};

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
  WindowsFrontEnd frontEnd;
  OfflineSession session(frontEnd, "hivora.exe");
  if (auto code = session.ReadCommandLine(argc, argv)) return *code;
  FrontEndOptions& options = session.options();
  if (!options.root && !options.machine) return session.UsageError("name the installation with --root DIR or --machine FILE");
  if (options.script) return session.UsageError("--script drives the terminal of the Linux program; hivora.exe has windows");
  // Boxes only where a user can see them and nobody waits on the exit code.
  const bool boxed = !session.Unattended() && win32::WindowStationIsInteractive();
  // Settings and language files where the Windows program keeps them: beside it.
  const std::string folder = Win32Platform().ProgramFolder();
  options.programFolder = folder;
  options.dataFolder = folder;

  std::string error;
  std::unique_ptr<OfflinePlatform> made = offline::MakeOfflinePlatform(options, &error);
  if (!made) return session.Refuse(error, offline::kUsageExitCode);
  OfflinePlatform* platform = made.get();
  SetPlatform(std::move(made));

  const std::string instanceName = offline::InstanceNameFor(kInstanceName, FoldedIdentity(platform->identity()));
  ui::Win32Toolkit toolkit;
  if (auto code = session.Begin(*platform, boxed)) return *code;
  if (!platform->owner()) {
    // The owner comes forward; this start touches nothing.
    const bool found = toolkit.FindWindowA(instanceName.c_str()) != nullptr;
    if (found) RunApplication(toolkit, instanceName);
    session.Say("another hivora works on " + platform->identity() +
                (found ? "; it was brought forward. Nothing was done." : ". Nothing was done."));
    return session.End(offline::kExitNothingDone);
  }
  for (const std::string& warning : session.Warnings()) session.Say("warning: " + warning);
  // Nobody waits at the screen of an unattended run: its messages go to the
  // parent console, and the run goes on as after OK.
  if (!boxed) toolkit.DivertMessages([&session](const std::string& text) { session.Say(text); });

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
  return session.Finish(*platform);
}

}  // namespace hv::app
