#pragma once
// Hive replacements requested for the next start (RegReplaceKeyA), kept in a
// journal file inside the installation so that they survive the program, and
// applied by the restart.
//
// Applying one replacement (hive H, new file N, backup B):
//   1. B.hvtmp := a hard link to H (or a flushed copy); rename it over B;
//      flush B's folder.                       H = old, B = old, N = new
//   2. rename N over H (atomic); flush H's folder.  H = new, B = old
//   3. rewrite the journal without the entry.
// Only step 2 removes N, so "N still exists" tells a later run whether step 2
// happened; re-running the steps is harmless. A crash at any point therefore
// leaves the old or the new hive under H, never neither, and the backup whole.
// The journal is marked "restarting" before step 1 of the first entry; a start
// that finds that mark finishes the work (Recover), while entries that are only
// pending wait for the restart.
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"

namespace hv::offline {

struct PendingReplacement {
  std::filesystem::path hive;
  std::filesystem::path replacement;
  std::filesystem::path backup;
};

class ReplacementJournal {
 public:
  ReplacementJournal(std::filesystem::path file, const DriveMap* drives);

  const std::filesystem::path& file() const { return file_; }
  // The entries on disk now (another process may have added some).
  std::vector<PendingReplacement> Entries() const;
  // Records a replacement; a later request for the same hive takes the place
  // of the earlier one. kSuccess or the error of the write.
  DWORD Add(const PendingReplacement& entry);
  // The file is a pending replacement: held until the restart.
  bool Holds(const std::filesystem::path& host) const;

  // The restart: applies every entry. kSuccess when all were applied; entries
  // that failed stay in the journal and are tried again by the next Recover.
  DWORD ApplyAll();
  // At start: finishes a restart that was interrupted.
  void Recover();

  // Tests: stop (as at a power cut) after `operations` file-system operations
  // of ApplyAll/Recover; negative runs to the end.
  void SetCrashAfterForTesting(int operations) { crashAfter_ = operations; }

 private:
  struct Journal {
    bool restarting = false;
    std::vector<PendingReplacement> entries;
  };
  Journal Load() const;
  DWORD Save(const Journal& journal);
  DWORD Apply(Journal* journal);
  DWORD ApplyOne(const PendingReplacement& entry);
  bool Tick();  // false: the simulated crash happens now

  std::filesystem::path file_;
  const DriveMap* drives_;
  mutable std::recursive_mutex mutex_;
  int crashAfter_ = -1;
  int operations_ = 0;
  bool crashed_ = false;
};

}  // namespace hv::offline
