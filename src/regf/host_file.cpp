#include "host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <io.h>

#include <mutex>
#else
#include <unistd.h>
#endif

namespace hv::regf {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 26;  // 64 MiB

#ifdef _WIN32
int OpenFd(const std::filesystem::path& file, int flags) {
  return ::_wopen(file.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int CloseFd(int fd) { return ::_close(fd); }
long long ReadFd(int fd, void* data, std::size_t size) { return ::_read(fd, data, static_cast<unsigned>(size)); }
// The C runtime has no positional read: a seek and a read, kept together so that threads
// sharing a descriptor never move each other's position in between.
std::mutex g_seekAndRead;
long long ReadFdAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
  const std::lock_guard lock(g_seekAndRead);
  if (::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
  return ReadFd(fd, data, size);
}
long long WriteFd(int fd, const void* data, std::size_t size) { return ::_write(fd, data, static_cast<unsigned>(size)); }
int SyncFd(int fd) { return ::_commit(fd); }
// Windows opens a pipe or device name without waiting for a peer; the check on the descriptor
// is what refuses it.
int StatKind(int fd, std::uint64_t* size) {
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) return errno;
  if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
  if ((st.st_mode & _S_IFMT) == _S_IFDIR) return EISDIR;
  return (st.st_mode & _S_IFMT) == _S_IFREG ? 0 : kNotRegularFile;
}
int ClearNonBlocking(int) { return 0; }
constexpr int kNonBlocking = 0;
constexpr int kNoFollow = 0;  // no such flag here; the offline exe refuses an installation's links before it opens
#else
int OpenFd(const std::filesystem::path& file, int flags) { return ::open(file.c_str(), flags | O_CLOEXEC, 0666); }
int CloseFd(int fd) { return ::close(fd); }
long long ReadFd(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }
long long ReadFdAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
  return ::pread(fd, data, size, static_cast<off_t>(offset));
}
long long WriteFd(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
int SyncFd(int fd) { return ::fsync(fd); }
int StatKind(int fd, std::uint64_t* size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
  if (S_ISDIR(st.st_mode)) return EISDIR;
  return S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
}
int ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}
constexpr int kNonBlocking = O_NONBLOCK;
constexpr int kNoFollow = O_NOFOLLOW;
#endif

}  // namespace

std::string HostErrorText(int error) {
  if (error == kNotRegularFile) return "it is not a regular file";
  if (error == EISDIR) return "it is a folder";
#ifdef ELOOP
  if (error == ELOOP) return "it is a symbolic link, which is not followed";
#endif
  return std::generic_category().message(error);
}

HostFile::~HostFile() {
  if (fd_ >= 0) CloseFd(fd_);
}

HostFile::HostFile(HostFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseFd(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int HostFile::Open(const std::filesystem::path& file, Access access, Disposition disposition, LastLink last) {
  if (fd_ >= 0) CloseFd(std::exchange(fd_, -1));
  int flags = access == Access::kRead ? O_RDONLY : (access == Access::kWrite ? O_WRONLY : O_RDWR);
  switch (disposition) {
    case Disposition::kOpenExisting: break;
    case Disposition::kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case Disposition::kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::kOpenAlways: flags |= O_CREAT; break;
    case Disposition::kTruncateExisting: flags |= O_TRUNC; break;
  }
  if (last == LastLink::kRefuse) flags |= kNoFollow;
  const int fd = OpenFd(file, flags | kNonBlocking);
  if (fd < 0) return errno;
  int error = StatKind(fd, nullptr);
  if (error == 0) error = ClearNonBlocking(fd);
  if (error != 0) {
    CloseFd(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

std::uint64_t HostFile::Size(int& error) const {
  std::uint64_t size = 0;
  error = StatKind(fd_, &size);
  return error == 0 ? size : 0;
}

int HostFile::Read(std::uint8_t* data, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const std::size_t want = size - got < kPiece ? size - got : kPiece;
    const long long n = ReadFd(fd_, data + got, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

int HostFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const {
  got = 0;
  while (got < size) {
    const std::size_t want = size - got < kPiece ? size - got : kPiece;
    const long long n = ReadFdAt(fd_, data + got, want, offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

int HostFile::Write(const void* data, std::size_t size, std::size_t* written) {
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  int error = 0;
  while (done < size) {
    const std::size_t piece = size - done < kPiece ? size - done : kPiece;
    const long long n = WriteFd(fd_, p + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) {
      error = ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written != nullptr) *written = done;
  return error;
}

int HostFile::Sync() { return SyncFd(fd_) == 0 ? 0 : errno; }

int HostFile::Close() {
  if (fd_ < 0) return 0;
  return CloseFd(std::exchange(fd_, -1)) == 0 ? 0 : errno;
}

int HostFile::Duplicate(HostFile& copy) const {
#ifdef _WIN32
  (void)copy;
  return ENOSYS;
#else
  const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return errno;
  copy = HostFile();
  copy.fd_ = fd;
  return 0;
#endif
}

int ReadWholeFile(const std::filesystem::path& file, std::string& bytes, HostFile::LastLink last) {
  bytes.clear();
  HostFile f;
  if (int error = f.Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, last)) return error;
  int error = 0;
  const std::uint64_t size = f.Size(error);
  if (error != 0) return error;
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if ((error = f.Read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), got)) != 0) return error;
  bytes.resize(got);
  // A file that grew since its size was taken is read to its end.
  char more[4096];
  for (;;) {
    std::size_t n = 0;
    if ((error = f.Read(reinterpret_cast<std::uint8_t*>(more), sizeof more, n)) != 0) return error;
    if (n == 0) break;
    bytes.append(more, n);
  }
  return 0;
}

}  // namespace hv::regf
