// Registry operations of Win32Platform (advapi32).
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

#include <string>
#include <system_error>

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
  const LSTATUS status = ::RegSaveKeyA(ToWin(key), file, nullptr);
  if (file == nullptr) return status;
  std::lock_guard lock(saveFailuresMutex_);
  if (status == ERROR_SUCCESS) {
    saveFailures_.erase(file);
  } else {
    // FormatMessage's text, without its trailing full stop and line end.
    std::string text = std::system_category().message(static_cast<int>(status));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
      text.pop_back();
    }
    saveFailures_[file] = text.empty() ? "Windows error " + std::to_string(status) : text;
  }
  return status;
}

std::string Win32Platform::SaveFailureText(const char* file) {
  if (file == nullptr) return {};
  std::lock_guard lock(saveFailuresMutex_);
  auto it = saveFailures_.find(file);
  return it == saveFailures_.end() ? std::string() : it->second;
}

LSTATUS Win32Platform::RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile,
                                      const char* oldFile) {
  return ::RegReplaceKeyA(ToWin(root), subKey, newFile, oldFile);
}

}  // namespace hv
