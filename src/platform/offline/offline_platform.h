#pragma once
// The platform of the Linux program: an offline Windows installation, given
// by a machine description (see machine_description.h), presented through the
// Win32-shaped interface with the results Windows gives.
//
// Conventions of this backend:
// - The ANSI code page is UTF-8: names and paths pass through unchanged.
// - "X:\..." paths are files of the installation (drive_map.h); other paths
//   are files of the host (settings, reports, language files).
// - The hive files of the hivelist are held by the (emulated) kernel: they
//   cannot be deleted or opened for writing or exclusively, as on a running
//   Windows. Pending replacements are held until the restart.
// - Registry keys that can be opened: the hivelist key (and the keys on its
//   path), and the root key of every hive of the hivelist.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/offline/file_table.h"
#include "platform/offline/host_io.h"
#include "platform/offline/installation.h"
#include "platform/offline/installation_lock.h"
#include "platform/offline/machine_description.h"
#include "platform/offline/pending_replacements.h"
#include "platform/offline/restore_point.h"
#include "platform/offline/token.h"
#include "platform/offline/work_dir.h"
#include "platform/platform.h"
#include "regf/regf.h"

namespace hv::offline {

struct OfflineOptions {
  MachineDescription machine;
  // The command line the program sees: its name and the arguments left after
  // the front end took its own options.
  std::string programName = "hivora";
  std::vector<std::string> arguments;
  // argv[0], to find the executable's folder where /proc is not there.
  std::string argv0;
  // Empty: $XDG_CONFIG_HOME/talvix-hivora/ (created on first use), because the
  // executable's folder may be read-only once installed.
  std::filesystem::path programFolder;
  // Empty: <executable folder>/../share/talvix-hivora/ when it exists, else the
  // executable's folder.
  std::filesystem::path dataFolder;
  // A start that only reads (a listing): no lock is taken, no half-done work
  // is finished, nothing is cleaned up or written.
  bool readOnly = false;
  // Where an installation that cannot be written is analysed: its copies and,
  // when it has no lock file, its lock. Empty: DefaultWorkDir() (work_dir.h).
  std::filesystem::path workDir;
};

// What this process did to the installation, for the summary at its end.
struct RunReport {
  std::vector<ReplacementOutcome> recovered;  // an interrupted restart, finished at start
  bool recoveredRestore = false;              // ... that was a restore of backups or a restore point
  std::vector<ReplacementOutcome> outcomes;   // restarts, settling, restores
  std::vector<std::string> notices;          // refusals and drops, one line each
  int copiesMade = 0;
  std::vector<std::string> copiesFailed;     // "<hive>: <why>"
  int requestsAccepted = 0;
  int requestsRefused = 0;
  bool restarted = false;
};

class OfflinePlatform : public Platform {
 public:
  // Takes the installation's lock; as its owner, first finishes a restart
  // that a crash interrupted and removes what killed runs left behind. A
  // platform that is not the owner must not be used.
  explicit OfflinePlatform(OfflineOptions options);
  ~OfflinePlatform() override;

  // Called by ExitWindowsEx once the replacements are applied, as Windows
  // asks applications to close at a restart. Runs on the caller's thread, so
  // it must only request the close (post a message), not wait for it.
  void SetRestartHandler(std::function<void()> handler);
  // Where ShellExecuteA tells the user of an address: called with the
  // address and whether the desktop's opener took it. Without one, the
  // address is printed ("Opening <address>") and the opener tried.
  void SetOpenNotice(std::function<void(const std::string& address, bool opened)> notice);

  const DriveMap& drives() const { return drives_; }
  const std::vector<HivelistValue>& hivelist() const { return hivelist_; }
  bool wow64() const { return drives_.wow64(); }
  ReplacementJournal& journal() { return journal_; }
  const std::filesystem::path& stateFolder() const { return stateFolder_; }
  // The host file of the hive of this hivelist name; nullopt when it has
  // none (HARDWARE) or is not there.
  std::optional<std::filesystem::path> HostFileOfHive(const std::string& hiveName) const;
  // Why the last save into this host file failed; empty when it did not.
  std::string SaveFailure(const std::filesystem::path& copy) const;
  RestorePointStore& restorePoints() { return restorePoints_; }
  // Whether a host path is a hive file of the hivelist, for reading state files back.
  std::function<bool(const std::filesystem::path&)> HiveRule() const {
    return [this](const std::filesystem::path& host) { return IsHiveOfInstallation(host); };
  }
  // The installation's identity (installation_lock.h).
  const std::string& identity() const { return identity_; }
  // Whether this process owns the installation (holds its lock).
  bool owner() const { return lock_ != nullptr; }
  // Why the lock could not be had, when it could not.
  DWORD lockError() const { return lockError_; }
  // The installation (its hives' folder or its state folder) cannot be
  // written: it is analysed with its copies in the work folder, and nothing
  // of it is changed or replaced.
  bool readOnlyInstallation() const { return readOnlyInstallation_; }
  // Why the work folder of a read-only installation cannot be used; empty when it can.
  const std::string& workDirError() const { return workDirError_; }
  const WorkDir* workDir() const { return workDir_.get(); }
  // Where the copy named `host` (beside its hive) is really kept: the work
  // folder for a read-only installation; a temporary name beside the hive
  // when the run analyses beside waiting replacements and one holds `host`;
  // else `host` itself.
  std::filesystem::path KeptAt(const std::filesystem::path& host) const;
  // The run analyses although replacements wait in the journal (their copies
  // stay held, as at a restart that has not come, and are not touched).
  void AnalyseBesideWaitingReplacements() { copiesAside_ = true; }
  // The host files of the hivelist's hives.
  std::vector<RestorePointSource> HiveSources() const;
  RunReport report() const;
  void AddOutcomes(const std::vector<ReplacementOutcome>& outcomes);
  void AddNotice(const std::string& line);
  // Tests: a fixed clock.
  void SetClockForTesting(std::function<SystemTime()> clock);

  // --- Platform
  LSTATUS RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) override;
  LSTATUS RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                        HKEY* result) override;
  LSTATUS RegCloseKey(HKEY key) override;
  LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                        DWORD* dataLen) override;
  LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                           DWORD* dataLen) override;
  LSTATUS RegSaveKeyA(HKEY key, const char* file) override;
  LSTATUS RegSaveKeyStoppable(HKEY key, const char* file, const std::atomic<bool>* stop) override;
  LSTATUS RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile, const char* oldFile) override;

  BOOL OpenProcessToken(DWORD desiredAccess, HANDLE* token) override;
  BOOL LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TokenPrivileges* newState,
                             DWORD bufferLength, TokenPrivileges* previousState,
                             DWORD* returnLength) override;
  BOOL CloseHandle(HANDLE handle) override;

  DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) override;
  UINT GetDriveTypeA(const char* rootPathName) override;
  DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) override;
  DWORD GetFileAttributesA(const char* fileName) override;
  BOOL DeleteFileA(const char* fileName) override;
  // A rename of a file within one volume of the installation (across volumes:
  // kNotSameDevice); kMoveFileReplaceExisting and kMoveFileWriteThrough are
  // the flags it takes, and the folders are flushed either way. Held files
  // (loaded hives, pending replacements, files open without sharing) can
  // neither be moved nor replaced; a folder is not moved (kAccessDenied).
  BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags) override;
  DWORD GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer, char** filePart) override;
  HANDLE FindFirstFileA(const char* fileName, FindDataA* data) override;
  BOOL FindNextFileA(HANDLE find, FindDataA* data) override;
  BOOL FindClose(HANDLE find) override;
  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                     DWORD creationDisposition, DWORD flagsAndAttributes) override;
  BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override;
  DWORD GetLastError() override;

  BOOL GetVersionExA(OsVersionInfoA* info) override;
  std::function<BOOL(BOOL* wow64)> LookupIsWow64Process() override;
  std::unique_ptr<SystemRestoreLibrary> LoadSrClient() override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;

  DWORD GetPrivateProfileStringA(const char* appName, const char* keyName, const char* defaultValue,
                                 char* returned, DWORD size, const char* fileName) override;
  BOOL WritePrivateProfileStringA(const char* appName, const char* keyName, const char* value,
                                  const char* fileName) override;

  std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file, const char* parameters,
                              const char* directory, int showCmd) override;

  std::string GetCommandLineA() override;
  std::vector<std::string> CommandLineArguments() override;
  std::string ProgramFolder() override;
  std::string DataFolder() override;
  std::string OfflineInstallation() override;
  std::string CommitRefusal() override;
  std::string SaveFailureText(const char* file) override;
  void GetLocalTime(SystemTime* time) override;
  std::string FormatShortDate(const SystemTime& time) override;
  std::string FormatLongTime(const SystemTime& time) override;
  char DecimalSeparator() override;

 private:
  struct TokenObject {
    DWORD access = 0;
  };

  struct KeyObject {
    enum class Kind { kPath, kHivelist, kHiveRoot, kWow64View };
    Kind kind = Kind::kPath;
    HKEY root = nullptr;
    std::vector<std::string> path;  // below the root
    std::size_t hive = 0;           // kHiveRoot: index into hivelist_
  };

  HANDLE NewHandle();
  std::shared_ptr<InstallationLock> TakeOwnership();
  // A path of the program as a host file; a copy beside a hive of a read-only
  // installation is in the work folder.
  std::optional<std::filesystem::path> ResolveFile(std::string_view path) const;
  FileTableHooks FileHooks();
  LSTATUS OpenKey(HKEY root, const char* subKey, DWORD samDesired, HKEY* result);
  std::optional<KeyObject> FindKeyLocked(HKEY root, const char* subKey, DWORD samDesired, LSTATUS* error);
  std::optional<std::size_t> HiveRootIndex(HKEY root, const std::vector<std::string>& path) const;
  std::optional<std::filesystem::path> HiveFileOf(std::size_t hive) const;
  bool IsLoadedHive(const std::filesystem::path& host) const;
  // Whether a host path is a hive's file: one of the hivelist, or named as Windows names its hives.
  bool IsHiveOfInstallation(const std::filesystem::path& host) const;
  void CleanLeftovers();
  static void SetLastError(DWORD error);

  OfflineOptions options_;
  DriveMap drives_;
  std::string identity_;
  // Taken before anything of the installation is read.
  std::filesystem::path stateFolder_;
  DWORD lockError_ = err::kSuccess;
  bool readOnlyInstallation_ = false;
  std::unique_ptr<WorkDir> workDir_;
  bool copiesAside_ = false;  // AnalyseBesideWaitingReplacements
  std::string workDirError_;
  std::shared_ptr<InstallationLock> lock_;
  ReleaseInfo release_;
  std::vector<HivelistValue> hivelist_;
  ReplacementJournal journal_;
  RestorePointStore restorePoints_;
  Token token_;

  mutable std::mutex mutex_;  // guards the tables below
  std::map<std::uintptr_t, TokenObject> tokens_;
  std::map<std::uintptr_t, KeyObject> keys_;
  std::uintptr_t nextHandle_ = 0x100;
  std::function<void()> restartHandler_;
  std::function<void(const std::string&, bool)> openNotice_;
  std::function<SystemTime()> clock_;
  std::map<std::filesystem::path, std::string> saveFailures_;
  // Copies RegSaveKeyA is making, with the size each has reached so far:
  // the size queries answer with it, so that a progress bar moves while a
  // large hive is compacted (the file itself gets its name only once verified).
  std::map<std::filesystem::path, std::shared_ptr<regf::CompactProgress>> savesUnderWay_;
  std::optional<std::int64_t> SaveUnderWay(const std::filesystem::path& copy) const;
  // Open files and searches, with the sharing rules; after the state its
  // hooks read, so that it goes first.
  FileTable files_;
  RunReport report_;
  // The hive each copy written by RegSaveKeyA was made from, by copy.
  std::map<std::string, HiveFingerprint> copyFingerprints_;
};

}  // namespace hv::offline
