// Private profile (INI) files of Win32Platform (kernel32).
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {

DWORD Win32Platform::GetPrivateProfileStringA(const char* appName, const char* keyName,
                                              const char* defaultValue, char* returned,
                                              DWORD size, const char* fileName) {
  return ::GetPrivateProfileStringA(appName, keyName, defaultValue, returned, size, fileName);
}

BOOL Win32Platform::WritePrivateProfileStringA(const char* appName, const char* keyName,
                                               const char* value, const char* fileName) {
  return ::WritePrivateProfileStringA(appName, keyName, value, fileName);
}

}  // namespace hv
