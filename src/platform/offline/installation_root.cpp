#include "platform/offline/installation_root.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <system_error>

#ifdef _WIN32
#include "platform/offline/host_handle.h"
#include "platform/win32/win.h"
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "platform/offline/drive_map.h"
#include "platform/offline/error_text.h"
#include "platform/offline/held_path.h"
#include "platform/offline/link_target.h"
#include "regf/names.h"
#include "regf/text_case.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

// Links followed on one walk before it is taken for a loop.
constexpr int kMaxHops = 40;

std::function<void(const std::string&)>& RefusalNotice() {
  static std::function<void(const std::string&)> notice = [](const std::string& line) {
    std::fprintf(stderr, "hivora: %s\n", line.c_str());
  };
  return notice;
}

std::mutex& NoticeMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

UniqueFd::~UniqueFd() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#endif
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    UniqueFd old(fd_);
    fd_ = other.release();
  }
  return *this;
}

struct InstallationRoot::Drive {
  char letter = 'C';
  fs::path folder;  // as described
  fs::path real;    // the same with the host's links resolved
  UniqueFd fd;      // O_PATH handle of the folder
  // Paths below the folder are acted on from `fd` (held_path.h); gone before it.
  std::vector<std::unique_ptr<HeldFolder>> held;
};

// Where a link leads: a drive of the installation and the components below
// its root, or components relative to the link's folder.
struct InstallationRoot::Target {
  const Drive* drive = nullptr;  // null: relative
  std::vector<std::string> components;
};

void InstallationRoot::SetRefusalNotice(std::function<void(const std::string& line)> notice) {
  std::lock_guard lock(NoticeMutex());
  RefusalNotice() = std::move(notice);
}

InstallationRoot::~InstallationRoot() = default;

const InstallationRoot::Drive* InstallationRoot::DriveByLetter(char letter) const {
  for (const auto& d : drives_) {
    if (d->letter == AsciiUpper(letter)) return d.get();
  }
  return nullptr;
}

void InstallationRoot::Refuse(const fs::path& link, const std::string& why) const {
  const std::string line = link.string() + ": " + why + "; refused";
  {
    std::lock_guard lock(mutex_);
    if (!told_.insert(line).second) return;
  }
  std::lock_guard lock(NoticeMutex());
  if (RefusalNotice()) RefusalNotice()(line);
}

std::function<bool(char)> InstallationRoot::HasDrive() const {
  return [this](char letter) { return DriveByLetter(letter) != nullptr; };
}

std::optional<InstallationRoot::Target> InstallationRoot::Followed(const ReparseTarget& target, const fs::path& at) const {
  switch (target.kind) {
    case ReparseTarget::Kind::kDrive: return Target{DriveByLetter(target.drive), target.components};
    case ReparseTarget::Kind::kRelative: return Target{nullptr, target.components};
    case ReparseTarget::Kind::kRefused: break;
  }
  Refuse(at, target.why);
  return std::nullopt;
}

#ifdef _WIN32

InstallationRoot::InstallationRoot(const std::vector<DriveSpec>& drives) {
  for (const DriveSpec& given : drives) {
    auto d = std::make_unique<Drive>();
    d->letter = given.letter;
    d->folder = given.folder;
    d->real = given.folder;
    drives_.push_back(std::move(d));
  }
}

std::optional<InstallationRoot::Target> InstallationRoot::LinkTarget(int, const std::string&, const fs::path&) const {
  return std::nullopt;
}

namespace {

// The reparse data of the link `at` itself, never of what it leads to; the
// system's error when it cannot be read (Wine answers 4390 for every link).
::DWORD ReadReparseData(const fs::path& at, std::vector<std::uint8_t>* data) {
  const ::HANDLE raw = ::CreateFileW(at.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return ::GetLastError();
  const HostHandle link(raw);
  data->assign(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, 0);
  ::DWORD size = 0;
  if (!::DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data->data(),
                         static_cast<::DWORD>(data->size()), &size, nullptr)) {
    return ::GetLastError();
  }
  data->resize(size);
  return ERROR_SUCCESS;
}

}  // namespace

// Walked one component at a time from the drive's folder, as on Linux: a
// junction or symbolic link of the disk is read for its target and followed
// by the installation's rules, never by the host's (whose C: is another disk).
std::optional<fs::path> InstallationRoot::Resolve(char letter, const std::vector<std::string>& components) const {
  const Drive* drive = DriveByLetter(letter);
  if (drive == nullptr) return std::nullopt;
  std::deque<std::string> rest(components.begin(), components.end());
  std::vector<std::string> done;  // names below the drive's root
  auto here = [&] {
    fs::path p = drive->folder;
    for (const std::string& part : done) p /= part;
    return p;
  };
  auto withRest = [&](fs::path p) {
    for (const std::string& part : rest) p /= part;
    return p;
  };
  int hops = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // Never above the drive's root, as on Windows.
      if (!done.empty()) done.pop_back();
      continue;
    }
    const fs::path at = here() / name;
    const ::DWORD attributes = ::GetFileAttributesW(at.wstring().c_str());
    // Not there: the rest keeps its spelling, for a file to be created.
    if (attributes == INVALID_FILE_ATTRIBUTES) return withRest(at);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      if (++hops > kMaxHops) {
        Refuse(at, "a loop of links");
        return std::nullopt;
      }
      std::vector<std::uint8_t> data;
      if (const ::DWORD error = ReadReparseData(at, &data); error != ERROR_SUCCESS) {
        // Wine has no words for what it answers for every link.
        Refuse(at, "a link whose target cannot be read: " +
                       (error == ERROR_NOT_A_REPARSE_POINT ? std::string("the system gives no target for it")
                                                           : ErrorText(static_cast<DWORD>(error))));
        return std::nullopt;
      }
      const std::optional<Target> target = Followed(ReparseLinkTarget(data.data(), data.size(), HasDrive()), at);
      if (!target) return std::nullopt;
      if (target->drive != nullptr) {
        drive = target->drive;
        done.clear();
      }
      rest.insert(rest.begin(), target->components.begin(), target->components.end());
      continue;
    }
    done.push_back(name);
    if (!rest.empty() && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return withRest(here());
  }
  return here();
}

#else

namespace {

// One component below `dir`, never through a link: openat2 confined beneath
// the folder, else a plain openat that refuses a link in the last place.
int OpenBeneath(int dir, const std::string& name, int flags) {
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  for (int tries = 0; tries < 100; ++tries) {
    const long fd = ::syscall(SYS_openat2, dir, name.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno == EAGAIN || errno == EINTR) continue;
    if (errno != ENOSYS && errno != EPERM) return -1;
    break;
  }
  if (name.find('/') != std::string::npos) {
    errno = EINVAL;
    return -1;
  }
  return ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
}

// The entry of `dir` named `name`, as spelt when it is there, else the
// smallest name equal to it without regard to letter case (so that the answer
// does not depend on the order the host lists the folder in).
std::optional<std::string> FindEntry(int dir, const std::string& name) {
  struct stat st{};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
  const int listing = OpenBeneath(dir, ".", O_RDONLY | O_DIRECTORY);
  if (listing < 0) return std::nullopt;
  DIR* folder = ::fdopendir(listing);
  if (folder == nullptr) {
    ::close(listing);
    return std::nullopt;
  }
  std::optional<std::string> match;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string found = entry->d_name;
    if (found == "." || found == "..") continue;
    if (NamesEqual(found, name) && (!match || found < *match)) match = found;
  }
  ::closedir(folder);
  return match;
}

// The components of `path` below `base`, when it lies there (lexically).
std::optional<std::vector<std::string>> Below(const fs::path& base, const fs::path& path) {
  const fs::path rel = path.lexically_normal().lexically_relative(base.lexically_normal());
  if (rel.empty() || *rel.begin() == "..") return std::nullopt;
  std::vector<std::string> parts;
  for (const fs::path& part : rel) {
    if (part != ".") parts.push_back(part.string());
  }
  return parts;
}

}  // namespace

InstallationRoot::InstallationRoot(const std::vector<DriveSpec>& drives) {
  for (const DriveSpec& given : drives) {
    auto d = std::make_unique<Drive>();
    d->letter = given.letter;
    d->folder = given.folder;
    std::error_code ec;
    d->real = fs::weakly_canonical(given.folder, ec);
    if (ec) d->real = given.folder;
    // The drive folder itself is the user's choice and may be reached through links.
    d->fd = UniqueFd(::open(given.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (d->fd.valid()) {
      d->held.push_back(std::make_unique<HeldFolder>(d->folder, d->fd.get()));
      if (d->real != d->folder) d->held.push_back(std::make_unique<HeldFolder>(d->real, d->fd.get()));
    }
    drives_.push_back(std::move(d));
  }
}

std::optional<InstallationRoot::Target> InstallationRoot::LinkTarget(int dirFd, const std::string& name,
                                                                      const fs::path& at) const {
  // ntfs-3g keeps what Windows stored; fgetxattr cannot read it through an
  // O_PATH handle, the descriptor's /proc name can.
  const std::string proc = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
  unsigned char data[16384];
  const ssize_t size = ::lgetxattr(proc.c_str(), "system.ntfs_reparse_data", data, sizeof data);
  if (size >= 16) return Followed(ReparseLinkTarget(data, static_cast<std::size_t>(size), HasDrive()), at);

  char buffer[4096];
  const ssize_t n = ::readlinkat(dirFd, name.c_str(), buffer, sizeof buffer - 1);
  if (n < 0) {
    Refuse(at, std::string("a link that cannot be read: ") + std::strerror(errno));
    return std::nullopt;
  }
  const std::string target(buffer, static_cast<std::size_t>(n));
  if (target.empty() || target[0] != '/') return Target{nullptr, PathComponents(target)};
  for (const auto& d : drives_) {
    for (const fs::path& base : {d->folder, d->real}) {
      if (auto below = Below(base, target)) {
        // ntfs-3g shows a junction to another drive as <mount>/.NTFS-3G/D:/...,
        // which only its reparse data can tell.
        if (!below->empty() && below->front() == ".NTFS-3G") break;
        return Target{d.get(), *below};
      }
    }
  }
  Refuse(at, "a link that leads out of the installation (to " + target + ")");
  return std::nullopt;
}

std::optional<fs::path> InstallationRoot::Resolve(char letter, const std::vector<std::string>& components) const {
  const Drive* drive = DriveByLetter(letter);
  if (drive == nullptr) return std::nullopt;
  if (!drive->fd.valid()) return WalkCaseInsensitive(drive->folder, components);
  std::deque<std::string> rest(components.begin(), components.end());
  std::vector<std::string> done;   // real names below the drive's root
  std::vector<UniqueFd> folders;  // handles of `done`'s folders, for the walk's current one
  auto current = [&] { return folders.empty() ? drive->fd.get() : folders.back().get(); };
  auto here = [&] {
    fs::path p = drive->folder;
    for (const std::string& part : done) p /= part;
    return p;
  };
  int hops = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // Never above the drive's root, as on Windows.
      if (!done.empty()) {
        done.pop_back();
        if (!folders.empty()) folders.pop_back();
      }
      continue;
    }
    const std::optional<std::string> real = FindEntry(current(), name);
    if (!real) {
      // Not there: the rest keeps its spelling, for a file to be created.
      fs::path p = here() / name;
      for (const std::string& part : rest) p /= part;
      return p;
    }
    struct stat st{};
    if (::fstatat(current(), real->c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      fs::path p = here() / *real;
      for (const std::string& part : rest) p /= part;
      return p;
    }
    if (S_ISLNK(st.st_mode)) {
      const fs::path link = here() / *real;
      if (++hops > kMaxHops) {
        Refuse(link, "a loop of links");
        return std::nullopt;
      }
      const std::optional<Target> target = LinkTarget(current(), *real, link);
      if (!target) return std::nullopt;
      if (target->drive != nullptr) {
        drive = target->drive;
        done.clear();
        folders.clear();
      }
      rest.insert(rest.begin(), target->components.begin(), target->components.end());
      continue;
    }
    done.push_back(*real);
    if (rest.empty()) break;
    if (!S_ISDIR(st.st_mode)) {
      fs::path p = here();
      for (const std::string& part : rest) p /= part;
      return p;
    }
    const int fd = OpenBeneath(current(), *real, O_PATH | O_DIRECTORY);
    if (fd < 0) {
      fs::path p = here();
      for (const std::string& part : rest) p /= part;
      return p;
    }
    folders.emplace_back(fd);
  }
  return here();
}

#endif

}  // namespace hv::offline
