#pragma once
// Loading the System Restore client library.
#include <memory>
#include <string>

#include "platform/platform.h"

namespace hv::win32 {

// Loads "SrClient.dll" from `folder` (with or without a trailing separator)
// and nowhere else; its own dependencies are searched from that folder first.
// Null when it cannot be loaded.
std::unique_ptr<SystemRestoreLibrary> LoadSrClientFrom(const std::string& folder);

// The system folder (GetSystemDirectoryA), empty when it cannot be read. For
// a 32-bit process on 64-bit Windows this is the 32-bit system folder, where
// the 32-bit client library lies.
std::string SystemFolder();

}  // namespace hv::win32
