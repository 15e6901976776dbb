#include "platform/offline/error_text.h"

#include <cstring>
#include <system_error>

namespace hv::offline {
namespace {

struct LastTranslation {
  int error = 0;
  DWORD code = err::kSuccess;
};
thread_local LastTranslation last;

// The words of the codes this platform gives where no errno stood behind
// them (a sharing conflict of its own file table, a refused privilege).
const char* Win32Text(DWORD code) {
  switch (code) {
    case err::kSuccess: return "The operation completed successfully";
    case err::kFileNotFound: return "The system cannot find the file specified";
    case err::kPathNotFound: return "The system cannot find the path specified";
    case err::kAccessDenied: return "Access is denied";
    case err::kNotEnoughMemory: return "Not enough memory";
    case err::kNotSameDevice: return "The file cannot be moved to a different disk";
    case err::kWriteFault: return "The file could not be written";
    case err::kSharingViolation: return "The file is in use by another program";
    case err::kFileExists:
    case err::kAlreadyExists: return "The file exists";
    case err::kInvalidParameter: return "The parameter is incorrect";
    case err::kBadDb:
    case err::kRegistryCorrupt: return "The registry hive is corrupt";
    case err::kCantOpen: return "The registry hive could not be opened";
    case err::kCantRead: return "The registry hive could not be read";
    case err::kCantWrite: return "The registry hive could not be written";
    case err::kPrivilegeNotHeld: return "A required privilege is not held by the client";
    default: return nullptr;
  }
}

}  // namespace

void RememberErrno(int error, DWORD code) { last = {error, code}; }

std::string ErrnoText(int error) {
  // std::generic_category gives strerror's text without its thread-safety trap.
  return std::generic_category().message(error);
}

std::string ErrorText(DWORD code) {
  if (last.error != 0 && last.code == code) return ErrnoText(last.error);
#ifdef _WIN32
  // FormatMessage's text, without its trailing full stop and line end.
  std::string text = std::system_category().message(static_cast<int>(code));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  // A code the system has no words for comes back as the library's own
  // placeholder, which says less than the number.
  if (!text.empty() && text.rfind("Unknown error", 0) != 0) return text;
#endif
  if (const char* text = Win32Text(code)) return text;
  return "Windows error " + std::to_string(code);
}

}  // namespace hv::offline
