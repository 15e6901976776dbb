#pragma once
// What the Linux program tells the user about the installation it works on:
// which one it is, the oddities that change what it will do, and, per hive,
// which host files an analysis reads and writes.
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/front_end_options.h"
#include "platform/offline/offline_platform.h"

namespace hv::offline {

// "demo machine", or the drives as "C: = /mnt/win" (several: "C: = …, D: = …").
std::string InstallationTitle(const FrontEndOptions& options, const OfflinePlatform& platform);

struct InstallationCheck {
  // One sentence each: no SOFTWARE hive, no user profile.
  std::vector<std::string> warnings;
  // Set when the installation has no hive file at all; the program refuses it.
  std::optional<std::string> refusal;
};
InstallationCheck CheckInstallation(const OfflinePlatform& platform);

// The line under the hive list for one row: the host file and its copy; for
// a row whose copy was not made (`newSize` "n/a"), why.
std::string HiveRowNote(const OfflinePlatform& platform, const std::string& hiveName, const std::string& newSize);

}  // namespace hv::offline
