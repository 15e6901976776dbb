#pragma once
// What a Windows installation tells about itself through its hive files: the
// release it reports, and the hives a running copy of it would have loaded.
#include <string>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/offline/machine_description.h"

namespace hv::offline {

struct ReleaseInfo {
  ReleaseVersion version;
  DWORD build = 9200;
  std::string servicePack;  // szCSDVersion
};

// The release the installation on C: reports to a program without a
// compatibility manifest: 6.2 from Windows 8 on (and when SOFTWARE cannot be
// read), 6.1, 6.0, 5.2 or 5.1 as stored for older releases.
ReleaseInfo DeriveRelease(const DriveMap& drives);
// The same, when `version` was given by the description.
ReleaseInfo ReleaseFor(const ReleaseVersion& version);

// The hivelist a running Windows would show for the installation on C:: the
// machine hives under Windows\System32\config, the BCD store and DRIVERS when
// present, then each profile of the SOFTWARE hive's ProfileList that lies on a
// described drive (its NTUSER.DAT and UsrClass.dat). Only files that exist.
std::vector<HivelistValue> SynthesizeHivelist(const DriveMap& drives);

// Whether drive C: holds a Windows installation: Windows\System32\config
// with at least one of the machine hives. Nothing of the program's may be
// created in a folder before it is recognised so.
bool HoldsWindows(const DriveMap& drives);

// The registry expands these in ProfileImagePath; others are left as they stand.
std::string ExpandSystemVariables(const std::string& path);

}  // namespace hv::offline
