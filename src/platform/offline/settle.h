#pragma once
// The ways either program settles an installation's state outside the
// main window: pending replacements applied or discarded, the last
// restart's backups put back, a restore point put back; and the summary and
// exit code of a run. Each needs the platform to own the installation.
//
// Exit codes: 0 done; 1 nothing done; 2 an invalid state file or a broken
// backup (nothing done), as a bad command line is; 3 partly done.
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/front_end_options.h"
#include "platform/offline/offline_platform.h"

namespace hv::offline {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNothingDone = 1;
inline constexpr int kExitPartlyDone = 3;
// A state file of the installation (journal, restore point) is invalid or a
// backup broken: nothing was changed.
inline constexpr int kExitInvalidState = 2;

struct SettleResult {
  int exitCode = kExitDone;
  std::vector<std::string> lines;  // for standard error, one fact each
};

// The hives whose replacements wait for a restart (Windows paths); empty when
// none wait or a restart is being finished.
std::vector<std::string> WaitingHives(OfflinePlatform& platform);

// What an unattended start says, and ends with, while the replacements of
// `waiting` (WaitingHives) wait: how to settle them.
std::string PendingAtStartText(const std::vector<std::string>& waiting);
// `hives` joined with ", ".
std::string JoinedHives(const std::vector<std::string>& hives);

// The settling the command line asked for; kNone is done, with no lines.
SettleResult SettleBy(OfflinePlatform& platform, SettleAction action, const std::string& restorePointId);

// Before anything else a run does: an invalid journal is refused (kExitInvalidState,
// naming file and line), but for --discard-pending, which removes only the
// journal. nullopt: the journal is valid (or the run only lists), go on.
std::optional<SettleResult> SettleInvalidJournal(OfflinePlatform& platform, SettleAction action);

SettleResult ApplyPending(OfflinePlatform& platform);
SettleResult DiscardPending(OfflinePlatform& platform);
// Puts back each backup of the last restart whose hive is still the one that
// restart installed; the compacted hive is kept as <hive>.compacted.
SettleResult RestoreBackups(OfflinePlatform& platform);
// One line per restore point: "<ID>  <time>  <description>  (<n> hives)",
// then one per hive: "    <hive>  <size> bytes"; an invalid one is listed as
// "<ID>  invalid: <why>" and makes the exit code kExitInvalidState.
SettleResult ListRestorePoints(OfflinePlatform& platform);
SettleResult RestoreFromPoint(OfflinePlatform& platform, const std::string& id);

// Lines for each outcome: "<hive> replaced: <old> -> <new> bytes, backup <name>"
// or "<hive> left alone: <why>".
std::vector<std::string> OutcomeLines(const std::vector<ReplacementOutcome>& outcomes);
// 0 when every outcome replaced its hive, 3 when some did, 1 when none did.
int ExitCodeOf(const std::vector<ReplacementOutcome>& outcomes, int leftAloneBefore = 0);

}  // namespace hv::offline
