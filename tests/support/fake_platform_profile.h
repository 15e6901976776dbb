#pragma once
// Private profile (INI) files on the host with the Windows rules, for
// FakePlatform: case-insensitive sections and keys, blanks around values
// dropped, one pair of enclosing quotes removed, the result cut to fit the
// buffer, keys replaced where they stand, new keys appended to their section,
// new sections appended to the file, lines written with CRLF.
#include <filesystem>

#include "platform/types.h"

namespace hv::test::profile {

// GetPrivateProfileStringA on a host file (missing file: the default).
DWORD Read(const std::filesystem::path& file, const char* appName, const char* keyName,
           const char* defaultValue, char* returned, DWORD size);

// WritePrivateProfileStringA on a host file; returns a Win32 error code
// (kSuccess, kInvalidParameter, kPathNotFound, kAccessDenied).
DWORD Write(const std::filesystem::path& file, const char* appName, const char* keyName,
            const char* value);

}  // namespace hv::test::profile
