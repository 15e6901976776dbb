#include "shell/windows_release.h"

#include "platform/platform.h"

namespace hv {

std::uint8_t GetWindowsClass() {
  OsVersionInfoA info{};
  info.dwOSVersionInfoSize = sizeof(OsVersionInfoA);
  if (!Os().GetVersionExA(&info)) info = OsVersionInfoA{};

  const DWORD major = info.dwMajorVersion, minor = info.dwMinorVersion;
  if (info.dwPlatformId == kVerPlatformWin32Nt) {
    switch (major) {
      case 3: return 5;
      case 4: return 6;
      case 5: return minor == 1 ? 9 : minor == 2 ? 10 : 7;
      case 6: return minor == 1 ? 12 : 11;
      default: return 0;
    }
  }
  if (major == 4 && minor == 0) return 1;
  if (major == 4 && minor == 10) return 3;
  if (major == 4 && minor == 90) return 8;
  return 0;
}

bool IsWow64() {
  auto isWow64Process = Os().LookupIsWow64Process();
  if (!isWow64Process) return false;
  BOOL wow64 = 0;
  return isWow64Process(&wow64) != 0 && wow64 != 0;
}

bool IsAcceptedWindowsClass(std::uint8_t windowsClass) {
  switch (windowsClass) {
    case 5: case 6: case 7: case 9: case 10: case 11: case 12: return true;
    default: return false;
  }
}

bool IsRestorePointWindowsClass(std::uint8_t windowsClass) {
  return windowsClass >= 9 && windowsClass <= 12;
}

}  // namespace hv
