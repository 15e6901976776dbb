#include "platform/offline/host_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace hv::offline::host {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
int OpenFd(const fs::path& file, int flags) { return ::_wopen(file.c_str(), flags | _O_BINARY, 0666); }
int CloseFd(int fd) { return ::_close(fd); }
long long WriteFd(int fd, const void* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(size));
}
int SyncFd(int fd) { return ::_commit(fd); }
#else
int OpenFd(const fs::path& file, int flags) { return ::open(file.c_str(), flags | O_CLOEXEC, 0666); }
int CloseFd(int fd) { return ::close(fd); }
long long WriteFd(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
int SyncFd(int fd) { return ::fsync(fd); }
#endif

DWORD WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    long long n = WriteFd(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return err::kSuccess;
}

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

}  // namespace

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0: return err::kSuccess;
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return err::kAccessDenied;
    case EEXIST: return err::kFileExists;
    case ENOMEM: return err::kNotEnoughMemory;
    case EBUSY:
#ifdef EWOULDBLOCK
    case EWOULDBLOCK:
#endif
      return err::kSharingViolation;
    case EINVAL:
    case ENAMETOOLONG: return err::kInvalidParameter;
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
  std::error_code ec;
  if (fs::is_directory(file, ec)) return err::kAccessDenied;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (!fs::exists(file, ec)) {
      return fs::exists(FolderOf(file), ec) ? err::kFileNotFound : err::kPathNotFound;
    }
    return err::kAccessDenied;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? err::kCantRead : err::kSuccess;
}

DWORD WriteFileAtomically(const fs::path& file, std::string_view bytes) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) return err::kAccessDenied;
  const fs::path tmp = TemporaryBeside(file);
  int fd = OpenFd(tmp, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) {
    int e = errno;
    if (e == ENOENT) return err::kPathNotFound;
    return ErrorFromErrno(e);
  }
  DWORD result = WriteAll(fd, bytes.data(), bytes.size());
  if (result == err::kSuccess && SyncFd(fd) != 0) result = ErrorFromErrno(errno);
  if (CloseFd(fd) != 0 && result == err::kSuccess) result = ErrorFromErrno(errno);
  if (result == err::kSuccess) result = Rename(tmp, file);
  if (result != err::kSuccess) {
    fs::remove(tmp, ec);
    return result;
  }
  SyncFolder(FolderOf(file));
  return err::kSuccess;
}

DWORD SyncFile(const fs::path& file) {
  int fd = OpenFd(file, O_RDWR);
  if (fd < 0) fd = OpenFd(file, O_RDONLY);
  if (fd < 0) return ErrorFromErrno(errno);
  DWORD result = SyncFd(fd) == 0 ? err::kSuccess : ErrorFromErrno(errno);
  CloseFd(fd);
  return result;
}

DWORD SyncFolder([[maybe_unused]] const fs::path& folder) {
#ifdef _WIN32
  return err::kSuccess;  // folder entries are flushed with the volume on Windows
#else
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrorFromErrno(errno);
  DWORD result = ::fsync(fd) == 0 ? err::kSuccess : ErrorFromErrno(errno);
  ::close(fd);
  return result;
#endif
}

DWORD HardLink(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_hard_link(from, to, ec);
  return ErrorFromCode(ec);
}

DWORD CopyFileDurably(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) return ErrorFromCode(ec);
  return SyncFile(to);
}

DWORD Rename(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  return ErrorFromCode(ec);
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

OpenFile::~OpenFile() { Close(); }
OpenFile::OpenFile(OpenFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void OpenFile::Close() {
  if (fd_ >= 0) CloseFd(fd_);  // closing drops the advisory lock too
  fd_ = -1;
}

std::optional<OpenFile> OpenFile::Open(const fs::path& file, bool read, bool write,
                                       Disposition disposition, DWORD* error) {
  int flags = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case Disposition::kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case Disposition::kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::kOpenExisting: break;
    case Disposition::kOpenAlways: flags |= O_CREAT; break;
    case Disposition::kTruncateExisting: flags |= O_TRUNC; break;
  }
  // Creating or truncating needs write access on the host even for a reader.
  if (!write && (flags & (O_CREAT | O_TRUNC)) != 0) flags = (flags & ~O_RDONLY) | O_RDWR;
  std::error_code ec;
  if (fs::is_directory(file, ec)) {
    *error = err::kAccessDenied;
    return std::nullopt;
  }
  int fd = OpenFd(file, flags);
  if (fd < 0) {
    int e = errno;
    if (e == ENOENT && !fs::exists(FolderOf(file), ec)) {
      *error = err::kPathNotFound;
    } else {
      *error = ErrorFromErrno(e);
    }
    return std::nullopt;
  }
  *error = err::kSuccess;
  return OpenFile(fd);
}

bool OpenFile::TryLock([[maybe_unused]] bool exclusive) {
#ifdef _WIN32
  return true;
#else
  if (fd_ < 0) return false;
  while (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK && errno != EAGAIN;  // other errors: locks unsupported here
  }
  return true;
#endif
}

DWORD OpenFile::Write(const void* data, std::size_t size, std::size_t* written) {
  *written = 0;
  if (fd_ < 0) return err::kInvalidHandle;
  DWORD result = WriteAll(fd_, static_cast<const char*>(data), size);
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
