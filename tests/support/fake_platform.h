#pragma once
// FakePlatform: the test double of hv::Platform. A test folder's
// CMakeLists.txt includes tests/support/fake_platform.cmake and links
// hivora_fake_platform; a test installs it with ScopedPlatform.
//
// Files are real files in a per-instance temporary folder, so a test can
// create and inspect them with std::filesystem; everything else (registry,
// token, release, System Restore, shell, clock, locale) is in memory and
// recorded for inspection.
//
// The Windows rules are the offline platform's, forwarded to rather than
// written again: private profile files (offline/private_profile.h), the
// volume queries with their buffer rules (offline/volumes.h), the files with
// their open handles, sharing, dispositions and searches (offline/file_table.h),
// and the token with its privileges (offline/token.h: every privilege of an
// elevated administrator, present and disabled). What the double adds is what a test
// must control: the machine's set-up, recorded calls, injected failures and
// hooks that decide the timing and result of saves and replacements.
//
// Paths the system under test passes in:
//  - "X:\dir\file" (either separator) resolves on the drive X added with
//    AddDrive, component by component, case-insensitively against what exists
//    on the host (a new component keeps the spelling given);
//  - a path starting with Root() is taken as a host path (ProgramFolder() and
//    DataFolder() are host folders under Root(), ending in the host separator).
// Anything else does not resolve: file calls fail with kPathNotFound.
//
// Every operation may be called from any thread. Hooks (SetSaveHook,
// SetReplaceHook) and a blocking restore point run without the internal lock
// held, so a hook may call back into the platform and may block.
//
// Realism switches on by default:
//  - RegSaveKeyA needs SeBackupPrivilege enabled on the token; RegReplaceKeyA
//    needs SeBackupPrivilege and SeRestorePrivilege; ExitWindowsEx needs
//    SeShutdownPrivilege (else kPrivilegeNotHeld). Off: SetEnforcePrivileges(false).
//  - RegSaveKeyA refuses an existing target (kAlreadyExists), as Windows does.
//  - A successful RegReplaceKeyA holds the new file open (it is in use until
//    the restart), so a CreateFileA of it fails.
//  - Under WOW64 (SetWow64(true, true)), HKLM\SOFTWARE opened without
//    KEY_WOW64_64KEY is the 32-bit view: the save hook then sees the key
//    "HKLM\SOFTWARE\Wow6432Node".
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace hv::test {

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // The per-instance temporary folder; removed by the destructor.
  const std::filesystem::path& Root() const { return root_; }

  // ---------------------------------------------------------------- drives
  // Adds drive `letter` (listed by GetLogicalDriveStringsA) with its type and
  // the answer of QueryDosDeviceA ("\Device\HarddiskVolume1", ...; empty: the
  // query fails). Returns its host folder (created).
  std::filesystem::path AddDrive(char letter, UINT type, std::vector<std::string> devices);
  // A DOS device name ("C:", "Global", ...) answered by QueryDosDeviceA but
  // not listed as a drive: the letters reachable only through the fallback.
  // Overrides the devices of a drive of the same name added before.
  void AddDosDevice(const std::string& name, std::vector<std::string> targets);
  // `component` (case-insensitive) resolves to `target` on the host, for
  // example the WOW64 alias "sysnative" -> "System32". Off by default.
  void AddPathAlias(const std::string& component, const std::string& target);

  // Host path of a Windows or host path; nullopt when it does not resolve.
  std::optional<std::filesystem::path> HostPath(const std::string& path) const;
  // Creates the file (and its folders) with `size` bytes of filler, or with `content`.
  void CreateFileOfSize(const std::string& path, std::uint64_t size);
  void CreateFileWithContent(const std::string& path, const std::string& content);
  bool Exists(const std::string& path) const;
  std::string ReadContent(const std::string& path) const;
  // The size directory searches report for `path`, instead of the real one
  // (sizes beyond 4 GiB without writing them). A missing file with a size is
  // one being made: a search of its name finds it.
  void SetReportedSize(const std::string& path, std::uint64_t size);
  // FindFirstFileA of `path` fails with kAccessDenied.
  void SetFindFails(const std::string& path);
  // `path` is held open by someone else without sharing: CreateFileA and
  // DeleteFileA of it, MoveFileExA from or onto it and
  // WritePrivateProfileStringA on it fail with kSharingViolation.
  void SetHeldOpen(const std::string& path, bool held = true);
  bool IsHeldOpen(const std::string& path) const;
  // WritePrivateProfileStringA on `path` fails with kAccessDenied.
  void SetUnwritable(const std::string& path);
  // Relative paths given to GetFullPathNameA are taken below this folder.
  void SetCurrentDirectory(const std::string& folder);

  // ---------------------------------------------------------------- registry
  // The values of HKLM\SYSTEM\CurrentControlSet\Control\hivelist, enumerated
  // in the order added. `unreadable`: enumerated, but RegQueryValueExA fails.
  void AddHivelistValue(const std::string& name, DWORD type, std::vector<BYTE> data,
                        bool unreadable = false);
  // A REG_SZ (or `type`) value holding `text` and its terminating NUL.
  void AddHivelistString(const std::string& name, const std::string& text, DWORD type = reg::kSz);
  void SetHivelistUnopenable(bool unopenable);
  // Makes the hive key openable: `hiveName` is a hivelist name
  // ("\REGISTRY\MACHINE\SYSTEM", "\REGISTRY\USER\S-1-5-18").
  void AddHive(const std::string& hiveName);
  void AddHiveKey(HKEY root, const std::string& subKey);

  struct KeyOpen {
    std::string call;    // "RegOpenKeyA" or "RegOpenKeyExA"
    std::string root;    // "HKLM", "HKU" or "key" (an opened key)
    std::string subKey;  // as passed
    DWORD options = 0;
    DWORD sam = 0;  // 0 for RegOpenKeyA
    LSTATUS result = 0;
  };
  std::vector<KeyOpen> KeyOpens() const;
  // Keys opened and not yet closed.
  int OpenKeyCount() const;

  // hiveKey: "HKLM\<subkey>" or "HKU\<subkey>" as opened; targetPath as passed.
  using SaveHook = std::function<LSTATUS(const std::string& hiveKey, const std::string& targetPath)>;
  // Replaces the default save (which writes DefaultSaveSize() bytes of
  // filler to the target and succeeds). The privilege and existing-target
  // checks run before the hook.
  void SetSaveHook(SaveHook hook);
  void SetDefaultSaveSize(std::uint64_t size);
  struct SaveCall {
    std::string hiveKey;
    std::string targetPath;
    LSTATUS result = 0;
  };
  std::vector<SaveCall> Saves() const;

  using ReplaceHook = std::function<LSTATUS(const std::string& hiveKey, const std::string& newFile,
                                            const std::string& oldFile)>;
  // Replaces the default replacement check (key known, new file present,
  // backup absent); privileges are checked first.
  void SetReplaceHook(ReplaceHook hook);
  struct ReplaceCall {
    std::string hiveKey;  // "HKLM\<subkey>" / "HKU\<subkey>"
    std::string newFile;
    std::string oldFile;
    LSTATUS result = 0;
  };
  std::vector<ReplaceCall> Replaces() const;

  // ---------------------------------------------------------------- token
  // Enables a privilege directly (as if an earlier call had done it).
  void EnablePrivilege(const std::string& name);
  bool IsPrivilegeEnabled(const std::string& name) const;
  // The token does not hold `name` (from now on): adjusting it changes
  // nothing and reports kNotAllAssigned.
  void SetPrivilegeNotHeld(const std::string& name);
  void SetEnforcePrivileges(bool enforce);
  // "OpenProcessToken 0x28", "LookupPrivilegeValueA SeBackupPrivilege",
  // "AdjustTokenPrivileges SeBackupPrivilege 0x2", "CloseHandle token".
  std::vector<std::string> TokenLog() const;
  // Token handles opened and not yet closed.
  int OpenTokenCount() const;

  // ---------------------------------------------------------------- release
  void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build = 0);
  void SetVersionFails(bool fails);
  // present: IsWow64Process exists; wow64: its answer; callSucceeds: its result.
  void SetWow64(bool present, bool wow64, bool callSucceeds = true);

  // ---------------------------------------------------------------- System Restore
  enum class Restore { kAbsent, kNoEntryPoint, kSucceeds, kFails, kBlocks };
  // kBlocks: SRSetRestorePointA waits until ReleaseRestorePoint(). A loaded
  // library must not outlive the platform, and no call may still be waiting
  // when the platform is destroyed.
  void SetRestore(Restore mode);
  void ReleaseRestorePoint(bool succeed);
  std::vector<RestorePointInfoA> RestorePointCalls() const;
  int SrClientLoadedCount() const;  // libraries currently loaded

  // ---------------------------------------------------------------- restart, shell
  struct ExitCall {
    UINT flags = 0;
    DWORD reason = 0;
  };
  std::vector<ExitCall> ExitCalls() const;
  struct ShellCall {
    std::string operation, file, parameters, directory;
    int showCmd = 0;
  };
  std::vector<ShellCall> ShellCalls() const;
  void SetShellResult(std::intptr_t result);

  // ---------------------------------------------------------------- process, locale
  void SetCommandLine(const std::string& commandLine);
  void SetProgramFolder(const std::string& folder);  // must end with a separator
  void SetDataFolder(const std::string& folder);
  void SetLocalTime(const SystemTime& time);
  void SetDateTimeFormat(std::function<std::string(const SystemTime&)> shortDate,
                         std::function<std::string(const SystemTime&)> longTime);
  void SetDecimalSeparator(char separator);
  // Makes the platform an offline installation at `folder` (empty: the
  // running system, the default).
  void SetOfflineInstallation(std::string folder) { offlineInstallation_ = std::move(folder); }
  // Gives the platform a settings fallback folder (host path with a trailing
  // separator), made on the first call that asks for it to be made.
  void SetSettingsFallbackFolder(std::string folder) { settingsFallback_ = std::move(folder); }
  // Why no hive can be replaced (CommitRefusal); why a save into a file failed (SaveFailureText).
  void SetCommitRefusal(const std::string& why);
  void SetSaveFailureText(const std::string& file, const std::string& why);

  // ================================================================ Platform
  LSTATUS RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) override;
  LSTATUS RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                        HKEY* result) override;
  LSTATUS RegCloseKey(HKEY key) override;
  LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                        DWORD* dataLen) override;
  LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                           DWORD* dataLen) override;
  LSTATUS RegSaveKeyA(HKEY key, const char* file) override;
  LSTATUS RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile,
                         const char* oldFile) override;

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
  BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags) override;
  DWORD GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer,
                         char** filePart) override;
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

  std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file,
                              const char* parameters, const char* directory, int showCmd) override;

  std::string GetCommandLineA() override;
  std::string ProgramFolder() override;
  std::string DataFolder() override;
  void GetLocalTime(SystemTime* time) override;
  std::string FormatShortDate(const SystemTime& time) override;
  std::string FormatLongTime(const SystemTime& time) override;
  char DecimalSeparator() override;
  std::string OfflineInstallation() override { return offlineInstallation_; }
  std::string SettingsFallbackFolder(bool create) override;
  std::string CommitRefusal() override;
  std::string SaveFailureText(const char* file) override;

 private:
  std::string offlineInstallation_;
  std::string settingsFallback_;
  class SrLibrary;
  struct State;

  std::optional<std::filesystem::path> HostPathLocked(const std::string& path) const;
  std::string HostKeyLocked(const std::string& path) const;
  HANDLE NewHandleLocked();
  std::string commitRefusal_;
  std::map<std::string, std::string> saveFailureTexts_;
  LSTATUS OpenKey(const char* call, HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                  HKEY* result);

  std::filesystem::path root_;
  mutable std::mutex mu_;
  std::unique_ptr<State> s_;
};

}  // namespace hv::test
