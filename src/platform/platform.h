#pragma once
// The operating-system interface the system calls.
//
// Each operation mirrors the Win32 function of the same name: the same
// arguments, the same results (BOOL/LSTATUS, error codes through GetLastError,
// the same buffer rules), so that the Win32 backend is a pass-through and the
// system's code reads like its algorithms. The offline backend realises the
// same contracts on an offline Windows installation.
//
// All operations may be called from any thread unless noted.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

namespace hv {

// A loaded "SrClient.dll". Destruction unloads it (FreeLibrary).
class SystemRestoreLibrary {
 public:
  virtual ~SystemRestoreLibrary() = default;
  // GetProcAddress("SRSetRestorePointA") found the entry point.
  virtual bool HasSetRestorePoint() const = 0;
  // Calls the entry point; nonzero on success. Only when HasSetRestorePoint().
  virtual BOOL SRSetRestorePointA(const RestorePointInfoA* info, StateMgrStatus* status) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Registry (advapi32). Results are LSTATUS error codes.
  virtual LSTATUS RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) = 0;
  virtual LSTATUS RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                                HKEY* result) = 0;
  virtual LSTATUS RegCloseKey(HKEY key) = 0;
  // Buffer rules of RegEnumValueA: *nameLen in characters including the NUL on
  // input, excluding it on output; kMoreData when a buffer is too small;
  // kNoMoreItems past the last value. data/dataLen may be null.
  virtual LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                                BYTE* data, DWORD* dataLen) = 0;
  virtual LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                   DWORD* dataLen) = 0;
  // Writes the hive (or key) afresh into `file`, which must not exist.
  virtual LSTATUS RegSaveKeyA(HKEY key, const char* file) = 0;
  // RegSaveKeyA that gives up once another thread sets `stop`: kCancelled,
  // and no file is left. Only a platform whose own engine writes the copy can
  // answer it; others (Windows' RegSaveKey cannot be interrupted) run the
  // save to its end.
  virtual LSTATUS RegSaveKeyStoppable(HKEY key, const char* file, const std::atomic<bool>* stop) {
    (void)stop;
    return RegSaveKeyA(key, file);
  }
  // Requests that `newFile` replace the hive at `root\subKey` at the next
  // start, the current hive file being kept as `oldFile`.
  virtual LSTATUS RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile,
                                 const char* oldFile) = 0;

  // --- Token privileges (advapi32). BOOL results, details via GetLastError.
  virtual BOOL OpenProcessToken(DWORD desiredAccess, HANDLE* token) = 0;
  virtual BOOL LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) = 0;
  // `previousState` may be null (then bufferLength must be 0); on success
  // GetLastError is kSuccess or kNotAllAssigned, as on Windows.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TokenPrivileges* newState,
                                     DWORD bufferLength, TokenPrivileges* previousState,
                                     DWORD* returnLength) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  // --- Volumes and files (kernel32).
  // Drive roots "C:\\\0D:\\\0\0"; returns the length without the final NUL,
  // or the size needed (with it) when bufferLength is too small.
  virtual DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) = 0;
  virtual UINT GetDriveTypeA(const char* rootPathName) = 0;
  // Device name(s) of "C:"; returns the characters stored including the
  // final double NUL, 0 on failure (kInsufficientBuffer when too small).
  virtual DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) = 0;
  virtual DWORD GetFileAttributesA(const char* fileName) = 0;
  virtual BOOL DeleteFileA(const char* fileName) = 0;
  // Renames a file (file::kMoveFile* flags). An existing `newName` fails with
  // kAlreadyExists unless kMoveFileReplaceExisting; a missing `existing`
  // fails with kFileNotFound.
  virtual BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags) = 0;
  // Returns the length stored (without NUL), or the size needed when too small.
  virtual DWORD GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer,
                                 char** filePart) = 0;
  virtual HANDLE FindFirstFileA(const char* fileName, FindDataA* data) = 0;
  virtual BOOL FindNextFileA(HANDLE find, FindDataA* data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  // Share mode 0 means exclusive. Returns InvalidHandleValue() on failure.
  virtual HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                             DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) = 0;
  virtual DWORD GetLastError() = 0;

  // --- Release and WOW64 (kernel32).
  virtual BOOL GetVersionExA(OsVersionInfoA* info) = 0;
  // IsWow64Process looked up at run time in kernel32: null when the entry
  // point does not exist. The function takes the current process.
  virtual std::function<BOOL(BOOL* wow64)> LookupIsWow64Process() = 0;

  // --- System Restore: "SrClient.dll" from the system folder only; null when
  // it cannot be loaded.
  virtual std::unique_ptr<SystemRestoreLibrary> LoadSrClient() = 0;

  // --- Restart (user32).
  virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;

  // --- Private profile files (kernel32), with the documented Windows rules.
  virtual DWORD GetPrivateProfileStringA(const char* appName, const char* keyName,
                                         const char* defaultValue, char* returned, DWORD size,
                                         const char* fileName) = 0;
  // keyName null erases the section; value null deletes the key. FALSE with
  // GetLastError set when the file cannot be written.
  virtual BOOL WritePrivateProfileStringA(const char* appName, const char* keyName,
                                          const char* value, const char* fileName) = 0;

  // --- Shell (shell32). Result > 32 on success.
  virtual std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file,
                                      const char* parameters, const char* directory,
                                      int showCmd) = 0;

  // --- Process and locale.
  // The command line as one string, the program first (GetCommandLineA).
  virtual std::string GetCommandLineA() = 0;
  // The program's arguments, the program first. Windows hands a program one
  // line, split here by the rules of the program's runtime; a platform whose
  // shell has already split the arguments gives them unchanged, quotes
  // included, since a quote cannot be written inside a quoted stretch.
  virtual std::vector<std::string> CommandLineArguments();
  // Folder (with trailing separator) holding "options.ini" and the first
  // place searched for language files: the executable's folder on Windows.
  virtual std::string ProgramFolder() = 0;
  // Folder (with trailing separator) searched for language files after
  // ProgramFolder(): the executable's folder on Windows, the installed data
  // folder on Linux.
  virtual std::string DataFolder() = 0;
  // Why no hive of this system can be replaced at all (a read-only disk),
  // in words; empty when hives can be replaced.
  virtual std::string CommitRefusal() { return {}; }
  // Why the last RegSaveKeyA into `file` failed, in words; empty when it did
  // not, or when the system does not tell.
  virtual std::string SaveFailureText(const char* file) {
    (void)file;
    return {};
  }
  virtual void GetLocalTime(SystemTime* time) = 0;
  // The user's short date and long time formats (GetDateFormatA with
  // DATE_SHORTDATE, GetTimeFormatA with no flags).
  virtual std::string FormatShortDate(const SystemTime& time) = 0;
  virtual std::string FormatLongTime(const SystemTime& time) = 0;
  // The user's decimal separator (LOCALE_SDECIMAL).
  virtual char DecimalSeparator() = 0;
  // The offline installation the program works on, as the user would name
  // it (the folder holding its C: drive); empty for the running system.
  virtual std::string OfflineInstallation() { return {}; }
  // Where the settings go when the program's folder cannot be written: a
  // folder of the user's own (with a trailing separator), made when
  // `create` is set and it is missing; empty when there is none.
  virtual std::string SettingsFallbackFolder(bool create) {
    (void)create;
    return {};
  }
};

// The process-wide platform. Installed once at start-up (and by tests).
Platform& Os();
void SetPlatform(std::unique_ptr<Platform> platform);
// Swaps in `platform` for the lifetime of the guard (tests); restores the previous one.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform* platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace hv
