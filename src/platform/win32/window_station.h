#pragma once
// Whether a user can see this process's windows, and where its messages go
// when none can: a service, a scheduled task run as SYSTEM and session 0
// have a window station that is not interactive, and a message box there is
// a wait that never ends.
#include <string>

namespace hv::win32 {

// False when the process's window station lacks WSF_VISIBLE; true where
// that cannot be told.
bool WindowStationIsInteractive();

// Writes `text` to the Application event log under the source "Talvix Hivora"
// (warning when `error` is false, else error); false when it could not.
bool ReportToEventLog(const std::string& text, bool error);

}  // namespace hv::win32
