#include "platform/win32/console_output.h"

#include <cstdio>

#include "platform/win32/win.h"

namespace {
bool Leads(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
}  // namespace

namespace hv::win32 {

void ConnectStandardErrorToConsole() {
  if (Leads(STD_ERROR_HANDLE)) return;
  // AttachConsole is not in Windows 2000's kernel32; it is looked up.
  using AttachConsoleFn = ::BOOL(WINAPI*)(::DWORD);
  ::HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto attach = kernel != nullptr ? reinterpret_cast<AttachConsoleFn>(
                                        reinterpret_cast<void*>(::GetProcAddress(kernel, "AttachConsole")))
                                  : nullptr;
  constexpr ::DWORD kParentProcess = static_cast<::DWORD>(-1);
  if (attach == nullptr || !attach(kParentProcess)) return;
  if (std::freopen("CONOUT$", "w", stderr) == nullptr) return;
  if (!Leads(STD_OUTPUT_HANDLE)) (void)std::freopen("CONOUT$", "w", stdout);
}

}  // namespace hv::win32
