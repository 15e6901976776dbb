#pragma once
// A host path of an installation made safe to act on by name. The drive
// folders of every live InstallationRoot are held open; a path below one is
// reached again from that handle, one component at a time, refusing any link
// on the way, and is handed out as "/proc/self/fd/<folder>/<name>": the
// folder is then the one walked, whatever is renamed or linked into the
// installation afterwards. Only the last component is still a name, so the
// callers that act on it never follow a link there: they open with
// HostFile::LastLink::kRefuse, stat with symlink_status, and rename and unlink
// (which never follow one).
//
// A path outside every drive folder (the program's own files: settings,
// reports, a work folder) is handed back as it is. So is every path on
// Windows, where the offline exe checks each component of a path for a link
// as it resolves it and follows one only by the installation's rules
// (installation_root.h); it holds no folder handles there.
#include <filesystem>
#include <string>

#include "platform/offline/installation_root.h"

namespace hv::offline {

class HeldPath {
 public:
  // `host` held as described above.
  explicit HeldPath(const std::filesystem::path& host) : HeldPath(host, false) {}
  // A folder to list: held itself, a link in its place refused too; path()
  // then names it as "/proc/self/fd/<folder>/.".
  static HeldPath Folder(const std::filesystem::path& host) { return HeldPath(host, true); }
  HeldPath(HeldPath&&) noexcept = default;
  HeldPath& operator=(HeldPath&&) noexcept = default;
  HeldPath(const HeldPath&) = delete;
  HeldPath& operator=(const HeldPath&) = delete;

  // What to hand to a call that takes a path; valid while this object lives.
  const std::filesystem::path& path() const { return path_; }
  // The path as given, for messages.
  const std::filesystem::path& host() const { return host_; }
  // 0, or the errno that kept the folder from being reached without a link
  // (ELOOP for a link in the way, ENOENT or ENOTDIR for a missing folder).
  int error() const { return error_; }
  // Whether the path lies in an installation.
  bool held() const { return folder_.valid(); }
  // `text` with this path written as the host path, for a message that
  // quotes what path() named.
  std::string Describe(std::string text) const;

 private:
  HeldPath(const std::filesystem::path& host, bool itself);

  std::filesystem::path host_;
  std::filesystem::path path_;
  UniqueFd folder_;
  std::string folderText_;         // the held folder's name in path()
  std::filesystem::path folderHost_;  // and its host path
  int error_ = 0;
};

// The registration of one drive folder, for as long as its root holds it.
// `fd` stays owned by the caller and must outlive this object.
class HeldFolder {
 public:
  HeldFolder(const std::filesystem::path& folder, int fd);
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

 private:
  unsigned long id_ = 0;
};

}  // namespace hv::offline
