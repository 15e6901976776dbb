#include "file_view.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <fstream>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace hv::regf {

FileView::~FileView() { Release(); }

FileView::FileView(FileView&& other) noexcept { *this = std::move(other); }

FileView& FileView::operator=(FileView&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    fileSize_ = std::exchange(other.fileSize_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    read_ = std::move(other.read_);
  }
  return *this;
}

void FileView::Release() {
#ifndef _WIN32
  if (mapped_ && data_ != nullptr) munmap(const_cast<std::uint8_t*>(data_), size_);
#endif
  read_.reset();
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

#ifdef _WIN32

bool FileView::Open(const std::filesystem::path& file, std::uint64_t limit, std::string& error) {
  Release();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) {
    error = "cannot read the file: " + ec.message();
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot open the file";
    return false;
  }
  fileSize_ = size;
  const std::uint64_t want = size < limit ? size : limit;
  read_.reset(new std::uint8_t[static_cast<std::size_t>(want ? want : 1)]);
  // In pieces: a 32-bit std::streamsize cannot hold the largest hive's 2 GiB + 4 KiB.
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 26;
  std::uint64_t got = 0;
  while (got < want && in) {
    const std::uint64_t piece = want - got < kPiece ? want - got : kPiece;
    in.read(reinterpret_cast<char*>(read_.get() + got), static_cast<std::streamsize>(piece));
    got += static_cast<std::uint64_t>(in.gcount());  // a file that shrank meanwhile reads short
  }
  if (in.bad()) {
    error = "cannot read the file";
    Release();
    return false;
  }
  data_ = read_.get();
  size_ = static_cast<std::size_t>(got);
  return true;
}

#else

bool FileView::Open(const std::filesystem::path& file, std::uint64_t limit, std::string& error) {
  Release();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open the file: " + std::generic_category().message(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? "cannot read the file: it is a folder" : "cannot read the file";
    ::close(fd);
    return false;
  }
  fileSize_ = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t want = fileSize_ < limit ? fileSize_ : limit;
  if (want > 0) {
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // one pass in the kernel instead of a fault per few pages
#endif
    void* p = mmap(nullptr, static_cast<std::size_t>(want), PROT_READ, flags, fd, 0);
    if (p == MAP_FAILED) {
      error = "cannot read the file: " + std::generic_category().message(errno);
      ::close(fd);
      return false;
    }
    data_ = static_cast<const std::uint8_t*>(p);
    size_ = static_cast<std::size_t>(want);
    mapped_ = true;
  }
  ::close(fd);  // the mapping keeps the file's pages
  return true;
}

#endif

namespace {

#ifdef _WIN32
int OpenNew(const std::filesystem::path& file) {
  return ::_wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kPiece = std::size_t{1} << 26;  // _write takes an unsigned count
  return ::_write(fd, data, static_cast<unsigned>(size < kPiece ? size : kPiece));
}
int SyncFd(int fd) { return ::_commit(fd); }
int CloseFd(int fd) { return ::_close(fd); }
#else
int OpenNew(const std::filesystem::path& file) {
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  return ::write(fd, data, size < kPiece ? size : kPiece);
}
int SyncFd(int fd) { return ::fsync(fd); }
int CloseFd(int fd) { return ::close(fd); }
#endif

// Asks the device to start writing a range now, so that a Sync later waits for less; a hint
// only, where the system has it.
void StartWriteback(int fd, std::uint64_t offset, std::uint64_t size) {
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)fd, (void)offset, (void)size;
#endif
}

std::string ErrnoText() { return std::generic_category().message(errno); }

}  // namespace

NewFile::~NewFile() {
  if (fd_ >= 0) CloseFd(fd_);
}

NewFile::NewFile(NewFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), written_(std::exchange(other.written_, 0)) {}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseFd(fd_);
    fd_ = std::exchange(other.fd_, -1);
    written_ = std::exchange(other.written_, 0);
  }
  return *this;
}

bool NewFile::Create(const std::filesystem::path& file, bool& exists, std::string& error) {
  exists = false;
  if (fd_ >= 0) CloseFd(std::exchange(fd_, -1));
  written_ = 0;
  fd_ = OpenNew(file);
  if (fd_ >= 0) return true;
  exists = errno == EEXIST;
  error = "cannot create the file: " + ErrnoText();
  return false;
}

bool NewFile::Write(const std::uint8_t* data, std::size_t size, std::string& error) {
  // In pieces, each handed to the device as soon as it is in the cache: the device then works
  // while the next piece is copied instead of only once Sync asks.
  constexpr std::size_t kPiece = std::size_t{8} << 20;
  while (size > 0) {
    const std::size_t piece = size < kPiece ? size : kPiece;
    const long long n = WriteSome(fd_, data, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "writing failed: " + (n < 0 ? ErrnoText() : std::string("nothing was written (disk full?)"));
      return false;
    }
    StartWriteback(fd_, written_, static_cast<std::uint64_t>(n));
    written_ += static_cast<std::uint64_t>(n);
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool NewFile::Sync(std::string& error) {
  if (SyncFd(fd_) == 0) return true;
  error = "forcing the file to disk failed: " + ErrnoText();
  return false;
}

bool NewFile::Close(std::string& error) {
  if (fd_ < 0) return true;
  if (CloseFd(std::exchange(fd_, -1)) == 0) return true;
  error = "closing the file failed: " + ErrnoText();
  return false;
}

}  // namespace hv::regf
