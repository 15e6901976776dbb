// Token privilege operations of Win32Platform (advapi32).
#include <algorithm>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
using win32::DwordOut;

namespace {
// TOKEN_PRIVILEGES holds exactly one entry, as the interface's record does.
static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(TokenPrivileges));

TOKEN_PRIVILEGES ToWinPrivileges(const TokenPrivileges& privileges) {
  TOKEN_PRIVILEGES result{};
  result.PrivilegeCount = privileges.privilegeCount;
  result.Privileges[0].Luid.LowPart = privileges.luid.lowPart;
  result.Privileges[0].Luid.HighPart = privileges.luid.highPart;
  result.Privileges[0].Attributes = privileges.attributes;
  return result;
}

TokenPrivileges FromWinPrivileges(const TOKEN_PRIVILEGES& privileges) {
  TokenPrivileges result;
  result.privilegeCount = privileges.PrivilegeCount;
  result.luid.lowPart = privileges.Privileges[0].Luid.LowPart;
  result.luid.highPart = privileges.Privileges[0].Luid.HighPart;
  result.attributes = privileges.Privileges[0].Attributes;
  return result;
}
}  // namespace

BOOL Win32Platform::OpenProcessToken(DWORD desiredAccess, HANDLE* token) {
  ::HANDLE opened = nullptr;
  const BOOL ok = ::OpenProcessToken(::GetCurrentProcess(), desiredAccess, &opened);
  if (token != nullptr) *token = ok ? win32::FromWin(opened) : nullptr;
  return ok;
}

BOOL Win32Platform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  LUID found{};
  const BOOL ok = ::LookupPrivilegeValueA(systemName, name, &found);
  if (ok && luid != nullptr) {
    luid->lowPart = found.LowPart;
    luid->highPart = found.HighPart;
  }
  return ok;
}

BOOL Win32Platform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                          const TokenPrivileges* newState, DWORD bufferLength,
                                          TokenPrivileges* previousState, DWORD* returnLength) {
  TOKEN_PRIVILEGES next{};
  if (newState != nullptr) next = ToWinPrivileges(*newState);
  // The previous state lands in a record of one entry; Windows is never told
  // of more room than that, whatever the caller claims.
  TOKEN_PRIVILEGES previous{};
  const ::DWORD room =
      previousState != nullptr ? std::min<::DWORD>(bufferLength, sizeof previous) : 0;
  DwordOut length(returnLength);
  const BOOL ok = ::AdjustTokenPrivileges(win32::ToWin(token), disableAll,
                                          newState != nullptr ? &next : nullptr, room,
                                          previousState != nullptr ? &previous : nullptr,
                                          length.get());
  if (ok && previousState != nullptr) *previousState = FromWinPrivileges(previous);
  return ok;
}

BOOL Win32Platform::CloseHandle(HANDLE handle) { return ::CloseHandle(win32::ToWin(handle)); }

}  // namespace hv
