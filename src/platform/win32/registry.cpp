// Registry operations of Win32Platform (advapi32).
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
using win32::DwordInOut;
using win32::DwordOut;
using win32::FromWin;
using win32::ToWin;

LSTATUS Win32Platform::RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
  ::HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyA(ToWin(root), subKey, &opened);
  if (result != nullptr) *result = status == ERROR_SUCCESS ? FromWin(opened) : nullptr;
  return status;
}

LSTATUS Win32Platform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options,
                                     DWORD samDesired, HKEY* result) {
  ::HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExA(ToWin(root), subKey, options, samDesired, &opened);
  if (result != nullptr) *result = status == ERROR_SUCCESS ? FromWin(opened) : nullptr;
  return status;
}

LSTATUS Win32Platform::RegCloseKey(HKEY key) { return ::RegCloseKey(ToWin(key)); }

LSTATUS Win32Platform::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen,
                                     DWORD* type, BYTE* data, DWORD* dataLen) {
  DwordInOut nameLength(nameLen);
  DwordOut valueType(type);
  DwordInOut dataLength(dataLen);
  return ::RegEnumValueA(ToWin(key), index, name, nameLength.get(), nullptr, valueType.get(), data,
                         dataLength.get());
}

LSTATUS Win32Platform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                        DWORD* dataLen) {
  DwordOut valueType(type);
  DwordInOut dataLength(dataLen);
  return ::RegQueryValueExA(ToWin(key), valueName, nullptr, valueType.get(), data,
                            dataLength.get());
}

LSTATUS Win32Platform::RegSaveKeyA(HKEY key, const char* file) {
  return ::RegSaveKeyA(ToWin(key), file, nullptr);
}

LSTATUS Win32Platform::RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile,
                                      const char* oldFile) {
  return ::RegReplaceKeyA(ToWin(root), subKey, newFile, oldFile);
}

}  // namespace hv
