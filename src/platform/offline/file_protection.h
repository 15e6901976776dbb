#pragma once
// A file made from a hive gets the hive's protection — owner, group, mode and
// extended attributes — before any data is written to it, so that nobody who
// may not read the hive can read a copy of it.
//
// On an NTFS volume mounted with ntfs-3g the Windows security descriptor and
// file attributes are the extended attributes "system.ntfs_acl" and
// "system.ntfs_attrib": they are not listed, so they are read and written by
// name. An attribute the target's file system does not support is skipped.
// On Windows the security descriptor and attributes are copied
// (file_protection_win32.h).
#include <filesystem>
#include <string>

#include "platform/types.h"

namespace hv::offline::host {

// Gives `target` (an empty file just made) the protection of `model`.
// kSuccess, or the error with *why (one line) when it cannot be given.
DWORD CopyProtection(const std::filesystem::path& model, const std::filesystem::path& target,
                     std::string* why = nullptr);

// Copies `from` to `to` (which must not exist) with the protection of
// `model` given before the first byte, and flushes it. On failure `to` is
// removed.
DWORD CopyFileProtected(const std::filesystem::path& from, const std::filesystem::path& to,
                        const std::filesystem::path& model, std::string* why = nullptr);

// Creates the empty file `to` (which must not exist) with the protection of `model`.
DWORD CreateEmptyProtected(const std::filesystem::path& to, const std::filesystem::path& model,
                           std::string* why = nullptr);

}  // namespace hv::offline::host
