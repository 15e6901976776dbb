#pragma once
// The operations that touch the hives: privileges, saving a hive into its
// compacted copy, requesting its replacement at the next start, and two
// small utilities of the analysis. None shows a message or throws.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace hv {

// A hive name (\REGISTRY\MACHINE\SOFTWARE, \REGISTRY\USER\S-1-5-18) as a
// root key and a subkey. The prefixes are found anywhere in the name,
// ignoring case, MACHINE first; the subkey keeps the name's own letters.
struct HiveKeyName {
  bool valid = false;  // false: neither prefix, or nothing after it
  HKEY root = nullptr;
  std::string subKey;
};
HiveKeyName SplitHiveName(const std::string& hiveName);

// Enables privilege `name` on the process token opened with `tokenAccess`.
// True when the system reports it enabled.
bool EnableTokenPrivilege(DWORD tokenAccess, const char* name);
// SeBackupPrivilege (token access 0x28); needed by SaveHive.
void EnableBackupPrivilege();
// SeRestorePrivilege (token access 0xF00FF); ReplaceHive needs both.
void EnableRestorePrivilege();

// Deletes `targetPath` if it exists, then has the system write the hive
// afresh into it. Under WOW64 a machine hive whose name contains "SOFTWARE"
// is opened in the 64-bit view. True when the copy was written. A name that
// cannot be opened still deletes the old copy, so no stale copy remains.
// A set `stop` (may be null) ends a save under way where the platform can
// end it (false, no copy).
bool SaveHive(const std::string& hiveName, const std::string& targetPath, bool wow64,
              const std::atomic<bool>* stop = nullptr);

// Asks the system to put `newFile` in place of the hive at the next start,
// keeping the current file as `backupFile`. An existing backup is set aside
// for the request and deleted only once the accepted request has made a new
// one; a refused request leaves it as it was (platform/backup_set_aside.h,
// which also settles a set-aside backup a killed run left). True when the
// system accepted the request. A name with neither prefix fails at once and
// touches no file.
bool ReplaceHive(const std::string& hiveName, const std::string& newFile,
                 const std::string& backupFile);

// True when the file exists and cannot be opened exclusively for reading
// and writing (held open by the system, or access denied).
bool IsFileInUse(const std::string& path);

// Whole kilobytes rounded up, digits grouped by "," whatever the locale,
// then " KB": 0 -> "0 KB", 1025 -> "2 KB", 1262343168 -> "1,232,757 KB",
// -1 -> "1 KB". The full 64-bit count is used.
std::string SizeText(std::int64_t bytes);

// The same figure with `thousandsSeparator` between the groups, for a
// language that writes its numbers so.
std::string SizeText(std::int64_t bytes, char thousandsSeparator);

}  // namespace hv
