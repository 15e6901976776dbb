// Stand-ins for kernel32 functions that the static C++ runtime imports but
// Windows XP and Server 2003 lack, so that the program still loads there.
//
// Each defines the import slot (__imp_<name>) that the runtime calls through;
// with the slot defined here, the linker never imports the function from
// kernel32. The stand-in uses the real function where the running Windows has
// it. This file is linked into every program that uses the Win32 backend.
#include <atomic>
#include <cstdint>

#include "platform/win32/win_types.h"

namespace {

// The thread library's timed waits read this clock.
ULONGLONG WINAPI TickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  static const Fn real = hv::win32::ProcAs<Fn>(
      ::GetProcAddress(::GetModuleHandleA("kernel32"), "GetTickCount64"));
  if (real != nullptr) return real();
  // The 32-bit count wraps every 49.7 days; carrying the wrap over keeps the
  // clock monotonic as long as it is read at least once per wrap.
  static std::atomic<std::uint64_t> last{0};
  std::uint64_t previous = last.load();
  for (;;) {
    std::uint64_t now = (previous & ~std::uint64_t{0xFFFFFFFFu}) | ::GetTickCount();
    if (now < previous) now += std::uint64_t{1} << 32;
    if (last.compare_exchange_weak(previous, now)) return now;
  }
}

}  // namespace

extern "C" {
// The slot's assembler name, as kernel32's import library spells it.
ULONGLONG(WINAPI* hivora_imp_GetTickCount64)() __asm__("__imp__GetTickCount64@0") = &TickCount64;
}
