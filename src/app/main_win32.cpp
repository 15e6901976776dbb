// hivora.exe: the Windows program. Compacts the live registry, with native
// windows as its front end. The command line is read by the main window.
//
//   hivora.exe [--json FILE] [/Silent | /Scan REPORT]
//   hivora.exe --root DIR | --machine FILE [/Silent | /Scan REPORT]
//   hivora.exe --root DIR | --machine FILE --apply-pending | --discard-pending |
//              --restore-backups | --list-restore-points | --restore-point ID
//
// On the live registry: exit code 0 in every path, also when another
// instance was brought forward, save a command line that cannot be run: it is
// told with the usage on the parent console and ends with 2 before any work
// (a typo would otherwise open a window that an unattended job waits on
// forever). --help, /? and --version print there and end with 0. In a window
// station nobody can see (a service, a task run as SYSTEM), message boxes go
// to the Application event log and standard error, and the run goes on as
// after OK. On an offline installation (--root, --machine;
// offline_front_end_win32.h) the exit codes of the Linux program.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/offline_front_end_win32.h"
#include "app/live_command_line.h"
#include "app/offline_session.h"
#include "app/run_results.h"
#include "platform/win32/console_output.h"
#include "platform/win32/window_station.h"
#include "platform/platform.h"
#include "platform/win32/library_search.h"
#include "platform/win32/win32_platform.h"
#include "resources/builtin_texts.h"
#include "shell/command_switch.h"
#include "shell/run_record.h"
#include "shell/startup.h"
#include "ui/win32/win32_toolkit.h"

#include "platform/win32/win.h"

namespace {

const char kLiveUsage[] =
    "Usage: hivora.exe [--json FILE] [/Silent | /Scan REPORT]\n"
    "       hivora.exe --root DIR | --machine FILE [options] [/Silent | /Scan REPORT]\n"
    "       hivora.exe --help | --version\n"
    "\n"
    "Compacts the registry of this Windows; with --root or --machine, of an offline\n"
    "installation (hivora.exe --root DIR --help lists its options).\n"
    "\n"
    "Switches (the first argument; nothing else may look like one):\n"
    "  /Silent          analyse, commit and restart unattended\n"
    "  /Scan REPORT     analyse unattended and write the figures into the INI file REPORT\n"
    "Options (anywhere on the line):\n"
    "  --json FILE      write each hive's result and the exit code into FILE as JSON\n"
    "Run it with \"start /wait\" (or Start-Process -Wait) to get its exit code:\n"
    "  0  done (the live registry: also when a run failed; its messages tell)\n"
    "  2  bad command line\n";

// The live program's command line, checked before any work: nullopt and
// *line to run, else the exit code.
std::optional<int> CheckLiveCommandLine(int argc, char** argv, hv::app::LiveCommandLine* line) {
  std::string taken;
  std::vector<std::string> words;
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) words.emplace_back(argv[i]);
  std::optional<hv::app::LiveCommandLine> parsed = hv::app::TakeLiveOptions(words, &taken);
  const std::string first = parsed && parsed->arguments.size() > 1 ? parsed->arguments[1] : "";
  if (first == "--help" || first == "-h" || first == "/?") {
    hv::win32::ConnectStandardErrorToConsole();
    std::fputs(kLiveUsage, stdout);
    std::fflush(stdout);
    return 0;
  }
  if (first == "--version") {
    hv::win32::ConnectStandardErrorToConsole();
    std::printf("hivora.exe (Talvix Hivora) %s\n", hv::BuiltinText(hv::kTextVersion));
    std::fflush(stdout);
    return 0;
  }
  std::optional<std::string> problem;
  if (!parsed) {
    problem = taken;
  } else {
    problem = hv::app::CheckSwitches(parsed->arguments);
    if (!problem && hv::RecognizeSwitch(parsed->arguments) == hv::CommandSwitch::Scan) {
      if (auto refused = hv::app::CheckWritable(hv::ReportPathArgument(parsed->arguments))) {
        problem = "the report " + *refused;
      }
    }
    if (!problem && parsed->json) {
      if (auto refused = hv::app::CheckWritable(*parsed->json)) problem = "--json: " + *refused;
    }
  }
  if (!problem) {
    *line = std::move(*parsed);
    return std::nullopt;
  }
  hv::win32::ConnectStandardErrorToConsole();
  std::fprintf(stderr, "hivora: %s\n", problem->c_str());
  std::fputs(kLiveUsage, stderr);
  std::fflush(stderr);
  return 2;
}

// The system's platform, showing the application its command line without
// the options this program took out.
class LivePlatform : public hv::Win32Platform {
 public:
  explicit LivePlatform(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}
  std::vector<std::string> CommandLineArguments() override { return arguments_; }

 private:
  std::vector<std::string> arguments_;
};

// Where nobody can press OK: the event log and standard error.
void TellUnseen(const std::string& text) {
  std::fprintf(stderr, "hivora: %s\n", text.c_str());
  std::fflush(stderr);
  (void)hv::win32::ReportToEventLog(text, false);
}

// The --json file of a run on the live registry, whose exit code is 0.
void WriteLiveResults(const std::string& file) {
  const auto refused = hv::app::WriteResultsJson(file, hv::app::LiveHiveResults(hv::TheRunRecord()), 0);
  if (!refused) return;
  hv::win32::ConnectStandardErrorToConsole();
  std::fprintf(stderr, "hivora: --json: %s\n", refused->c_str());
  std::fflush(stderr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a library by name (the toolkit's comctl32, the theme and restore
  // libraries looked up at run time): none of them may come from the program's folder.
  hv::win32::HardenLibrarySearch();
  try {
    if (hv::app::WantsOfflineInstallation(__argc, __argv)) {
      try {
        return hv::app::RunOfflineInstallation(__argc, __argv);
      } catch (const std::exception& error) {
        // An offline run reports on the console it was started from, and an
        // unattended one must never wait on a box.
        hv::win32::ConnectStandardErrorToConsole();
        std::fprintf(stderr, "hivora: %s\n", error.what());
        return 1;
      }
    }
    hv::app::LiveCommandLine line;
    if (auto code = CheckLiveCommandLine(__argc, __argv, &line)) return *code;
    hv::SetPlatform(std::make_unique<LivePlatform>(line.arguments));
    hv::ui::Win32Toolkit toolkit;
    if (!hv::win32::WindowStationIsInteractive()) {
      hv::win32::ConnectStandardErrorToConsole();
      toolkit.DivertMessages(TellUnseen);
    }
    try {
      hv::RunApplication(toolkit, hv::kInstanceName);
    } catch (const std::exception& error) {
      toolkit.ShowApplicationError(error.what());
    }
    if (line.json) WriteLiveResults(*line.json);
  } catch (const std::exception& error) {
    if (hv::win32::WindowStationIsInteractive()) {
      ::MessageBoxA(nullptr, error.what(), "Talvix Hivora", MB_OK | MB_ICONERROR);
    } else {
      TellUnseen(error.what());
    }
  } catch (...) {
    if (hv::win32::WindowStationIsInteractive()) {
      ::MessageBoxA(nullptr, "An unexpected error occurred.", "Talvix Hivora", MB_OK | MB_ICONERROR);
    } else {
      TellUnseen("An unexpected error occurred.");
    }
  }
  return 0;
}
