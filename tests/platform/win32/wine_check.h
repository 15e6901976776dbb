#pragma once
// Whether the tests run under Wine, whose behaviour deviates from Windows in
// places that the tests name.
#include "platform/win32/win.h"

namespace hv::test {

inline bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace hv::test
