#pragma once
// The hive table: every hive the running Windows has loaded whose file is
// reachable through a drive letter, from the values of
// HKLM\SYSTEM\CurrentControlSet\Control\hivelist. The main window derives
// from HiveCatalogue; the table is built once and read on the main thread.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_queries.h"

namespace hv {

// Where a hive stands in the run. An analysis measures every hive: its copy
// was written or not; a commit then asks for each copy to be put in place.
enum class HiveState {
  kListed,            // in the table, not measured yet
  kCopied,            // its compacted copy was written: NewSize holds its size
  kNotCopied,         // the analysis wrote no copy ("n/a")
  kReplaceRequested,  // the copy goes in place of the hive at the restart
  kReplaceRefused,    // the request to put the copy in place failed
};

// One hive of the table: its hivelist value name (\REGISTRY\MACHINE\SYSTEM)
// and the drive-letter path of its file, which existed when the table was
// built (neither is empty), and what the run has made of it.
struct HiveRecord {
  std::string Name;
  std::string File;
  HiveState State = HiveState::kListed;
  // Bytes of File and of Copy() when last measured; NewSize is 0 while no
  // copy was written.
  std::int64_t CurrentSize = 0;
  std::int64_t NewSize = 0;

  std::string Copy() const;
  std::string Backup() const;
};

// The totals of the table's rows, in bytes.
struct HiveTotals {
  std::int64_t Current = 0;
  std::int64_t New = 0;
};

class HiveCatalogue {
 public:
  // One record per hive, in the registry's enumeration order.
  std::vector<HiveRecord> Hives;

  // The names and the files of Hives, in its order.
  std::vector<std::string> HiveNames() const;
  std::vector<std::string> HiveFiles() const;

  // After an analysis: measures every hive and its copy, and marks each
  // kCopied or kNotCopied.
  void MeasureHives();
  // The sums over the measured hives. A hive whose copy was not written keeps
  // its own size in both, so it never counts as a 100% reduction.
  HiveTotals Totals() const;
  // Some hive's copy was written.
  bool AnyCopied() const;
  // The process runs under WOW64; set before BuildHiveTable, then fixed.
  bool IsWow64Flag = false;

  // Clears and refills the table. A hivelist key that cannot be opened
  // leaves it empty; values that are not strings, are empty or do not map to
  // an existing file are left out. Nothing is reported.
  void BuildHiveTable();

  // The drive-letter path of an existing file for a hivelist value's data,
  // or empty: the fixed drives first (for hard-disk devices), then every DOS
  // device letter; under WOW64 each candidate goes through ToSysnative.
  std::string MapHiveFile(const std::string& data) const;

  // First fixed drive whose device name occurs in `data` (ignoring case) and
  // ends there at a backslash or at the end of the data: its upper-case
  // letter, a colon and the rest of the data. "\Device\HarddiskVolume1" thus
  // never matches inside "\Device\HarddiskVolume10\...". Empty without match.
  std::string MapThroughFixedDrives(const std::string& data) const;

  // `path` with its first "system32" (any case) replaced by "sysnative" when
  // a file of that name exists; otherwise `path` unchanged.
  std::string ToSysnative(const std::string& path) const;
};

// The fallback mapping: splits the kernel path into a device part and a
// rest, and looks for the letter a..z whose DOS device is that device part
// (ignoring case, with or without a leading backslash). Gives the letter in
// lower case, a colon and the rest; empty without match.
std::string MapThroughDosDevices(const std::string& data);

// The compacted copy of a hive lies beside its file, the backup kept at a
// replacement too.
inline std::string CopyPath(const std::string& hiveFile) { return hiveFile + ".hvx"; }
inline std::string BackupPath(const std::string& hiveFile) { return hiveFile + ".bak"; }

inline std::string HiveRecord::Copy() const { return CopyPath(File); }
inline std::string HiveRecord::Backup() const { return BackupPath(File); }

}  // namespace hv
