#pragma once
// The private folder where an analysis of a read-only installation keeps its
// compacted copies (and, when the installation has no lock file of its own,
// its lock): outside the installation, owned by the user running the program,
// writable by nobody else, and never reached through a link.
//
// Files are named by a hash of the installation's identity, so that one
// folder serves several installations; what one installation's run leaves
// there is removed by its next run (which holds that installation's lock).
#include <filesystem>
#include <memory>
#include <string>

#include "platform/offline/installation_root.h"
#ifdef _WIN32
#include "platform/offline/host_handle.h"
#endif

namespace hv::offline {

// /var/tmp/hivora-<uid>; on Windows %LOCALAPPDATA%\Talvix Hivora\work (else
// %TEMP%\Talvix Hivora work).
std::filesystem::path DefaultWorkDir();

// Whether a host folder (when missing, the nearest one above it that
// exists) refuses to be written: a read-only mount, or no permission. On
// Windows, where no call answers that for both, a read-only volume says so
// and any other folder is asked with a file that is gone when it is closed.
bool Unwritable(const std::filesystem::path& folder);

class WorkDir {
 public:
  // Opens `folder`, made with mode 0700 when missing (its parent must exist).
  // Null with *error (naming the folder and why) when it is a link or no
  // folder, is owned by another user, or is writable by group or others.
  // On Windows a folder it makes grants the user alone (and the system), and
  // the default folder's parent is made too; the folder is held open so that
  // it cannot be renamed or replaced while it is used.
  static std::unique_ptr<WorkDir> Open(const std::filesystem::path& folder, std::string* error);

  const std::filesystem::path& path() const { return path_; }
  // The copy of `hive`'s file for the installation `identity`.
  std::filesystem::path CopyOf(const std::string& identity, const std::filesystem::path& hive) const;
  // The private lock of the installation `identity`.
  std::filesystem::path LockFile(const std::string& identity) const;
  // Removes every file of the installation `identity` but its lock.
  void RemoveFilesOf(const std::string& identity) const;

 private:
#ifdef _WIN32
  WorkDir(std::filesystem::path path, HostHandle handle) : path_(std::move(path)), handle_(std::move(handle)) {}
  std::filesystem::path path_;
  HostHandle handle_;  // held while the folder is used
#else
  WorkDir(std::filesystem::path path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  std::filesystem::path path_;
  UniqueFd fd_;  // held while the folder is used
#endif
};

}  // namespace hv::offline
