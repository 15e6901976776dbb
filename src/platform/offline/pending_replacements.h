#pragma once
// Hive replacements requested for the next start (RegReplaceKeyA), kept in a
// journal file inside the installation so that they survive the program, and
// applied by the restart. The journal's format and the steps of one
// replacement are described in installation_state.h; every method must be
// called by the installation's owner (installation_lock.h).
//
// A crash at any point leaves the old or the new hive under the hive's name,
// never neither, and the backup whole. The journal is marked "restarting"
// (or "restoring") before the first step; a start that finds that mark
// finishes the work (Recover), while entries that are only pending wait for
// the restart, or for the user to apply or discard them.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/offline/installation_state.h"

namespace hv::offline {

struct PendingReplacement {
  std::filesystem::path hive;
  std::filesystem::path replacement;
  std::filesystem::path backup;
  // The hive the replacement was made from; nullopt: not checked.
  std::optional<HiveFingerprint> made;
};

// A hive the last restart replaced, and the hive it installed.
struct AppliedReplacement {
  std::filesystem::path hive;
  std::filesystem::path backup;
  HiveFingerprint installed;
};

// What became of one entry.
struct ReplacementOutcome {
  std::filesystem::path hive;
  std::filesystem::path backup;
  bool replaced = false;
  std::uint64_t oldSize = 0;
  std::uint64_t newSize = 0;
  std::string why;  // when not replaced
};

enum class JournalState { kPending, kRestarting, kRestoring };

class ReplacementJournal {
 public:
  ReplacementJournal(std::filesystem::path file, const DriveMap* drives);

  const std::filesystem::path& file() const { return file_; }
  // The hives of the installation: a journal naming any other file as a hive
  // is invalid. Without one, every path of the installation counts as a hive.
  void SetHiveRule(std::function<bool(const std::filesystem::path&)> isHive);
  // Why the journal on disk is invalid ("<file>, line <n>: <reason>"); nullopt
  // when it is valid or absent. An invalid journal is not acted on: it reads
  // as empty and every change to it is refused (kInvalidData), but for
  // RemoveInvalid.
  std::optional<std::string> Problem() const;
  // Deletes an invalid journal and nothing else; kSuccess when none is left.
  DWORD RemoveInvalid();
  // The entries on disk now.
  std::vector<PendingReplacement> Entries() const;
  JournalState State() const;
  // What the last restart replaced.
  std::vector<AppliedReplacement> Applied() const;
  // Records a replacement; a later request for the same hive takes the place
  // of the earlier one. kSuccess or the error of the write.
  DWORD Add(const PendingReplacement& entry);
  // The file is a pending replacement: held until the restart.
  bool Holds(const std::filesystem::path& host) const;

  // The restart: applies every entry. kSuccess when all were applied; entries
  // that failed stay in the journal and are tried again by the next Recover.
  DWORD ApplyAll(std::vector<ReplacementOutcome>* outcomes = nullptr);
  // At start: finishes a restart (or a restore) that was interrupted.
  void Recover(std::vector<ReplacementOutcome>* outcomes = nullptr);
  // Drops the pending entries and deletes their copies; the hives stay. Also
  // the entries a restart could not apply (each try failed), so that one
  // that fails every time never blocks the installation; not a restore.
  DWORD Discard(std::vector<PendingReplacement>* discarded = nullptr);
  // Puts `entries` in place as the restart does, without recording them as
  // applied; `keepApplied` replaces the list of what the last restart did.
  DWORD Restore(const std::vector<PendingReplacement>& entries, const std::vector<AppliedReplacement>& keepApplied,
                std::vector<ReplacementOutcome>* outcomes);

  // Tests: stop (as at a power cut) after `operations` file-system operations
  // of ApplyAll/Recover/Restore; negative runs to the end.
  void SetCrashAfterForTesting(int operations) { crashAfter_ = operations; }
  // Tests: called after each of those operations with its number (from 0),
  // to change the installation between two steps as another party might.
  void SetStepHookForTesting(std::function<void(int operation)> hook) { stepHook_ = std::move(hook); }

 private:
  struct Journal {
    JournalState state = JournalState::kPending;
    std::vector<PendingReplacement> entries;
    std::vector<AppliedReplacement> applied;
    std::optional<std::string> problem;  // the file is invalid: the rest is empty
  };
  Journal Load() const;
  std::optional<std::string> EntryProblem(const std::vector<std::string>& fields, bool replace) const;
  DWORD Save(const Journal& journal);
  DWORD Apply(Journal* journal, std::vector<ReplacementOutcome>* outcomes);
  ReplacementOutcome ApplyOne(const PendingReplacement& entry, bool restart, DWORD* error);
  // A restart keeps the backup of an earlier restart (the only way back to
  // the hive before it) under the set-aside name, with its logs, until the
  // hive is replaced: then it is superseded and deleted; a restart of the
  // hive that fails puts it back. While the journal holds the entry and its
  // copy, a set-aside backup is always the earlier one, so a start after a
  // kill tells which is which from the names alone.
  DWORD SetAsideEarlierBackup(const PendingReplacement& entry, std::string* why);
  DWORD PutBackEarlierBackup(const PendingReplacement& entry);
  void DropEarlierBackup(const PendingReplacement& entry);
  bool StillAsMade(const PendingReplacement& entry) const;
  bool Tick();  // false: the simulated crash happens now

  std::filesystem::path file_;
  const DriveMap* drives_;
  std::function<bool(const std::filesystem::path&)> isHive_;
  mutable std::recursive_mutex mutex_;
  int crashAfter_ = -1;
  std::function<void(int)> stepHook_;
  int steps_ = 0;
  int operations_ = 0;
  bool crashed_ = false;
};

}  // namespace hv::offline
