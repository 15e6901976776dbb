#pragma once
// What the program runs on: the Windows release class and WOW64.
#include <cstdint>

namespace hv {

// The running release as a class number, asked afresh at every call:
//   NT family (platform id 2): 3.x -> 5, 4.x -> 6, 5.0 and other 5.x -> 7,
//   5.1 -> 9, 5.2 -> 10, 6.1 -> 12, other 6.x -> 11, any other major -> 0;
//   otherwise: 4.0 -> 1, 4.10 -> 3, 4.90 -> 8, anything else -> 0.
// A failing version query gives 0.
std::uint8_t GetWindowsClass();

// True when this 32-bit process runs on 64-bit Windows; false when the
// system lacks IsWow64Process or the call fails.
bool IsWow64();

// The classes the main window accepts: {5, 6, 7, 9, 10, 11, 12}.
bool IsAcceptedWindowsClass(std::uint8_t windowsClass);
// The classes on which a restore point is offered: {9, 10, 11, 12}.
bool IsRestorePointWindowsClass(std::uint8_t windowsClass);

}  // namespace hv
