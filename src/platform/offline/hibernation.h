#pragma once
// A hibernated Windows (hibernation or Fast Startup) holds its hives in
// memory and writes that image back when it resumes: hives replaced on its
// disk in between would be overwritten. Such an installation is recognised by
// its hiberfil.sys, which begins with "hibr" or "HIBR" until Windows has
// resumed (or was shut down fully).
#include "platform/offline/drive_map.h"

namespace hv::offline {

inline constexpr const char* kHibernatedText =
    "Windows on this disk is hibernated (hibernation or Fast Startup) and would overwrite any "
    "change to its registry when it resumes. Nothing was changed. Start Windows and shut it down "
    "fully (not restart, not Fast Startup), then try again.";

bool Hibernated(const DriveMap& drives);

}  // namespace hv::offline
