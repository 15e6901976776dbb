// A library that poses as the System Restore client: it answers every call
// with a marker, so a test can tell whether it was loaded.
#include <cstdint>

extern "C" __declspec(dllexport) int __stdcall SRSetRestorePointA(const void* /*info*/,
                                                                   void* status) {
  if (status != nullptr) *static_cast<std::uint32_t*>(status) = 0x544E4C50u;  // "PLNT"
  return 1;
}
