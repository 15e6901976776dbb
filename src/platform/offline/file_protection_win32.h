#pragma once
// The Windows half of file_protection.h: a file made from a hive gets the
// hive's security descriptor (owner, group, DACL, and the SACL where the
// process may read and write it) and its attributes, before any data.
#include <filesystem>
#include <string>

#include "platform/types.h"

namespace hv::offline::host {

// kSuccess, or the Win32 error with *why (one line) when the model's
// protection cannot be read or given to `target`.
DWORD CopyWindowsProtection(const std::filesystem::path& model, const std::filesystem::path& target,
                            std::string* why);

}  // namespace hv::offline::host
