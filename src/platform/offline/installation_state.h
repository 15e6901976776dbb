#pragma once
// What the program keeps inside an offline installation, in
//   <C:>\ProgramData\Talvix Hivora (the state folder)
// and the formats of those files. Any program that works on the same
// installation (the Linux program, a Windows build of the offline mode) must
// follow them to share the installation safely.
//
// hivora.lock — the owner's lock. Opened (created when missing, never
//   deleted: deleting it would let two processes hold "the" lock on two
//   different files) and locked exclusively with flock(2) without waiting,
//   close-on-exec, before anything reads or changes the journal, the hives or
//   their copies; held for the life of the process. A process that cannot
//   take it touches nothing. Its content is informational only: the owner's
//   process id and identity, one line. Besides the flock, the owner locks
//   the one byte at offset 2^62 for writing: on Linux with an
//   open-file-description lock (fcntl F_OFD_SETLK), on Windows with
//   LockFileEx. Under Wine the latter is also a POSIX record lock on the
//   file, so the two programs exclude each other there too; a Windows
//   program takes only the byte lock, since flock does not exist there.
//
// pending.journal — replacements and what the last restart did. Text, LF
//   line ends, rewritten whole and atomically (temporary name
//   "pending.journal.tmp-<pid>-<n>", flushed, renamed); absent when empty.
//     Talvix Hivora pending replacements 1
//     state=pending | restarting | restoring
//     replace=<hive>|<replacement>|<backup>[|<fingerprint>]     (0 or more)
//     applied=<hive>|<backup>|<fingerprint>                       (0 or more)
//   Paths are Windows paths of the installation ("C:\Windows\..."); '|' cannot
//   occur in them. `replace` lines are the work to do: with state=pending
//   they wait for a restart; with restarting or restoring a process was
//   applying them and the next owner finishes them at start, without asking.
//   The fingerprint of a `replace` line is that of the hive the replacement
//   was made from; an entry whose hive no longer matches is dropped, not
//   applied. `applied` lines name the hives the last restart replaced (or an
//   earlier one, for a hive no later restart touched), with
//   the fingerprint of the hive it installed, so that the backups can be put
//   back only over hives nobody changed since.
//   Read back as data (state_file_rules.h): every path a drive-letter path of
//   the installation, <hive> a hive of its hivelist, <replacement> one of
//   <hive>.hvx, .bak or .rptmp, <backup> one of <hive>.bak, .compacted or
//   .before-restore; no other line, no second state line. A journal that is
//   anything else is invalid as a whole and nothing in it is acted on.
//
// Fingerprint: "<size>,<mtime ns>,<seq1>,<seq2>;<log>;<log>" — the hive's
//   size, modification time (nanoseconds since the Unix epoch) and base-block
//   sequence numbers, then its .LOG1 and .LOG2, each "<size>,<mtime ns>" or
//   "-" when absent. Logs count because from Windows 8.1 on a change may sit
//   in the logs alone.
//
// Applying one replacement (hive H, replacement N, backup B):
//   0. at a restart only, a backup B of an earlier restart (a file, not H)
//      is set aside: B -> B.old, then B's logs -> B.old.LOG1/.LOG2 (while
//      no B stands, the logs under its name are B.old's).
//   1. B := H (a hard link through B.hvtmp, or a copy with H's protection);
//      skipped when B already is H (same device and inode).
//   2. H's logs become B's logs (H.LOG1 -> B.LOG1, H.LOG2 -> B.LOG2; a B log
//      H had no counterpart for is removed).
//   3. rename N over H: from here on H is the new hive; N is gone.
//   4. N's logs (N.LOG1/.LOG2) become H's; logs still missing are created
//      empty, with the protection of the hive.
//   5. the journal is rewritten without the entry (and with its `applied`
//      line, at a restart).
// Every step can be run again; "N exists" tells whether step 3 happened.
// Once step 3 happened, B.old (logs first) is deleted. A restart that fails
// for H before step 3 puts B.old back: H's logs from beside B back to H, B
// deleted, B.old's logs and then B.old renamed back; the entry stays, and so
// does the `applied` line of the earlier restart (a restart rewrites a hive's
// `applied` line only once it replaced it). While the journal is
// "restarting" with the entry, a B.old is that earlier backup.
//
// <hive>.bak.old — a backup set aside by a restart (step 0 above), or while
//   the hive's replacement is requested (platform/backup_set_aside.h): the request wants the name B
//   free, so B is renamed to B.old, and renamed back once the request is
//   answered, since here the new backup is made only by the restart (step 1
//   replaces B then). One found by the owner at start was left by a killed
//   commit: with no B beside it, it is the last backup and is renamed back;
//   beside a B it is older than that B and is deleted (with its logs, for
//   one a restart set aside); one of an entry of a "restarting" journal is
//   left to that entry. For a request, B's logs never move.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv::offline {

inline constexpr const char* kStateFolder = "C:\\ProgramData\\Talvix Hivora";
inline constexpr const char* kLockFileName = "hivora.lock";
inline constexpr const char* kJournalFileName = "pending.journal";

struct FileStamp {
  bool present = false;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

struct HiveFingerprint {
  FileStamp hive;
  std::uint32_t sequence1 = 0;
  std::uint32_t sequence2 = 0;
  FileStamp log1;
  FileStamp log2;
  bool operator==(const HiveFingerprint&) const = default;
};

std::string FormatFingerprint(const HiveFingerprint& fingerprint);
std::optional<HiveFingerprint> ParseFingerprint(const std::string& text);

// The fields of a line of these files: `text` cut at every `separator`; an
// empty text is one empty field.
std::vector<std::string> SplitFields(const std::string& text, char separator);

}  // namespace hv::offline
