// hivora: the Linux program. Compacts the hives of an offline Windows
// installation, with the terminal as its front end.
//
//   hivora [--root DIR | --machine FILE] [--script FILE] [--json FILE] [/Silent | /Scan REPORT]
//   hivora [--root DIR | --machine FILE] --apply-pending | --discard-pending |
//          --restore-backups | --list-restore-points | --restore-point ID
//   hivora --help | --version
//
// The run itself (the command line, settling, the outcome and its exit
// code) is the offline session's (offline_session.h); this program supplies
// the terminal: its prompt, its window, and standard error for the lines.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/offline_session.h"
#include "platform/offline/front_end_options.h"
#include "platform/offline/installation_notes.h"
#include "platform/offline/instance_name.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/host_io.h"
#include "platform/offline/settle.h"
#include "shell/run_record.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "shell/command_switch.h"
#include "shell/startup.h"
#include "ui/console/instance_endpoint.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/messages.h"

namespace {

namespace fs = std::filesystem;
using hv::offline::OfflinePlatform;
using hv::offline::SettleAction;
using hv::ui::console::ConsoleOptions;

bool Interactive(const hv::offline::FrontEndOptions& options) {
  return !options.script && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

ConsoleOptions ToolkitOptions(const hv::offline::FrontEndOptions& options, bool unattended) {
  ConsoleOptions console;
  if (options.script) {
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = options.script->string();
  } else if (Interactive(options) && !unattended) {
    console.mode = ConsoleOptions::Mode::Interactive;
  } else {
    // An unattended run, on a terminal too (which it leaves to its lines): the
    // empty script, so that the window is shown, the switch's mode runs, and
    // the program ends.
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = "/dev/null";
  }
  return console;
}

// The terminal: lines on stderr, listings on stdout, questions at the prompt.
class TerminalFrontEnd : public hv::app::SessionFrontEnd {
 public:
  void Say(const std::string& line) override { std::fprintf(stderr, "hivora: %s\n", line.c_str()); }
  void Print(const std::string& line) override { std::printf("%s\n", line.c_str()); }
  void PrintText(const std::string& text, bool toError) override { std::fputs(text.c_str(), toError ? stderr : stdout); }

  PendingChoice AskAboutPending(const std::vector<std::string>& waiting) override {
    std::printf(
        "Replacements wait for a restart that never came:\n  %s\n"
        "[r] restart now: apply them, as the restart would\n"
        "[d] discard them: delete the copies, keep the hives\n"
        "[q] quit and leave them waiting\nChoice: ",
        hv::offline::JoinedHives(waiting).c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) answer = "q";
    if (answer == "r" || answer == "R") return PendingChoice::kApply;
    if (answer == "d" || answer == "D") return PendingChoice::kDiscard;
    return PendingChoice::kLeave;
  }
};

int Run(int argc, char** argv) {
  TerminalFrontEnd frontEnd;
  hv::app::OfflineSession session(frontEnd, "hivora");
  if (auto code = session.ReadCommandLine(argc, argv)) return *code;
  hv::offline::FrontEndOptions& options = session.options();
  if (!options.script && session.Mode() == hv::CommandSwitch::None && options.settle == SettleAction::kNone &&
      !Interactive(options)) {
    return session.UsageError("no terminal to show the window on: use /Scan FILE or /Silent, or --script FILE");
  }
  std::string error;
  std::unique_ptr<OfflinePlatform> platform = hv::offline::MakeOfflinePlatform(options, &error);
  if (!platform) return session.Refuse(error, hv::offline::kUsageExitCode);

  const std::string instanceName = hv::offline::InstanceNameFor(hv::kInstanceName, platform->identity());
  if (auto code = session.Begin(*platform, Interactive(options))) return *code;
  if (!platform->owner()) {
    // The owner comes forward; this start touches nothing.
    const std::string endpoint = hv::ui::console::EndpointPath(instanceName);
    const bool activated = !endpoint.empty() && hv::ui::console::SendToEndpoint(
                                                    endpoint, hv::ui::kWmActivateInstance, 0, 0);
    session.Say("another hivora works on " + platform->identity() +
                (activated ? "; it was brought forward. Nothing was done." : ". Nothing was done."));
    return session.End(hv::offline::kExitNothingDone);
  }
  const std::vector<std::string> warnings = session.Warnings();

  std::unique_ptr<hv::ui::console::ConsoleToolkit> toolkit;
  try {
    toolkit = hv::ui::console::MakeConsoleToolkit(ToolkitOptions(options, session.Unattended()));
  } catch (const hv::ui::console::ConsoleSetupError& e) {
    return session.Refuse(e.what(), hv::offline::kUsageExitCode);
  }

  // At a restart the system asks the program to close; it closes as the
  // user would close it.
  hv::ui::Toolkit* tk = toolkit.get();
  platform->SetRestartHandler([tk, instanceName] {
    if (hv::HWND window = tk->FindWindowA(instanceName.c_str()); window != nullptr) {
      tk->PostMessageA(window, hv::ui::kWmClose, 0, 0);
    }
  });
  if (toolkit->Options().mode == ConsoleOptions::Mode::Interactive) {
    // The terminal names the installation and, for the selected hive, the
    // host files an analysis reads and writes.
    const hv::offline::OfflinePlatform* offline = platform.get();
    hv::ui::console::ConsoleToolkit::ScreenNotes notes;
    notes.title = [title = hv::offline::InstallationTitle(options, *platform)] { return title; };
    notes.rowInfo = [offline](const hv::ui::ListView& list, int row) -> std::string {
      if (row < 0 || static_cast<std::size_t>(row) >= list.Rows().size()) return {};
      const auto& data = list.Rows()[static_cast<std::size_t>(row)];
      return hv::offline::HiveRowNote(*offline, data.caption, data.subItems.size() > 1 ? data.subItems[1] : "");
    };
    toolkit->SetScreenNotes(std::move(notes));
    // A line printed on the terminal would be drawn over at once: with no
    // desktop to open it, the address is shown where it can be read and copied.
    hv::ui::console::ConsoleToolkit* shown = toolkit.get();
    platform->SetOpenNotice([shown](const std::string& address, bool opened) {
      if (opened) return;
      shown->MessageBoxA(nullptr, "No web browser could be opened here. The address is:\n\n" + address,
                         hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
    });
    // A settings, language or report file that is refused is told in a
    // message, once the window is up.
    hv::offline::SetProfileRefusalNotice([shown](const std::string& line) {
      shown->PostTask([shown, line] {
        shown->MessageBoxA(nullptr, line + ".", hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
      });
    });
    if (!warnings.empty()) {
      std::string text;
      for (const std::string& warning : warnings) text += (text.empty() ? "" : "\n\n") + warning;
      hv::ui::console::ConsoleToolkit* console = toolkit.get();
      toolkit->PostTask([console, text] {
        console->MessageBoxA(nullptr, text, hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
      });
    }
  } else {
    for (const std::string& warning : warnings) session.Say("warning: " + warning);
    // Nobody could press a button: the window's messages are lines on stderr.
    if (!options.script) toolkit->DivertMessages([&session](const std::string& text) { session.Say(text); });
    if (!options.script && isatty(STDERR_FILENO)) session.ShowProgress();
  }
  OfflinePlatform* os = platform.get();
  hv::SetPlatform(std::move(platform));
  hv::RunApplication(*toolkit, instanceName);
  const int scriptErrors = toolkit->DiagnosticCount();
  toolkit.reset();  // the terminal is given back before the summary
  const int code = session.Finish(*os);
  // A script that asked for what is not there is a bad command line, whatever the run did.
  if (options.script && scriptErrors > 0) {
    session.Say("the script had " + std::to_string(scriptErrors) + (scriptErrors == 1 ? " error" : " errors"));
    return hv::offline::kUsageExitCode;
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hivora: %s\n", e.what());
    return 1;
  }
}
