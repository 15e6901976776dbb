#pragma once
// Where a link of an installation leads, read from its NTFS reparse data (as
// FSCTL_GET_REPARSE_POINT gives it on Windows and ntfs-3g shows it in the
// attribute system.ntfs_reparse_data), by the rules Windows follows it by on
// that disk:
// - a junction or symbolic link to "\??\X:\..." or "X:\..." leads to that
//   path on drive X: of the installation;
// - a relative symbolic link resolves in place, from the link's folder;
// - anything else (a volume name "\??\Volume{...}", a share, a drive the
//   installation does not have, a reparse point of another kind, data that
//   does not hold together) is refused, with why.
// The data is the disk's: hostile input, read within its size only.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hv::offline {

struct ReparseTarget {
  enum class Kind { kDrive, kRelative, kRefused };
  Kind kind = Kind::kRefused;
  char drive = 0;                       // kDrive: the installation's drive letter, upper case
  std::vector<std::string> components;  // below the drive's root, or the link's folder
  std::string why;                      // kRefused: why, to follow "a link" or the link's name
};

// `hasDrive(letter)`: whether the installation has drive `letter` (upper case).
ReparseTarget ReparseLinkTarget(const std::uint8_t* data, std::size_t size, const std::function<bool(char)>& hasDrive);

// The parts of a path, split at either slash; empty parts dropped.
std::vector<std::string> PathComponents(const std::string& path);

}  // namespace hv::offline
