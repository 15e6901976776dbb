#pragma once
// What GetVersionExA accepts, on every platform: the plain record only. A
// caller announcing the extended record (156 bytes) would have Windows write
// past the interface's 148-byte one.
#include "platform/types.h"

namespace hv {

// kSuccess, or the error GetVersionExA sets for this record.
inline DWORD VersionRecordError(const OsVersionInfoA* info) {
  if (info == nullptr) return err::kInvalidParameter;
  if (info->dwOSVersionInfoSize != sizeof(OsVersionInfoA)) return err::kInsufficientBuffer;
  return err::kSuccess;
}

}  // namespace hv
