#include "app/offline_session.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <system_error>

#include "app/run_results.h"
#include "hive/progress_dialog.h"
#include "platform/offline/drive_map.h"
#include "platform/offline/error_text.h"
#include "platform/offline/host_io.h"
#include "platform/offline/settle.h"
#include "resources/builtin_texts.h"
#include "shell/run_record.h"
#include "regf/text_case.h"

namespace hv::app {
namespace {

namespace fs = std::filesystem;
using offline::OfflinePlatform;
using offline::SettleAction;

bool LooksLikeSwitch(const std::string& arg) { return !arg.empty() && (arg[0] == '/' || arg[0] == '-'); }

std::string Plural(std::size_t n, const char* one, const char* many) { return n == 1 ? one : many; }

// The journal still holds a replacement of `hive`.
bool StillWaiting(OfflinePlatform& platform, const fs::path& hive) {
  const auto entries = platform.journal().Entries();
  return std::any_of(entries.begin(), entries.end(),
                     [&](const offline::PendingReplacement& e) { return e.hive == hive; });
}

}  // namespace

std::optional<std::string> CheckSwitches(const std::vector<std::string>& arguments) {
  const std::size_t count = arguments.size();
  if (count < 2) return std::nullopt;
  const std::string& first = arguments[1];
  std::size_t used = 2;
  if (SameText(first, "/SILENT")) {
    used = 2;
  } else if (SameText(first, "/SCAN")) {
    if (count < 3 || arguments[2].empty()) return "/Scan needs the report file: /Scan FILE";
    used = 3;
  } else if (LooksLikeSwitch(first)) {
    return "unknown switch " + first + " (the switches are /Silent and /Scan FILE)";
  } else {
    used = 1;  // a word that is no switch is not read
  }
  for (std::size_t i = used; i < count; ++i) {
    if (LooksLikeSwitch(arguments[i])) {
      return SameText(arguments[i], "/SILENT") || SameText(arguments[i], "/SCAN")
                 ? "the switch " + arguments[i] + " must be the first argument"
                 : "unknown argument " + arguments[i];
    }
    if (used > 1) return "unexpected argument " + arguments[i] + " after " + first;
  }
  return std::nullopt;
}

std::optional<std::string> CheckWritable(const std::string& file) {
  std::error_code ec;
  const fs::path path(file);
  const bool existed = fs::exists(fs::symlink_status(path, ec));
  if (existed && fs::is_directory(path, ec)) return file + " is a folder";
  DWORD error = err::kSuccess;
  auto opened = offline::host::OpenFile::Open(path, false, true, offline::host::OpenFile::Disposition::kOpenAlways,
                                              &error);
  if (!opened) return file + " cannot be written: " + offline::ErrorText(error);
  opened.reset();
  if (!existed) fs::remove(path, ec);
  return std::nullopt;
}

OfflineSession::OfflineSession(SessionFrontEnd& frontEnd, std::string programName)
    : frontEnd_(frontEnd), programName_(std::move(programName)) {}

void OfflineSession::Say(const std::string& line) {
  // A message of several lines (a window's) is several lines of the program's.
  if (const std::size_t end = line.find('\n'); end != std::string::npos) {
    if (end > 0) Say(line.substr(0, end));
    if (end + 1 < line.size()) Say(line.substr(end + 1));
    return;
  }
  if (!said_.insert(line).second) return;
  if (!progressShown_.empty()) {
    frontEnd_.PrintText("\n", true);
    progressShown_.clear();
  }
  frontEnd_.Say(line);
}

void OfflineSession::ShowProgress() {
  TfrmGetNewHiveProgess::ObserveProgress([this](const std::string& hive, int percent) {
    const std::string line = "hivora: " + hive + " " + std::to_string(percent) + "%";
    if (line == progressShown_) return;
    // Back to the line's start, and the rest of a longer line before it cleared.
    frontEnd_.PrintText("\r" + line + "\x1b[K", true);
    progressShown_ = line;
  });
}

void OfflineSession::SayAll(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) Say(line);
}

CommandSwitch OfflineSession::Mode() const {
  std::vector<std::string> line{programName_};
  line.insert(line.end(), options_.arguments.begin(), options_.arguments.end());
  return RecognizeSwitch(line);
}

int OfflineSession::UsageError(const std::string& problem) {
  Say(problem);
  // The synopsis, not the whole text: the problem stays in view.
  const std::string usage = offline::UsageText(programName_);
  frontEnd_.PrintText(usage.substr(0, usage.find("\n\n") + 1) + "(" + programName_ + " --help tells more)\n", true);
  return offline::kUsageExitCode;
}

int OfflineSession::Refuse(const std::string& line, int code) {
  Say(line);
  if (!Unattended()) frontEnd_.ShowRefusal(line);
  return code;
}

std::optional<int> OfflineSession::ReadCommandLine(int argc, const char* const* argv) {
  std::string error;
  auto options = offline::ParseFrontEndOptions(argc, argv, &error);
  if (!options) return UsageError(error);
  options_ = std::move(*options);
  if (!options_.arguments.empty() && options_.arguments.front() == "/?") options_.help = true;
  if (options_.help) {
    frontEnd_.PrintText(offline::UsageText(programName_), false);
    return 0;
  }
  if (options_.version) {
    frontEnd_.PrintText(programName_ + " (Talvix Hivora) " + BuiltinText(kTextVersion) + "\n", false);
    return 0;
  }
  std::vector<std::string> line{programName_};
  line.insert(line.end(), options_.arguments.begin(), options_.arguments.end());
  if (auto problem = CheckSwitches(line)) return UsageError(*problem);
  if (options_.settle != SettleAction::kNone && Mode() != CommandSwitch::None) {
    return UsageError("a switch does not go with --" +
                      std::string(options_.settle == SettleAction::kApplyPending      ? "apply-pending"
                                  : options_.settle == SettleAction::kDiscardPending  ? "discard-pending"
                                  : options_.settle == SettleAction::kRestoreBackups  ? "restore-backups"
                                  : options_.settle == SettleAction::kListRestorePoints ? "list-restore-points"
                                                                                      : "restore-point"));
  }
  // What the run will write is found out now, not after the analysis.
  if (Mode() == CommandSwitch::Scan) {
    std::string& report = options_.arguments[1];
#ifdef _WIN32
    // A path typed by the user names a file of the system the program runs
    // on: "X:\r.ini" is this system's X:, not the installation's. The
    // platform takes the "\\?\" form for a file of the host.
    std::error_code ec;
    const std::string absolute = fs::absolute(fs::path(report), ec).string();
    if (!ec && offline::DriveMap::IsDrivePath(absolute)) report = "\\\\?\\" + absolute;
    const bool hostFile = true;
#else
    // Here a drive path is a file of the installation, as every "X:\" path of this platform.
    const bool hostFile = !offline::DriveMap::IsDrivePath(report);
#endif
    if (auto problem = hostFile ? CheckWritable(report) : std::nullopt) {
      return Refuse("the report " + *problem, offline::kUsageExitCode);
    }
  }
  if (options_.json) {
    if (auto problem = CheckWritable(options_.json->string())) return Refuse("--json: " + *problem, offline::kUsageExitCode);
  }
  return std::nullopt;
}

std::optional<int> OfflineSession::Begin(OfflinePlatform& platform, bool attended) {
  // A listing reads only: it takes no lock and owns nothing.
  const bool listing = options_.settle == SettleAction::kListRestorePoints;
  const std::string where = options_.root      ? options_.root->string() + ": "
                            : options_.machine ? options_.machine->string() + ": "
                                               : std::string();
  if (platform.readOnlyInstallation() && !platform.workDirError().empty()) {
    return Ended(nullptr, Refuse(where + "the installation is read-only and " + platform.workDirError(),
                                 offline::kUsageExitCode));
  }
  if (!platform.owner() && !listing) {
    if (platform.lockError() != err::kSuccess) {
      const std::string why = offline::ErrorText(platform.lockError());
      // A read-only installation without a lock file of its own is locked in the work folder.
      const std::string folder = platform.workDir() != nullptr ? platform.workDir()->path().string()
                                                               : platform.stateFolder().string();
      return Ended(nullptr, Refuse("the installation's lock file cannot be made in " + folder +
                                       ": " + why +
                                       (why == offline::ErrnoText(EROFS)
                                            ? "; the installation is mounted read-only: mount it read-write to analyse "
                                              "or change it"
                                            : std::string()),
                                   offline::kUsageExitCode));
    }
    return std::nullopt;  // the front end brings the owner forward
  }
  if (platform.readOnlyInstallation()) {
    // Nothing of it may change: what would have to is refused with what to do.
    const offline::JournalState state = platform.journal().State();
    if (!platform.journal().Problem() && !platform.journal().Entries().empty() &&
        (state == offline::JournalState::kRestarting || state == offline::JournalState::kRestoring)) {
      return Ended(&platform, Refuse(where + "the installation is read-only, and an interrupted " +
                                         (state == offline::JournalState::kRestoring ? "restore" : "restart") +
                                         " waits to be finished in it: mount it read-write and run hivora again",
                                     offline::kUsageExitCode));
    }
    if (options_.settle != SettleAction::kNone) {
      return Ended(&platform, Refuse(where + "the installation is read-only: mount it read-write to settle or "
                                             "restore it",
                                     offline::kUsageExitCode));
    }
  }
  if (auto invalid = offline::SettleInvalidJournal(platform, options_.settle)) {
    SayAll(invalid->lines);
    return Ended(&platform, invalid->exitCode);
  }
  if (const auto recovered = platform.report().recovered; !recovered.empty()) {
    // What the restart still could not replace stays in the journal: told with its way out below.
    std::vector<offline::ReplacementOutcome> finished;
    std::vector<offline::ReplacementOutcome> waiting;
    for (const offline::ReplacementOutcome& outcome : recovered) {
      (StillWaiting(platform, outcome.hive) ? waiting : finished).push_back(outcome);
    }
    if (!finished.empty()) {
      Say(platform.report().recoveredRestore ? "an interrupted restore was finished:"
                                             : "an interrupted restart was finished:");
      SayAll(offline::OutcomeLines(finished));
    }
    if (!waiting.empty() && platform.report().recoveredRestore) {
      Say("an interrupted restore could not be finished; it is tried again at each start until what stops it is "
          "removed:");
      SayAll(offline::OutcomeLines(waiting));
      if (Mode() == CommandSwitch::None && options_.settle == SettleAction::kNone) {
        std::string hives;
        for (const offline::ReplacementOutcome& outcome : waiting) {
          hives += (hives.empty() ? "" : ", ") + platform.drives().ToWindows(outcome.hive) +
                   (outcome.why.empty() ? std::string() : ": " + outcome.why);
        }
        stuckRestart_ = "An interrupted restore could not put back " + hives +
                        ". It is tried again at each start until what stops it is removed; the hives can be analysed, "
                        "but not defragmented meanwhile.";
      }
    }
  }
  if (options_.settle != SettleAction::kNone) {
    return Ended(&platform, Settle(platform, options_.settle, options_.restorePointId));
  }
  // Replacements left waiting cannot be applied on a disk that cannot be written: told, not asked.
  if (auto code = SettlePendingAtStart(platform, attended && !platform.readOnlyInstallation())) {
    return Ended(&platform, *code);
  }
  // Settling works on what is left of an installation; the window needs hives.
  const offline::InstallationCheck check = offline::CheckInstallation(platform);
  if (check.refusal) {
    return Ended(&platform, Refuse(where + *check.refusal, offline::kUsageExitCode));
  }
  warnings_ = check.warnings;
  if (!stuckRestart_.empty()) warnings_.push_back(stuckRestart_);
  if (platform.readOnlyInstallation() && !Unattended()) {
    warnings_.push_back("The installation is read-only: it is analysed with its copies in " +
                        platform.workDir()->path().string() + ", and none of its hives can be replaced.");
  }
  return std::nullopt;
}

int OfflineSession::Settle(OfflinePlatform& platform, SettleAction action, const std::string& pointId) {
  const offline::SettleResult result = offline::SettleBy(platform, action, pointId);
  if (action == SettleAction::kListRestorePoints) {
    for (const std::string& line : result.lines) frontEnd_.Print(line);
    return result.exitCode;
  }
  if (result.exitCode == offline::kExitPartlyDone) Say("partly done; see the lines below");
  SayAll(result.lines);
  return result.exitCode;
}

// Replacements that were requested but whose restart never came: asked in
// an attended run; otherwise told, and the run ends without touching them.
// A restart that could not replace every hive, tried again at this start in
// vain, ends only /Silent. None of them keeps /Scan from analysing the hives
// as they are: an analysis changes nothing and its copies take other names
// meanwhile.
std::optional<int> OfflineSession::SettlePendingAtStart(OfflinePlatform& platform, bool attended) {
  const bool scan = Mode() == CommandSwitch::Scan;
  if (platform.journal().State() == offline::JournalState::kRestarting && !platform.journal().Entries().empty()) {
    const offline::RunReport report = platform.report();
    std::map<fs::path, const offline::ReplacementOutcome*> tried;
    for (const offline::ReplacementOutcome& outcome : report.recovered) tried[outcome.hive] = &outcome;
    // Hives the restart could not replace, with why; and hives it did
    // replace though the journal, which could not be written, still lists them.
    std::string failing;
    std::vector<std::string> unrecorded;
    for (const offline::PendingReplacement& e : platform.journal().Entries()) {
      const auto it = tried.find(e.hive);
      if (it != tried.end() && it->second->replaced) {
        unrecorded.push_back(platform.drives().ToWindows(e.hive));
        continue;
      }
      failing += (failing.empty() ? "" : ", ") + platform.drives().ToWindows(e.hive);
      if (it != tried.end() && !it->second->why.empty()) failing += ": " + it->second->why;
    }
    const std::string notRecorded =
        unrecorded.empty() ? std::string()
                           : "the journal could not record that " + offline::JoinedHives(unrecorded) +
                                 (unrecorded.size() == 1 ? " was" : " were") +
                                 " replaced; the next start that can write it records it";
    if (Mode() == CommandSwitch::None) {
      // The window opens: the hives can be analysed, the commit waits (CommitRefusal).
      platform.AnalyseBesideWaitingReplacements();
      if (!notRecorded.empty()) stuckRestart_ = "The " + notRecorded.substr(4) + ".";
      if (!failing.empty()) {
        stuckRestart_ += std::string(stuckRestart_.empty() ? "" : " ") + "A restart could not replace " + failing +
                         ". The hives can be analysed, but not defragmented until that restart is settled: quit and "
                         "run " + programName_ + " --restore-backups to undo it, or " + programName_ +
                         " --discard-pending to drop only what it could not replace.";
      }
      return std::nullopt;
    }
    if (!notRecorded.empty()) Say(notRecorded);
    if (!failing.empty()) {
      Say("the restart could not replace " + failing +
          "; --restore-backups undoes that restart (the hives it replaced get their backups back), --discard-pending "
          "drops only the replacements it could not make");
    }
    if (!scan) return offline::kExitNothingDone;
    platform.AnalyseBesideWaitingReplacements();
    return std::nullopt;
  }
  const std::vector<std::string> waiting = offline::WaitingHives(platform);
  if (waiting.empty()) return std::nullopt;
  if (scan) {
    Say(offline::PendingAtStartText(waiting));
    platform.AnalyseBesideWaitingReplacements();
    return std::nullopt;
  }
  if (!attended || Unattended()) {
    Say(offline::PendingAtStartText(waiting));
    return offline::kExitNothingDone;
  }
  switch (frontEnd_.AskAboutPending(waiting)) {
    case SessionFrontEnd::PendingChoice::kApply: return Settle(platform, SettleAction::kApplyPending, {});
    case SessionFrontEnd::PendingChoice::kDiscard: {
      const int code = Settle(platform, SettleAction::kDiscardPending, {});
      if (code == offline::kExitDone) return std::nullopt;
      return code;
    }
    case SessionFrontEnd::PendingChoice::kLeave: break;
  }
  Say("the replacements still wait; nothing was done");
  return offline::kExitNothingDone;
}

int OfflineSession::Finish(OfflinePlatform& platform) {
  TfrmGetNewHiveProgess::ObserveProgress(nullptr);
  if (!progressShown_.empty()) {
    frontEnd_.PrintText("\n", true);
    progressShown_.clear();
  }
  const int code = Mode() == CommandSwitch::Scan ? ScanOutcome(platform) : RunOutcome(platform);
  return Ended(&platform, code);
}

// /Scan: done when the report holds figures of every hive; partly done when
// it was written but leaves hives out; nothing done when the analysis failed
// or was rejected, or the report could not be written.
int OfflineSession::ScanOutcome(OfflinePlatform& platform) {
  const RunRecord& record = TheRunRecord();
  const offline::RunReport report = platform.report();
  if (!record.lastAnalysis && !record.reportError.empty()) {
    Say("the report was not written: " + record.reportError);
    return offline::kExitNothingDone;
  }
  if (!record.lastAnalysis || !record.lastAnalysis->accepted) {
    const std::string why = record.lastAnalysis ? record.lastAnalysis->refusal : "it did not run";
    Say("the analysis failed: " + why + (record.reportWritten ? "; the report holds no figures" : "; no report was written"));
    SayAll(report.copiesFailed);
    SayAll(report.notices);
    return offline::kExitNothingDone;
  }
  if (!record.reportWritten) {
    Say("the report was not written: " + (record.reportError.empty() ? std::string("it could not be written")
                                                                      : record.reportError));
    return offline::kExitNothingDone;
  }
  const std::vector<HiveResult> hives = HiveResults(platform);
  const auto leftOut = std::count_if(hives.begin(), hives.end(), [](const HiveResult& h) { return !h.compacted(); });
  if (leftOut == 0) return offline::kExitDone;
  Say("partly done: the report leaves out " + std::to_string(leftOut) + Plural(static_cast<std::size_t>(leftOut), " hive", " hives"));
  for (const HiveResult& hive : hives) {
    if (!hive.compacted()) Say(hive.label + " left out: " + hive.reason);
  }
  return offline::kExitPartlyDone;
}

// The main window's run: /Silent, or the user's own analysis and commit.
int OfflineSession::RunOutcome(OfflinePlatform& platform) {
  const offline::RunReport report = platform.report();
  const bool silent = Mode() == CommandSwitch::Silent;
  const RunRecord& record = TheRunRecord();
  if (!report.restarted || report.outcomes.empty()) {
    if (!silent && report.notices.empty()) return offline::kExitDone;
    if (silent && (!record.lastAnalysis || !record.lastAnalysis->accepted)) {
      Say("the analysis failed: " + (record.lastAnalysis ? record.lastAnalysis->refusal : std::string("it did not run")) +
          "; nothing was replaced");
    } else if (const std::string cannot = platform.CommitRefusal(); !cannot.empty()) {
      Say("nothing was replaced: " + cannot);
    } else {
      Say("nothing was replaced");
    }
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

int OfflineSession::Ended(OfflinePlatform* platform, int code) {
  if (!options_.json) return code;
  const std::vector<HiveResult> hives = platform != nullptr ? HiveResults(*platform) : std::vector<HiveResult>{};
  if (auto problem = WriteResultsJson(*options_.json, hives, code)) Say("--json: " + *problem);
  return code;
}

}  // namespace hv::app
