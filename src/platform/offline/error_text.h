#pragma once
// The system's reason for a failure, in words. The offline platform hands out
// Win32 error codes; where one came from errno, the errno is kept beside it
// (per thread), so that a code that stands for several causes (5 for
// "Read-only file system" as for "Permission denied") is told as the cause
// it really was.
#include <string>

#include "platform/types.h"

namespace hv::offline {

// Called where an errno is turned into a Win32 code.
void RememberErrno(int error, DWORD code);

// `code` in words: the strerror text of the errno it came from when this
// thread's last translation gave `code`, else the system's text for `code`.
// Never a bare number.
std::string ErrorText(DWORD code);

// The strerror text of an errno value.
std::string ErrnoText(int error);

}  // namespace hv::offline
