#include "platform/offline/file_protection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "platform/offline/error_text.h"
#include "platform/offline/held_path.h"
#include "platform/offline/host_io.h"
#ifdef _WIN32
#include "platform/offline/file_protection_win32.h"
#endif

namespace hv::offline::host {
namespace fs = std::filesystem;

namespace {

void Say(std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
}

#ifndef _WIN32
// Read by name: file systems that do not list them still have them.
constexpr const char* kUnlistedAttributes[] = {"system.ntfs_acl", "system.ntfs_attrib"};

bool Unsupported(int e) { return e == ENOTSUP || e == EOPNOTSUPP || e == ENODATA; }

std::vector<std::string> AttributeNames(const fs::path& file) {
  std::vector<std::string> names;
  ssize_t size = ::llistxattr(file.c_str(), nullptr, 0);
  if (size > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(size));
    size = ::llistxattr(file.c_str(), buffer.data(), buffer.size());
    for (ssize_t at = 0; size > 0 && at < size;) {
      const std::string name(buffer.data() + at);
      if (!name.empty()) names.push_back(name);
      at += static_cast<ssize_t>(name.size()) + 1;
    }
  }
  for (const char* name : kUnlistedAttributes) {
    bool listed = false;
    for (const std::string& n : names) listed = listed || n == name;
    if (!listed) names.emplace_back(name);
  }
  return names;
}

// nullopt-like: false when the model has no such attribute (or none at all).
bool ReadAttribute(const fs::path& file, const std::string& name, std::vector<char>* value, int* error) {
  for (;;) {
    ssize_t size = ::lgetxattr(file.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) {
      *error = errno;
      return false;
    }
    value->resize(static_cast<std::size_t>(size));
    size = ::lgetxattr(file.c_str(), name.c_str(), value->data(), value->size());
    if (size >= 0) {
      value->resize(static_cast<std::size_t>(size));
      return true;
    }
    if (errno != ERANGE) {
      *error = errno;
      return false;
    }
  }
}
#endif

}  // namespace

DWORD CopyProtection([[maybe_unused]] const fs::path& model, [[maybe_unused]] const fs::path& target,
                     [[maybe_unused]] std::string* why) {
#ifdef _WIN32
  return CopyWindowsProtection(model, target, why);
#else
  const HeldPath heldModel(model), heldTarget(target);
  if (heldModel.error() != 0 || heldTarget.error() != 0) {
    const int e = heldModel.error() != 0 ? heldModel.error() : heldTarget.error();
    Say(why, (heldModel.error() != 0 ? model : target).string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  // Neither name is followed if it is a link: the model's protection is its
  // own, and the target is changed through a handle of the file itself.
  struct stat st {};
  if (::lstat(heldModel.path().c_str(), &st) != 0 || S_ISLNK(st.st_mode)) {
    const int e = S_ISLNK(st.st_mode) ? ELOOP : errno;
    Say(why, model.string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  const UniqueFd handle(::open(heldTarget.path().c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat now {};
  if (!handle.valid() || ::fstat(handle.get(), &now) != 0) return ErrorFromErrno(errno);
  if (!S_ISREG(now.st_mode)) {
    Say(why, target.string() + ": not a plain file");
    return err::kAccessDenied;
  }
  const std::string file = "/proc/self/fd/" + std::to_string(handle.get());
  if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) && ::chown(file.c_str(), st.st_uid, st.st_gid) != 0) {
    const int e = errno;
    Say(why, "its owner (uid " + std::to_string(st.st_uid) + ", gid " + std::to_string(st.st_gid) +
                 ") cannot be given to " + target.filename().string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  if (::chmod(file.c_str(), st.st_mode & 07777) != 0) {
    const int e = errno;
    Say(why, "its mode cannot be given to " + target.filename().string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  for (const std::string& name : AttributeNames(heldModel.path())) {
    std::vector<char> value;
    int error = 0;
    if (!ReadAttribute(heldModel.path(), name, &value, &error)) {
      if (Unsupported(error)) continue;
      Say(why, "its attribute " + name + " cannot be read: " + std::strerror(error));
      return ErrorFromErrno(error);
    }
    if (::setxattr(file.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
      const int e = errno;
      if (Unsupported(e)) continue;
      Say(why, "its attribute " + name + " cannot be given to " + target.filename().string() + ": " +
                   std::strerror(e));
      return ErrorFromErrno(e);
    }
  }
  return err::kSuccess;
#endif
}

DWORD CreateEmptyProtected(const fs::path& to, const fs::path& model, std::string* why) {
  DWORD error = err::kSuccess;
  auto file = OpenFile::Open(to, false, true, OpenFile::Disposition::kCreateNew, &error);
  if (!file) {
    Say(why, to.string() + ": cannot be created: " + ErrorText(error));
    return error;
  }
  file.reset();
  if (DWORD r = CopyProtection(model, to, why); r != err::kSuccess) {
    Remove(to);
    return r;
  }
  return err::kSuccess;
}

DWORD CopyFileProtected(const fs::path& from, const fs::path& to, const fs::path& model, std::string* why) {
  std::error_code ec;
  const HeldPath heldFrom(from), heldTo(to);
  if (heldFrom.error() != 0 || heldTo.error() != 0) {
    const int e = heldFrom.error() != 0 ? heldFrom.error() : heldTo.error();
    Say(why, (heldFrom.error() != 0 ? from : to).string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  // Only a plain file is copied: a link is not followed out of its folder, a
  // FIFO or device is not waited on.
  if (const fs::file_status status = fs::symlink_status(heldFrom.path(), ec); !fs::is_regular_file(status)) {
    Say(why, from.string() + (fs::exists(status) ? ": not a plain file; it is not copied" : ": missing"));
    return fs::exists(status) ? err::kAccessDenied : err::kFileNotFound;
  }
#ifndef _WIN32
  // A file with a second name elsewhere may be a host file linked into the
  // installation: its bytes are not carried into it.
  if (struct stat st{}; ::lstat(heldFrom.path().c_str(), &st) == 0 && st.st_nlink > 1) {
    Say(why, from.string() + ": has other names (hard links); it is not copied");
    return err::kAccessDenied;
  }
#endif
  if (DWORD r = CreateEmptyProtected(to, model, why); r != err::kSuccess) return r;
  DWORD result = err::kSuccess;
  {
    using regf::HostFile;
    HostFile in, out;
    if (in.Open(heldFrom.path(), HostFile::Access::kRead, HostFile::Disposition::kOpenExisting,
                HostFile::LastLink::kRefuse) != 0) {
      result = err::kCantRead;
    } else if (out.Open(heldTo.path(), HostFile::Access::kWrite, HostFile::Disposition::kOpenExisting,
                        HostFile::LastLink::kRefuse) != 0) {
      result = err::kAccessDenied;
    } else {
      std::vector<std::uint8_t> piece(1 << 20);
      for (;;) {
        std::size_t got = 0;
        if (in.Read(piece.data(), piece.size(), got) != 0 || (got > 0 && out.Write(piece.data(), got) != 0)) {
          result = err::kWriteFault;
          break;
        }
        if (got == 0) break;
      }
      if (result == err::kSuccess && (out.Sync() != 0 || out.Close() != 0)) result = err::kWriteFault;
    }
  }
  if (result != err::kSuccess) {
    Say(why, to.string() + ": the copy could not be written");
    Remove(to);
  }
  return result;
}

}  // namespace hv::offline::host
