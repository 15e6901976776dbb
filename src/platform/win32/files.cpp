// Volume and file operations of Win32Platform (kernel32).
#include <cstring>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {

static_assert(file::kMoveFileReplaceExisting == MOVEFILE_REPLACE_EXISTING);
static_assert(file::kMoveFileCopyAllowed == MOVEFILE_COPY_ALLOWED);
static_assert(file::kMoveFileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT);
static_assert(file::kMoveFileWriteThrough == MOVEFILE_WRITE_THROUGH);
static_assert(err::kNotSameDevice == ERROR_NOT_SAME_DEVICE);
static_assert(err::kAlreadyExists == ERROR_ALREADY_EXISTS);

namespace {
void CopyFindData(const WIN32_FIND_DATAA& from, FindDataA* to) {
  if (to == nullptr) return;
  to->dwFileAttributes = from.dwFileAttributes;
  to->nFileSizeHigh = from.nFileSizeHigh;
  to->nFileSizeLow = from.nFileSizeLow;
  static_assert(sizeof to->cFileName == sizeof from.cFileName);
  std::memcpy(to->cFileName, from.cFileName, sizeof to->cFileName);
}
}  // namespace

DWORD Win32Platform::GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
  return ::GetLogicalDriveStringsA(bufferLength, buffer);
}

UINT Win32Platform::GetDriveTypeA(const char* rootPathName) {
  return ::GetDriveTypeA(rootPathName);
}

DWORD Win32Platform::QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) {
  return ::QueryDosDeviceA(deviceName, targetPath, max);
}

DWORD Win32Platform::GetFileAttributesA(const char* fileName) {
  return ::GetFileAttributesA(fileName);
}

BOOL Win32Platform::DeleteFileA(const char* fileName) { return ::DeleteFileA(fileName); }

BOOL Win32Platform::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
  return ::MoveFileExA(existing, newName, flags);
}

DWORD Win32Platform::GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer,
                                      char** filePart) {
  return ::GetFullPathNameA(fileName, bufferLength, buffer, filePart);
}

HANDLE Win32Platform::FindFirstFileA(const char* fileName, FindDataA* data) {
  WIN32_FIND_DATAA found{};
  const ::HANDLE find = ::FindFirstFileA(fileName, &found);
  if (win32::FromWin(find) != InvalidHandleValue()) CopyFindData(found, data);
  return win32::FromWin(find);
}

BOOL Win32Platform::FindNextFileA(HANDLE find, FindDataA* data) {
  WIN32_FIND_DATAA found{};
  const BOOL ok = ::FindNextFileA(win32::ToWin(find), &found);
  if (ok) CopyFindData(found, data);
  return ok;
}

BOOL Win32Platform::FindClose(HANDLE find) { return ::FindClose(win32::ToWin(find)); }

HANDLE Win32Platform::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                  DWORD creationDisposition, DWORD flagsAndAttributes) {
  return win32::FromWin(::CreateFileA(fileName, desiredAccess, shareMode, nullptr,
                                      creationDisposition, flagsAndAttributes, nullptr));
}

BOOL Win32Platform::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) {
  // Windows needs the count's address for a synchronous write even when the
  // caller does not want it.
  ::DWORD count = 0;
  const BOOL ok = ::WriteFile(win32::ToWin(file), data, size, &count, nullptr);
  if (written != nullptr) *written = count;
  return ok;
}

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

}  // namespace hv
