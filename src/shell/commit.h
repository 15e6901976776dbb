#pragma once
// The defragmentation commit (TfrmMain::bDefragRegistryClick, commit.cpp)
// and its fixed values.

namespace hv {

// Shown when no hive's replacement was accepted; there is then no restart.
inline constexpr const char* kNothingReplacedText = "No hive could be replaced. Nothing was changed.";
// The last step on an offline installation; %s is the installation.
inline constexpr const char* kResApplyOffline = "RES_Apply_Offline";
inline constexpr const char* kApplyOfflineText = "Apply the replacements to the installation at %s now?";

// ExitWindowsEx reason: SHTDN_REASON_MINOR_MAINTENANCE, a planned change.
inline constexpr unsigned kRestartReason = 1;

}  // namespace hv
