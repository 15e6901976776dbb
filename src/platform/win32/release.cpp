// Release and WOW64 queries of Win32Platform (kernel32).
#include <cstring>

#include "platform/version_record.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {

namespace {
static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfoA));
}  // namespace

BOOL Win32Platform::GetVersionExA(OsVersionInfoA* info) {
  if (const DWORD error = VersionRecordError(info); error != err::kSuccess) {
    ::SetLastError(error);
    return FALSE;
  }
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  const BOOL ok = ::GetVersionExA(&version);
  if (ok) {
    info->dwMajorVersion = version.dwMajorVersion;
    info->dwMinorVersion = version.dwMinorVersion;
    info->dwBuildNumber = version.dwBuildNumber;
    info->dwPlatformId = version.dwPlatformId;
    std::memcpy(info->szCSDVersion, version.szCSDVersion, sizeof info->szCSDVersion);
  }
  return ok;
}

std::function<BOOL(BOOL* wow64)> Win32Platform::LookupIsWow64Process() {
  using IsWow64ProcessFn = ::BOOL(WINAPI*)(::HANDLE, ::BOOL*);
  // kernel32 is loaded in every process; its handle is borrowed, not owned.
  const HMODULE kernel = ::GetModuleHandleA("kernel32");
  if (kernel == nullptr) return {};
  const auto isWow64Process =
      win32::ProcAs<IsWow64ProcessFn>(::GetProcAddress(kernel, "IsWow64Process"));
  if (isWow64Process == nullptr) return {};
  return [isWow64Process](BOOL* wow64) -> BOOL {
    ::BOOL flag = FALSE;
    const ::BOOL ok = isWow64Process(::GetCurrentProcess(), &flag);
    if (wow64 != nullptr) *wow64 = ok ? flag : FALSE;
    return ok;
  };
}

}  // namespace hv
