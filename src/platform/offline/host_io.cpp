#include "platform/offline/host_io.h"
#include "platform/offline/error_text.h"
#include "platform/offline/held_path.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace hv::offline::host {
namespace fs = std::filesystem;

namespace {

using regf::HostFile;

// A name beside `file` that no other writer of this process picks.
fs::path TemporaryBeside(const fs::path& file) {
  static std::atomic<unsigned> counter{0};
#ifdef _WIN32
  const unsigned long pid = 0;
#else
  const unsigned long pid = static_cast<unsigned long>(::getpid());
#endif
  fs::path tmp = file;
  tmp += ".tmp-" + std::to_string(pid) + "-" + std::to_string(counter.fetch_add(1));
  return tmp;
}

fs::path FolderOf(const fs::path& file) {
  fs::path parent = file.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

// Why a file of the installation could not be reached without a link.
DWORD HeldError(const HeldPath& held) {
  const int e = held.error();
  if (e == ENOENT || e == ENOTDIR) {
    RememberErrno(e, err::kPathNotFound);
    return err::kPathNotFound;
  }
  return ErrorFromErrno(e);
}

// A link in the last place of an installation's path is never followed.
HostFile::LastLink LastLinkOf(const HeldPath& held) {
  return held.held() ? HostFile::LastLink::kRefuse : HostFile::LastLink::kFollow;
}

bool IsFolder(const HeldPath& held) {
  std::error_code ec;
  return held.held() ? fs::is_directory(fs::symlink_status(held.path(), ec)) : fs::is_directory(held.path(), ec);
}

}  // namespace

DWORD ErrorFromErrno(int error) {
  const DWORD code = ErrorFromErrnoValue(error);
  RememberErrno(error, code);
  return code;
}

DWORD ErrorFromErrnoValue(int error) {
  switch (error) {
    case 0: return err::kSuccess;
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return err::kAccessDenied;
    case EEXIST: return err::kFileExists;
    case ELOOP: return err::kAccessDenied;  // a link where the installation's file is
    case ENOMEM: return err::kNotEnoughMemory;
    case EBUSY:
#ifdef EWOULDBLOCK
    case EWOULDBLOCK:
#endif
      return err::kSharingViolation;
    case EINVAL:
    case ENAMETOOLONG: return err::kInvalidParameter;
    case regf::kNotRegularFile: return err::kAccessDenied;
    default: return err::kWriteFault;
  }
}

DWORD ErrorFromCode(const std::error_code& error) {
  if (!error) return err::kSuccess;
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
#ifdef _WIN32
    if (error.category() == std::system_category()) return static_cast<DWORD>(error.value());
#endif
    return ErrorFromErrno(error.value());
  }
  return err::kWriteFault;
}

DWORD ReadFile(const fs::path& file, std::string* bytes) {
  const HeldPath held(file);
  if (held.error() != 0) return HeldError(held);
  const int e = regf::ReadWholeFile(held.path(), *bytes, LastLinkOf(held));
  if (e == 0) return err::kSuccess;
  std::error_code ec;
  if (e == ENOENT || e == ENOTDIR) {
    return fs::exists(FolderOf(file), ec) ? err::kFileNotFound : err::kPathNotFound;
  }
  if (e == EISDIR || e == regf::kNotRegularFile || e == EACCES || e == EPERM || e == ELOOP) return err::kAccessDenied;
  return err::kCantRead;
}

DWORD WriteFileAtomically(const fs::path& target, std::string_view bytes) {
  std::error_code ec;
  const HeldPath held(target);
  if (held.error() != 0) return HeldError(held);
  if (IsFolder(held)) return err::kAccessDenied;
  const fs::path& file = held.path();
  const fs::path tmp = TemporaryBeside(file);
  HostFile f;
  if (const int e = f.Open(tmp, HostFile::Access::kWrite, HostFile::Disposition::kCreateNew)) {
    if (e == ENOENT) return err::kPathNotFound;
    return ErrorFromErrno(e);
  }
  DWORD result = ErrorFromErrno(f.Write(bytes.data(), bytes.size()));
  if (result == err::kSuccess) result = ErrorFromErrno(f.Sync());
  if (const int e = f.Close(); e != 0 && result == err::kSuccess) result = ErrorFromErrno(e);
  if (result == err::kSuccess) result = Rename(tmp, file);
  if (result != err::kSuccess) {
    fs::remove(tmp, ec);
    return result;
  }
  SyncFolder(FolderOf(file));
  return err::kSuccess;
}

DWORD SyncFile(const fs::path& target) {
  const HeldPath held(target);
  if (held.error() != 0) return HeldError(held);
  const fs::path& file = held.path();
  HostFile f;
  int e = f.Open(file, HostFile::Access::kReadWrite, HostFile::Disposition::kOpenExisting, LastLinkOf(held));
  if (e != 0 && e != EISDIR && e != regf::kNotRegularFile && e != ELOOP) {
    e = f.Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, LastLinkOf(held));
  }
  if (e != 0) return ErrorFromErrno(e);
  return ErrorFromErrno(f.Sync());
}

DWORD SyncFolder([[maybe_unused]] const fs::path& folder) {
#ifdef _WIN32
  return err::kSuccess;  // folder entries are flushed with the volume on Windows
#else
  const HeldPath held(folder);
  if (held.error() != 0) return HeldError(held);
  int fd = ::open(held.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (held.held() ? O_NOFOLLOW : 0));
  if (fd < 0) return ErrorFromErrno(errno);
  DWORD result = ::fsync(fd) == 0 ? err::kSuccess : ErrorFromErrno(errno);
  ::close(fd);
  return result;
#endif
}

DWORD HardLink(const fs::path& from, const fs::path& to) {
  const HeldPath heldFrom(from), heldTo(to);
  if (heldFrom.error() != 0) return HeldError(heldFrom);
  if (heldTo.error() != 0) return HeldError(heldTo);
  // link(2) gives the new name to a link itself, never to what it points at.
  std::error_code ec;
  fs::create_hard_link(heldFrom.path(), heldTo.path(), ec);
  return ErrorFromCode(ec);
}

DWORD CopyFileDurably(const fs::path& from, const fs::path& to) {
  const HeldPath heldFrom(from), heldTo(to);
  if (heldFrom.error() != 0) return HeldError(heldFrom);
  if (heldTo.error() != 0) return HeldError(heldTo);
  HostFile in, out;
  if (const int e = in.Open(heldFrom.path(), HostFile::Access::kRead, HostFile::Disposition::kOpenExisting,
                            LastLinkOf(heldFrom))) {
    return ErrorFromErrno(e);
  }
  if (const int e = out.Open(heldTo.path(), HostFile::Access::kWrite, HostFile::Disposition::kCreateAlways,
                             LastLinkOf(heldTo))) {
    return ErrorFromErrno(e);
  }
  std::string piece(1 << 20, '\0');
  for (;;) {
    std::size_t got = 0;
    if (const int e = in.Read(reinterpret_cast<std::uint8_t*>(piece.data()), piece.size(), got)) return ErrorFromErrno(e);
    if (got == 0) break;
    if (const int e = out.Write(piece.data(), got)) return ErrorFromErrno(e);
  }
  if (const int e = out.Sync()) return ErrorFromErrno(e);
  return ErrorFromErrno(out.Close());
}

DWORD Rename(const fs::path& from, const fs::path& to) {
  const HeldPath heldFrom(from), heldTo(to);
  if (heldFrom.error() != 0) return HeldError(heldFrom);
  if (heldTo.error() != 0) return HeldError(heldTo);
  std::error_code ec;
  fs::rename(heldFrom.path(), heldTo.path(), ec);
  return ErrorFromCode(ec);
}

DWORD Remove(const fs::path& file) {
  const HeldPath held(file);
  if (held.error() != 0) return held.error() == ENOENT ? err::kSuccess : HeldError(held);
  std::error_code ec;
  fs::remove(held.path(), ec);
  return ErrorFromCode(ec);
}

DWORD RemoveTree(const fs::path& folder) {
  const HeldPath held(folder);
  if (held.error() != 0) return held.error() == ENOENT ? err::kSuccess : HeldError(held);
  std::error_code ec;
  fs::remove_all(held.path(), ec);
  return ErrorFromCode(ec);
}

DWORD CreateFolders(const fs::path& folder) {
  std::error_code ec;
  if (const HeldPath whole(folder); !whole.held() && whole.error() == 0) {
    fs::create_directories(folder, ec);
    return ErrorFromCode(ec);
  }
  // In an installation each level is made from the one above, held; a link
  // met on the way stops it.
  fs::path at;
  for (const fs::path& part : folder) {
    at /= part;
    const HeldPath held(at);
    if (!held.held()) {
      if (held.error() != 0) return HeldError(held);
      continue;
    }
    const fs::file_status status = fs::symlink_status(held.path(), ec);
    if (fs::is_directory(status)) continue;
    if (fs::exists(status)) return fs::is_symlink(status) ? ErrorFromErrno(ELOOP) : ErrorFromErrno(ENOTDIR);
    if (!fs::create_directory(held.path(), ec) && ec) return ErrorFromCode(ec);
  }
  return err::kSuccess;
}

std::optional<std::uint64_t> DeviceOf(const fs::path& path) {
#ifdef _WIN32
  struct _stat64 st {};
  if (::_wstat64(path.c_str(), &st) != 0) return std::nullopt;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
#endif
  return static_cast<std::uint64_t>(st.st_dev);
}

OpenFile::~OpenFile() = default;
OpenFile::OpenFile(OpenFile&& other) noexcept = default;
OpenFile& OpenFile::operator=(OpenFile&& other) noexcept = default;

void OpenFile::Close() { file_.Close(); }  // closing drops the advisory lock too

std::optional<OpenFile> OpenFile::Open(const fs::path& file, bool read, bool write,
                                       Disposition disposition, DWORD* error) {
  HostFile::Disposition how = HostFile::Disposition::kOpenExisting;
  switch (disposition) {
    case Disposition::kCreateNew: how = HostFile::Disposition::kCreateNew; break;
    case Disposition::kCreateAlways: how = HostFile::Disposition::kCreateAlways; break;
    case Disposition::kOpenExisting: how = HostFile::Disposition::kOpenExisting; break;
    case Disposition::kOpenAlways: how = HostFile::Disposition::kOpenAlways; break;
    case Disposition::kTruncateExisting: how = HostFile::Disposition::kTruncateExisting; break;
  }
  // Creating or truncating needs write access on the host even for a reader.
  const bool creates = how != HostFile::Disposition::kOpenExisting;
  const HostFile::Access access = write ? (read ? HostFile::Access::kReadWrite : HostFile::Access::kWrite)
                                        : (creates ? HostFile::Access::kReadWrite : HostFile::Access::kRead);
  std::error_code ec;
  const HeldPath held(file);
  if (held.error() != 0) {
    *error = HeldError(held);
    return std::nullopt;
  }
  if (IsFolder(held)) {
    *error = err::kAccessDenied;
    return std::nullopt;
  }
  OpenFile opened;
  if (const int e = opened.file_.Open(held.path(), access, how, LastLinkOf(held))) {
    if (e == ENOENT && !fs::exists(FolderOf(file), ec)) {
      *error = err::kPathNotFound;
      RememberErrno(e, *error);
    } else {
      *error = ErrorFromErrno(e);
    }
    return std::nullopt;
  }
  *error = err::kSuccess;
  return opened;
}

bool OpenFile::TryLock([[maybe_unused]] bool exclusive) {
#ifdef _WIN32
  return true;
#else
  if (!file_.valid()) return false;
  while (::flock(file_.fd(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK && errno != EAGAIN;  // other errors: locks unsupported here
  }
  return true;
#endif
}

DWORD OpenFile::Write(const void* data, std::size_t size, std::size_t* written) {
  *written = 0;
  if (!file_.valid()) return err::kInvalidHandle;
  std::size_t done = 0;
  const DWORD result = ErrorFromErrno(file_.Write(data, size, &done));
  if (result == err::kSuccess) *written = size;
  return result;
}

bool LockFree(const fs::path& file) {
  DWORD error = 0;
  auto probe = OpenFile::Open(file, true, false, OpenFile::Disposition::kOpenExisting, &error);
  if (!probe) return true;
  return probe->TryLock(false);
}

}  // namespace hv::offline::host
