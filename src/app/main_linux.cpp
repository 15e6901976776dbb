// hivora: the Linux program. Compacts the hives of an offline Windows
// installation, with the terminal as its front end.
//
//   hivora [--root DIR | --machine FILE] [--script FILE] [/Silent | /Scan REPORT]
//   hivora [--root DIR | --machine FILE] --apply-pending | --discard-pending |
//          --restore-backups | --list-restore-points | --restore-point ID
//   hivora --help | --version
//
// Exit codes (also in UsageText): 0 done; 1 nothing done (analysis failed,
// report not written, nothing replaced, or the installation is owned by
// another instance, which was brought forward); 2 bad command line or
// installation; 3 partly done (some hives replaced, some left alone).
// Anything but 0 says why in one line on standard error; runs that change
// hives print a summary there too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/offline/front_end_options.h"
#include "platform/offline/installation_notes.h"
#include "platform/offline/instance_name.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/host_io.h"
#include "platform/offline/settle.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "shell/command_switch.h"
#include "shell/startup.h"
#include "settings/language.h"
#include "settings/options.h"
#include "ui/console/ansi_text.h"
#include "ui/console/instance_endpoint.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/messages.h"

namespace {

namespace fs = std::filesystem;
using hv::offline::OfflinePlatform;
using hv::offline::SettleAction;
using hv::ui::console::ConsoleOptions;

void Say(const std::string& line) { std::fprintf(stderr, "hivora: %s\n", line.c_str()); }

// The terminal's own words in the current language, read from its file once
// per language: the screen is drawn many times a second.
std::function<std::string(const char*, const char*)> ScreenTextSource(int codePage) {
  struct Cache {
    std::string language;
    std::map<std::string, std::string> texts;
  };
  return [codePage, cache = std::make_shared<Cache>()](const char* key, const char* english) -> std::string {
    if (hv::IsEnglish(hv::OptionsSetting.Lan)) return english;
    if (cache->language != hv::OptionsSetting.Lan) {
      cache->language = hv::OptionsSetting.Lan;
      cache->texts.clear();
    }
    auto it = cache->texts.find(key);
    if (it == cache->texts.end()) {
      const std::string value = hv::GetLanString(key, "");
      it = cache->texts.emplace(key, value.empty() ? english : hv::ui::console::AnsiToUtf8(value, codePage)).first;
    }
    return it->second;
  };
}

int Fail(const std::string& message) {
  Say(message);
  return hv::offline::kUsageExitCode;
}

void SayAll(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) Say(line);
}

bool Interactive(const hv::offline::FrontEndOptions& options) {
  return !options.script && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

ConsoleOptions ToolkitOptions(const hv::offline::FrontEndOptions& options) {
  ConsoleOptions console;
  if (options.script) {
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = options.script->string();
  } else if (Interactive(options)) {
    console.mode = ConsoleOptions::Mode::Interactive;
  } else {
    // Without a terminal and without a script: the empty script, so that
    // the window is shown, the unattended modes run, and the program ends.
    console.mode = ConsoleOptions::Mode::Script;
    console.scriptPath = "/dev/null";
  }
  return console;
}

int Settle(OfflinePlatform& platform, const hv::offline::FrontEndOptions& options) {
  const hv::offline::SettleResult result = hv::offline::SettleBy(platform, options.settle, options.restorePointId);
  if (options.settle == SettleAction::kListRestorePoints) {
    for (const std::string& line : result.lines) std::printf("%s\n", line.c_str());
    return result.exitCode;
  }
  if (result.exitCode == hv::offline::kExitPartlyDone) Say("partly done; see the lines below");
  SayAll(result.lines);
  return result.exitCode;
}

// Replacements that were requested but whose restart never came. Asked on a
// terminal; otherwise told, and the program ends without touching them.
// -1: go on to the main window; else the exit code.
int SettlePendingAtStart(OfflinePlatform& platform, const hv::offline::FrontEndOptions& options) {
  const std::vector<std::string> waiting = hv::offline::WaitingHives(platform);
  if (waiting.empty()) return -1;
  const std::string names = hv::offline::JoinedHives(waiting);
  if (!Interactive(options)) {
    Say(hv::offline::PendingAtStartText(waiting));
    return hv::offline::kExitNothingDone;
  }
  std::printf(
      "Replacements wait for a restart that never came:\n  %s\n"
      "[r] restart now: apply them, as the restart would\n"
      "[d] discard them: delete the copies, keep the hives\n"
      "[q] quit and leave them waiting\nChoice: ",
      names.c_str());
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer = "q";
  if (answer == "r" || answer == "R") {
    hv::offline::FrontEndOptions apply = options;
    apply.settle = SettleAction::kApplyPending;
    return Settle(platform, apply);
  }
  if (answer == "d" || answer == "D") {
    hv::offline::FrontEndOptions discard = options;
    discard.settle = SettleAction::kDiscardPending;
    const int code = Settle(platform, discard);
    return code == 0 ? -1 : code;
  }
  Say("the replacements still wait; nothing was done");
  return hv::offline::kExitNothingDone;
}

bool ReportWritten(OfflinePlatform& platform, const std::string& reportPath) {
  if (reportPath.empty()) return false;
  auto file = platform.drives().Resolve(reportPath);
  std::string text;
  return file && hv::offline::host::ReadFile(*file, &text) == hv::err::kSuccess &&
         text.find("[Scan Result]") != std::string::npos;
}

// The exit code of a run of the main window, with its summary on stderr.
int Outcome(OfflinePlatform& platform) {
  const hv::offline::RunReport report = platform.report();
  // The arguments as the application took them, not re-parsed from one line.
  const std::vector<std::string> arguments = platform.CommandLineArguments();
  const hv::CommandSwitch mode = hv::RecognizeSwitch(arguments);
  if (mode == hv::CommandSwitch::Scan) {
    if (!ReportWritten(platform, hv::ReportPathArgument(arguments))) {
      Say("the report was not written");
      return hv::offline::kExitNothingDone;
    }
    if (report.copiesMade == 0) {
      Say("the analysis failed; no hive could be copied");
      SayAll(report.copiesFailed);
      return hv::offline::kExitNothingDone;
    }
    return hv::offline::kExitDone;
  }
  const auto leftAlone = static_cast<int>(report.copiesFailed.size()) + report.requestsRefused;
  const bool silent = mode == hv::CommandSwitch::Silent;
  if (!report.restarted || report.outcomes.empty()) {
    if (!silent && report.notices.empty()) return hv::offline::kExitDone;
    Say(report.copiesMade == 0 && silent ? "the analysis failed; nothing was replaced" : "nothing was replaced");
    SayAll(report.notices);
    SayAll(report.copiesFailed);
    return silent ? hv::offline::kExitNothingDone : hv::offline::kExitDone;
  }
  const int code = hv::offline::ExitCodeOf(report.outcomes, leftAlone);
  if (code == hv::offline::kExitPartlyDone) Say("partly done: some hives were replaced, some left alone");
  if (code == hv::offline::kExitNothingDone) Say("nothing was replaced");
  SayAll(hv::offline::OutcomeLines(report.outcomes));
  for (const std::string& failed : report.copiesFailed) Say(failed + " (left alone)");
  SayAll(report.notices);
  return code;
}

int Run(int argc, char** argv) {
  std::string error;
  auto options = hv::offline::ParseFrontEndOptions(argc, argv, &error);
  if (!options) return Fail(error);
  if (options->help) {
    std::fputs(hv::offline::UsageText("hivora").c_str(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("hivora (Talvix Hivora) %s\n", hv::BuiltinText(hv::kTextVersion));
    return 0;
  }
  std::unique_ptr<OfflinePlatform> platform = hv::offline::MakeOfflinePlatform(*options, &error);
  if (!platform) return Fail(error);

  const std::string instanceName = hv::offline::InstanceNameFor(hv::kInstanceName, platform->identity());
  if (!platform->owner()) {
    if (platform->lockError() != hv::err::kSuccess) {
      return Fail("the installation's lock file cannot be made in " + platform->stateFolder().string() +
                  " (error " + std::to_string(platform->lockError()) + ")");
    }
    // The owner comes forward; this start touches nothing.
    const std::string endpoint = hv::ui::console::EndpointPath(instanceName);
    const bool activated = !endpoint.empty() && hv::ui::console::SendToEndpoint(
                                                    endpoint, hv::ui::kWmActivateInstance, 0, 0);
    Say("another hivora works on " + platform->identity() +
        (activated ? "; it was brought forward. Nothing was done." : ". Nothing was done."));
    return hv::offline::kExitNothingDone;
  }
  if (const auto recovered = platform->report().recovered; !recovered.empty()) {
    Say("an interrupted restart was finished:");
    SayAll(hv::offline::OutcomeLines(recovered));
  }
  if (options->settle != SettleAction::kNone) return Settle(*platform, *options);
  if (int code = SettlePendingAtStart(*platform, *options); code >= 0) return code;
  // Settling works on what is left of an installation; the window needs hives.
  const hv::offline::InstallationCheck check = hv::offline::CheckInstallation(*platform);
  if (check.refusal) {
    const std::string where = options->root ? options->root->string() + ": "
                              : options->machine ? options->machine->string() + ": "
                                                 : std::string();
    return Fail(where + *check.refusal);
  }

  std::unique_ptr<hv::ui::console::ConsoleToolkit> toolkit;
  try {
    toolkit = hv::ui::console::MakeConsoleToolkit(ToolkitOptions(*options));
  } catch (const hv::ui::console::ConsoleSetupError& e) {
    return Fail(e.what());
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
    notes.title = [title = hv::offline::InstallationTitle(*options, *platform)] { return title; };
    notes.rowInfo = [offline](const hv::ui::ListView& list, int row) -> std::string {
      if (row < 0 || static_cast<std::size_t>(row) >= list.Rows().size()) return {};
      const auto& data = list.Rows()[static_cast<std::size_t>(row)];
      return hv::offline::HiveRowNote(*offline, data.caption, data.subItems.size() > 1 ? data.subItems[1] : "");
    };
    notes.text = ScreenTextSource(toolkit->Options().codePage);
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
    if (!check.warnings.empty()) {
      std::string text;
      for (const std::string& warning : check.warnings) text += (text.empty() ? "" : "\n\n") + warning;
      hv::ui::console::ConsoleToolkit* console = toolkit.get();
      toolkit->PostTask([console, text] {
        console->MessageBoxA(nullptr, text, hv::BuiltinText(hv::kTextProductTitle), hv::ui::kMbOk);
      });
    }
  } else {
    for (const std::string& warning : check.warnings) std::fprintf(stderr, "hivora: warning: %s\n", warning.c_str());
  }
  OfflinePlatform* os = platform.get();
  hv::SetPlatform(std::move(platform));
  hv::RunApplication(*toolkit, instanceName);
  toolkit.reset();  // the terminal is given back before the summary
  return Outcome(*os);
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
