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

class HiveCatalogue {
 public:
  // Parallel lists: entry i of both describes hive i, in the registry's
  // enumeration order. HiveNames holds the hivelist value names
  // (\REGISTRY\MACHINE\SYSTEM), HiveFiles the drive-letter paths of files
  // that existed when the table was built. No entry is empty.
  std::vector<std::string> HiveNames;
  std::vector<std::string> HiveFiles;
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

}  // namespace hv
