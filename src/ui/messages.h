#pragma once
// Window message numbers the forms handle. Posted messages carry a message
// number and two arguments, as on Windows.
#include <cstdint>

#include "platform/types.h"

namespace hv::ui {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

inline constexpr UINT kWmClose = 0x0010;
inline constexpr UINT kWmSysCommand = 0x0112;
inline constexpr WPARAM kScMinimize = 0xF020;

// The system's own messages.
inline constexpr UINT kWmStartScan = 0x6602;         // progress dialog -> itself
inline constexpr UINT kWmHiveDone = 0x6603;          // scan thread -> progress dialog
inline constexpr UINT kWmActivateInstance = 0x6604;  // second start -> main window
inline constexpr UINT kWmRestorePointDone = 0x6605;  // restore point thread -> its dialog
inline constexpr UINT kWmSilentDefrag = 0x6606;      // main window -> itself
inline constexpr UINT kWmScanReport = 0x6607;        // main window -> itself

// Hit-test results.
inline constexpr int kHtClient = 1;
inline constexpr int kHtCaption = 2;

// Modal results.
inline constexpr int kMrNone = 0;
inline constexpr int kMrOk = 1;
inline constexpr int kMrCancel = 2;
inline constexpr int kMrYes = 6;
inline constexpr int kMrNo = 7;

// Message box flags (MB_*), the subset the system uses.
inline constexpr UINT kMbOk = 0x0;
inline constexpr UINT kMbOkCancel = 0x1;
inline constexpr UINT kMbYesNo = 0x4;
inline constexpr UINT kMbIconInformation = 0x40;
inline constexpr UINT kMbDefButton2 = 0x100;

// ShowWindow commands.
inline constexpr int kSwHide = 0;
inline constexpr int kSwRestore = 9;

}  // namespace hv::ui
