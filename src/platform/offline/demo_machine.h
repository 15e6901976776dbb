#pragma once
// The built-in demo machine: a small Windows 7-like installation, made on
// first use, for running the Linux program without a real installation.
//
// Layout (below the folder): Windows\System32\config\{SYSTEM, SOFTWARE,
// DEFAULT, SAM, SECURITY}, Windows\SysWOW64\, Users\Demo\NTUSER.DAT and
// Users\Demo\AppData\Local\Microsoft\Windows\UsrClass.dat. SOFTWARE reports
// 6.1 and lists the Demo profile. The hives carry deleted keys and values and
// slack, as long-used hives do, so that compaction gains some 10-40 %.
#include <filesystem>
#include <string>

namespace hv::offline {

// $XDG_DATA_HOME/talvix-hivora/demo-machine (~/.local/share/...).
std::filesystem::path DefaultDemoMachineFolder();

// The security identifier of the demo user.
inline constexpr const char* kDemoUserSid = "S-1-5-21-3623811015-3361044348-30300820-1001";

// Makes the demo installation in `folder` unless it is there already. The
// installation is built beside it and renamed into place, so an interrupted
// run never leaves half an installation. False with *error on failure.
bool EnsureDemoMachine(const std::filesystem::path& folder, std::string* error);

}  // namespace hv::offline
