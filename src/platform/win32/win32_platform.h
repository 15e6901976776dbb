#pragma once
// The platform of the Windows program: the real Win32 calls, ANSI variants,
// passed through with the results and error codes Windows gives.
//
// This header does not include <windows.h>; the translation units do.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace hv {

class Win32Platform : public Platform {
 public:
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

  DWORD GetPrivateProfileStringA(const char* appName, const char* keyName,
                                 const char* defaultValue, char* returned, DWORD size,
                                 const char* fileName) override;
  BOOL WritePrivateProfileStringA(const char* appName, const char* keyName, const char* value,
                                  const char* fileName) override;

  std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file,
                              const char* parameters, const char* directory,
                              int showCmd) override;
  // <CSIDL_APPDATA>\Talvix Hivora\.
  std::string SettingsFallbackFolder(bool create) override;

  std::string GetCommandLineA() override;
  std::string ProgramFolder() override;
  std::string DataFolder() override;
  void GetLocalTime(SystemTime* time) override;
  std::string FormatShortDate(const SystemTime& time) override;
  std::string FormatLongTime(const SystemTime& time) override;
  char DecimalSeparator() override;
  std::string SaveFailureText(const char* file) override;

 private:
  // Why the last RegSaveKeyA into each file failed, in the system's words.
  std::mutex saveFailuresMutex_;
  std::map<std::string, std::string> saveFailures_;
};

}  // namespace hv
