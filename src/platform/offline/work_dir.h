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

namespace hv::offline {

// /var/tmp/hivora-<uid>
std::filesystem::path DefaultWorkDir();

// Whether a host folder (when missing, the nearest one above it that
// exists) refuses to be written: a read-only mount, or no permission.
bool Unwritable(const std::filesystem::path& folder);

class WorkDir {
 public:
  // Opens `folder`, made with mode 0700 when missing (its parent must exist).
  // Null with *error (naming the folder and why) when it is a link or no
  // folder, is owned by another user, or is writable by group or others.
  static std::unique_ptr<WorkDir> Open(const std::filesystem::path& folder, std::string* error);

  const std::filesystem::path& path() const { return path_; }
  // The copy of `hive`'s file for the installation `identity`.
  std::filesystem::path CopyOf(const std::string& identity, const std::filesystem::path& hive) const;
  // The private lock of the installation `identity`.
  std::filesystem::path LockFile(const std::string& identity) const;
  // Removes every file of the installation `identity` but its lock.
  void RemoveFilesOf(const std::string& identity) const;

 private:
  WorkDir(std::filesystem::path path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  std::filesystem::path path_;
  UniqueFd fd_;  // held while the folder is used
};

}  // namespace hv::offline
