#include "platform/offline/work_dir.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/offline/error_text.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

// FNV-1a, 64 bits: a name for an identity, not a secret.
std::string Hash(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (const unsigned char ch : text) {
    h ^= ch;
    h *= 1099511628211ull;
  }
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016" PRIx64, h);
  return buffer;
}

constexpr const char* kLockSuffix = ".lock";

}  // namespace

fs::path WorkDir::CopyOf(const std::string& identity, const fs::path& hive) const {
  return path_ / (Hash(identity) + "-" + Hash(hive.lexically_normal().string()) + "-" + hive.filename().string() + ".hvx");
}

fs::path WorkDir::LockFile(const std::string& identity) const { return path_ / (Hash(identity) + kLockSuffix); }

void WorkDir::RemoveFilesOf(const std::string& identity) const {
  const std::string prefix = Hash(identity) + "-";
  std::error_code ec;
  for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code ignore;
    fs::remove(it->path(), ignore);
  }
}

#ifndef _WIN32

fs::path DefaultWorkDir() { return fs::path("/var/tmp") / ("hivora-" + std::to_string(::geteuid())); }

bool Unwritable(const fs::path& folder) {
  std::error_code ec;
  fs::path at = folder;
  while (!at.empty() && !fs::exists(fs::symlink_status(at, ec))) {
    if (at == at.parent_path()) return false;
    at = at.parent_path();
  }
  if (at.empty()) return false;
  if (::access(at.c_str(), W_OK) == 0) return false;
  return errno == EROFS || errno == EACCES || errno == EPERM;
}

std::unique_ptr<WorkDir> WorkDir::Open(const fs::path& folder, std::string* error) {
  std::error_code ec;
  const fs::path path = fs::absolute(folder, ec).lexically_normal();
  if (ec) {
    *error = folder.string() + ": the work folder cannot be found: " + ec.message();
    return nullptr;
  }
  const std::string name = path.string() + ": the work folder ";
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = name + "cannot be made: " + ErrnoText(errno);
    return nullptr;
  }
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    const int e = errno;
    *error = name + (e == ELOOP || e == ENOTDIR ? std::string("is a link or no folder; give one of your own with --work-dir")
                                                : "cannot be opened: " + ErrnoText(e));
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    *error = name + "cannot be examined: " + ErrnoText(errno);
    return nullptr;
  }
  // Another user could put a copy of their own in the place of one of ours.
  if (st.st_uid != ::geteuid()) {
    *error = name + "belongs to another user (uid " + std::to_string(st.st_uid) +
             "); give one of your own with --work-dir";
    return nullptr;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *error = name + "can be written by other users; it must not (chmod 700)";
    return nullptr;
  }
  // The name still leads to the folder examined: files are made by its path.
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0 || named.st_dev != st.st_dev || named.st_ino != st.st_ino) {
    *error = name + "changed while it was examined";
    return nullptr;
  }
  return std::unique_ptr<WorkDir>(new WorkDir(path, std::move(fd)));
}

#endif

}  // namespace hv::offline
