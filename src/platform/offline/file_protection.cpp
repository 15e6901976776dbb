#include "platform/offline/file_protection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "platform/offline/error_text.h"
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
  struct stat st {};
  if (::stat(model.c_str(), &st) != 0) {
    Say(why, model.string() + ": " + std::strerror(errno));
    return ErrorFromErrno(errno);
  }
  struct stat now {};
  if (::stat(target.c_str(), &now) != 0) return ErrorFromErrno(errno);
  if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) && ::chown(target.c_str(), st.st_uid, st.st_gid) != 0) {
    const int e = errno;
    Say(why, "its owner (uid " + std::to_string(st.st_uid) + ", gid " + std::to_string(st.st_gid) +
                 ") cannot be given to " + target.filename().string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  if (::chmod(target.c_str(), st.st_mode & 07777) != 0) {
    const int e = errno;
    Say(why, "its mode cannot be given to " + target.filename().string() + ": " + std::strerror(e));
    return ErrorFromErrno(e);
  }
  for (const std::string& name : AttributeNames(model)) {
    std::vector<char> value;
    int error = 0;
    if (!ReadAttribute(model, name, &value, &error)) {
      if (Unsupported(error)) continue;
      Say(why, "its attribute " + name + " cannot be read: " + std::strerror(error));
      return ErrorFromErrno(error);
    }
    if (::lsetxattr(target.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
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
    std::error_code ec;
    fs::remove(to, ec);
    return r;
  }
  return err::kSuccess;
}

DWORD CopyFileProtected(const fs::path& from, const fs::path& to, const fs::path& model, std::string* why) {
  std::error_code ec;
  // Only a plain file is copied: a link is not followed out of its folder, a
  // FIFO or device is not waited on.
  if (const fs::file_status status = fs::symlink_status(from, ec); !fs::is_regular_file(status)) {
    Say(why, from.string() + (fs::exists(status) ? ": not a plain file; it is not copied" : ": missing"));
    return fs::exists(status) ? err::kAccessDenied : err::kFileNotFound;
  }
#ifndef _WIN32
  // A file with a second name elsewhere may be a host file linked into the
  // installation: its bytes are not carried into it.
  if (struct stat st{}; ::lstat(from.c_str(), &st) == 0 && st.st_nlink > 1) {
    Say(why, from.string() + ": has other names (hard links); it is not copied");
    return err::kAccessDenied;
  }
#endif
  if (DWORD r = CreateEmptyProtected(to, model, why); r != err::kSuccess) return r;
  DWORD result = err::kSuccess;
  {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::in | std::ios::out);
    if (!in || !out) {
      result = in ? err::kAccessDenied : err::kCantRead;
    } else {
      std::vector<char> piece(1 << 20);
      while (in && out) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        if (in.gcount() > 0) out.write(piece.data(), in.gcount());
      }
      out.flush();
      if (!out || in.bad()) result = err::kWriteFault;
    }
  }
  if (result == err::kSuccess) result = SyncFile(to);
  if (result != err::kSuccess) {
    Say(why, to.string() + ": the copy could not be written");
    fs::remove(to, ec);
  }
  return result;
}

}  // namespace hv::offline::host
