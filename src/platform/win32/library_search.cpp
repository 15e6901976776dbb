#include "platform/win32/library_search.h"

#include "platform/win32/win_types.h"

namespace hv::win32 {

namespace {
// Both entry points are younger than the oldest release the program runs on:
// looked up at run time, never imported.
constexpr ::DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = ::BOOL(WINAPI*)(::DWORD);
using SetDllDirectoryAFn = ::BOOL(WINAPI*)(const char*);
}  // namespace

bool HardenLibrarySearch() {
  const HMODULE kernel = ::GetModuleHandleA("kernel32");
  if (kernel == nullptr) return false;
  if (const auto setDllDirectory =
          ProcAs<SetDllDirectoryAFn>(::GetProcAddress(kernel, "SetDllDirectoryA"))) {
    setDllDirectory("");  // "" removes the current folder from the search
  }
  const auto setDefault =
      ProcAs<SetDefaultDllDirectoriesFn>(::GetProcAddress(kernel, "SetDefaultDllDirectories"));
  return setDefault != nullptr && setDefault(kSearchSystem32) != FALSE;
}

}  // namespace hv::win32
