#pragma once
// One run of either program on an offline installation, from its command
// line to its exit code: the command line checked before any work, the
// installation taken, settling asked for or left over from a lost restart,
// and, once the main window has closed, the outcome told on the error stream
// and in the --json file. The programs differ only in how they ask their
// user and where they print (SessionFrontEnd).
//
// Exit codes: 0 done; 1 nothing done; 2 bad command line or installation;
// 3 partly done.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/offline/front_end_options.h"
#include "platform/offline/installation_notes.h"
#include "platform/offline/offline_platform.h"
#include "shell/command_switch.h"

namespace hv::app {

class SessionFrontEnd {
 public:
  virtual ~SessionFrontEnd() = default;
  // One line of the program's own on its error stream, "hivora: " first.
  virtual void Say(const std::string& line) = 0;
  // One line of a listing on its output stream.
  virtual void Print(const std::string& line) = 0;
  // A whole text (usage, version) on the output stream, or on the error
  // stream when `toError`.
  virtual void PrintText(const std::string& text, bool toError) = 0;
  enum class PendingChoice { kApply, kDiscard, kLeave };
  // Asked in attended runs only: replacements wait for a restart that never came.
  virtual PendingChoice AskAboutPending(const std::vector<std::string>& waiting) = 0;
  // A refusal in an attended run, where the user looks (a message box);
  // it has been said on the error stream already.
  virtual void ShowRefusal(const std::string& text) { (void)text; }
};

// nullopt when the arguments the application sees (the program first) are
// a command line it can run; else the problem, in one line. Only the first
// argument may be a switch; the one after /Scan is the report file.
std::optional<std::string> CheckSwitches(const std::vector<std::string>& arguments);

// nullopt when `file` can be written (it is created and removed again when
// it did not exist); else why not, in words.
std::optional<std::string> CheckWritable(const std::string& file);

class OfflineSession {
 public:
  // `programName` as the usage names it ("hivora", "hivora.exe").
  OfflineSession(SessionFrontEnd& frontEnd, std::string programName);

  // Reads the command line and checks it before any work. nullopt: go on;
  // else the program ends with this code (help and version printed, or a
  // bad command line told with the usage).
  std::optional<int> ReadCommandLine(int argc, const char* const* argv);
  offline::FrontEndOptions& options() { return options_; }
  // The switch of the arguments the application sees.
  CommandSwitch Mode() const;
  // A switch or a settling option: nobody waits at the screen.
  bool Unattended() const { return Mode() != CommandSwitch::None || options_.settle != offline::SettleAction::kNone; }

  // A bad command line, found by the program itself: said with the usage; 2.
  int UsageError(const std::string& problem);
  // A refusal before any window: said, shown in an attended run; `code`.
  int Refuse(const std::string& line, int code);

  // Takes the installation and settles what must be settled before the
  // window. nullopt: the window runs; else the exit code. `attended`: a user
  // can be asked about replacements left waiting.
  std::optional<int> Begin(offline::OfflinePlatform& platform, bool attended);
  // The installation's oddities, for the window (Begin has checked them).
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // After the window closed: the outcome on the error stream, the --json
  // file written; the exit code.
  int Finish(offline::OfflinePlatform& platform);

  // Unattended runs on a terminal: the analysis's progress on the error
  // stream, one line kept up to date ("hivora: SOFTWARE 45%").
  void ShowProgress();

  // Ends a run the front end ends itself (another instance owns the
  // installation): the --json file is written; `code`.
  int End(int code) { return Ended(nullptr, code); }

  // Says `line` once per run.
  void Say(const std::string& line);
  void SayAll(const std::vector<std::string>& lines);

 private:
  int Settle(offline::OfflinePlatform& platform, offline::SettleAction action, const std::string& pointId);
  std::optional<int> SettlePendingAtStart(offline::OfflinePlatform& platform, bool attended);
  int ScanOutcome(offline::OfflinePlatform& platform);
  int RunOutcome(offline::OfflinePlatform& platform);
  int Ended(offline::OfflinePlatform* platform, int code);

  SessionFrontEnd& frontEnd_;
  std::string programName_;
  offline::FrontEndOptions options_;
  std::set<std::string> said_;
  std::vector<std::string> warnings_;
  std::string stuckRestart_;   // for the window: a restart or restore that could not replace every hive
  std::string progressShown_;  // the progress line on the terminal, until a line ends it
};

}  // namespace hv::app
