#pragma once
// The drive folders of an installation, held open, and the one way a path of
// the installation becomes a host file: walked from the drive's handle one
// component at a time, never following a link by the host's rules.
//
// A link met on the way is followed as Windows would follow it on that disk:
// - a junction or symbolic link whose NTFS reparse data (as ntfs-3g shows it
//   in the attribute system.ntfs_reparse_data) names "\??\X:\..." leads to
//   that path on drive X: of the installation; a relative one resolves in place;
// - a host symbolic link whose target lies under the drive folder's own host
//   path is that path inside the installation; a relative target resolves in
//   place (never above the drive's root);
// - anything else (a host path elsewhere, a volume name, a drive the
//   installation does not have, a loop) is refused, with a message naming the
//   link. A refused path resolves to nothing.
// On Windows the walk goes by path names, and a junction or symbolic link is
// read with FSCTL_GET_REPARSE_POINT and followed by the same rules
// (link_target.h); one whose target cannot be read (Wine answers so for
// every link) is refused.
//
// The host path handed back holds no link at the moment of the walk. It is a
// name for messages and comparisons, not a promise: the installation may be
// changed by another party while the program runs (a folder renamed, a link
// put in a file's place). So nothing acts on it by name: every open, create,
// rename, removal and stat of the offline platform reaches the file again
// from the drive's handle held here, refusing any link on the way, and never
// follows one in the last place (held_path.h). A link swapped in after the
// walk fails the operation; it never leads out of the installation.
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/offline/link_target.h"
#include "platform/offline/machine_description.h"

namespace hv::offline {

// A descriptor, closed with its owner.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

class InstallationRoot {
 public:
  explicit InstallationRoot(const std::vector<DriveSpec>& drives);
  ~InstallationRoot();
  InstallationRoot(const InstallationRoot&) = delete;
  InstallationRoot& operator=(const InstallationRoot&) = delete;

  // The host file of `components` below drive `letter`'s root, each matched
  // as spelt or else without regard to letter case; a tail that does not
  // exist keeps its spelling. nullopt: no such drive, or a refused link.
  std::optional<std::filesystem::path> Resolve(char letter, const std::vector<std::string>& components) const;

  // Where refusals are told (one line each, once per link); stderr by default.
  static void SetRefusalNotice(std::function<void(const std::string& line)> notice);

 private:
  struct Drive;
  struct Target;
  const Drive* DriveByLetter(char letter) const;
  std::optional<Target> LinkTarget(int dirFd, const std::string& name, const std::filesystem::path& at) const;
  std::function<bool(char)> HasDrive() const;
  // The walk's next step for a link's decoded target; nullopt (told) when refused.
  std::optional<Target> Followed(const ReparseTarget& target, const std::filesystem::path& at) const;
  void Refuse(const std::filesystem::path& link, const std::string& why) const;

  std::vector<std::unique_ptr<Drive>> drives_;
  mutable std::mutex mutex_;
  mutable std::set<std::string> told_;
};

}  // namespace hv::offline
