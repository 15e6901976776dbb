#include "file_view.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include <cstdint>
#include <new>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
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
    read_ = std::move(other.read_);
  }
  return *this;
}

void FileView::Release() {
  read_.reset();
  data_ = nullptr;
  size_ = 0;
}

namespace {

std::uint64_t Fixed(const std::uint8_t*, std::size_t) { return 0; }

}  // namespace

bool FileView::Open(const std::filesystem::path& file, std::uint64_t limit, std::string& error) {
  return Open(file, limit, &Fixed, error);
}

bool FileView::Open(const std::filesystem::path& file, std::uint64_t head, TotalFromHead total, std::string& error) {
  Release();
  HostFile f;
  int e = f.Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  if (e != 0) {
    error = (e == EISDIR || e == kNotRegularFile ? "cannot read the file: " : "cannot open the file: ") + HostErrorText(e);
    return false;
  }
  fileSize_ = f.Size(e);
  if (e != 0) {
    error = "cannot read the file: " + HostErrorText(e);
    return false;
  }
  auto readUpTo = [&](std::uint64_t limit, std::size_t have) -> bool {
    const std::uint64_t want = fileSize_ < limit ? fileSize_ : limit;
    if (want > SIZE_MAX) {
      error = "the file is too large to read (" + std::to_string(want) + " bytes)";
      return false;
    }
    if (want <= have) return true;
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(want)]);
    if (!bytes) {
      error = "not enough memory to read " + std::to_string(want) + " bytes of the file";
      return false;
    }
    if (have > 0) std::memcpy(bytes.get(), read_.get(), have);
    std::size_t got = 0;
    // A file that shrank since its size was taken reads short: the caller sees fewer bytes.
    e = f.Read(bytes.get() + have, static_cast<std::size_t>(want) - have, got);
    if (e != 0) {
      error = "cannot read the file: " + HostErrorText(e);
      return false;
    }
    read_ = std::move(bytes);
    data_ = read_.get();
    size_ = have + got;
    return true;
  };
  if (!readUpTo(head, 0)) {
    Release();
    return false;
  }
  const std::uint64_t all = total(data_, size_);
  if (all > size_ && size_ == head && !readUpTo(all, size_)) {
    Release();
    return false;
  }
  return true;
}

namespace {

// Asks the device to start writing a range now, so that a Sync later waits for less; a hint
// only, where the system has it.
void StartWriteback(int fd, std::uint64_t offset, std::uint64_t size) {
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)fd, (void)offset, (void)size;
#endif
}

}  // namespace

NewFile::~NewFile() = default;

NewFile::NewFile(NewFile&& other) noexcept
    : file_(std::move(other.file_)), written_(std::exchange(other.written_, 0)) {}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
  if (this != &other) {
    file_ = std::move(other.file_);
    written_ = std::exchange(other.written_, 0);
  }
  return *this;
}

bool NewFile::Create(const std::filesystem::path& file, bool& exists, std::string& error) {
  exists = false;
  written_ = 0;
  const int e = file_.Open(file, HostFile::Access::kReadWrite, HostFile::Disposition::kCreateNew);
  if (e == 0) return true;
  exists = e == EEXIST;
  error = "cannot create the file: " + HostErrorText(e);
  return false;
}

bool NewFile::Write(const std::uint8_t* data, std::size_t size, std::string& error) {
  // In pieces, each handed to the device as soon as it is in the cache: the device then works
  // while the next piece is copied instead of only once Sync asks.
  constexpr std::size_t kPiece = std::size_t{8} << 20;
  while (size > 0) {
    const std::size_t piece = size < kPiece ? size : kPiece;
    std::size_t n = 0;
    const int e = file_.Write(data, piece, &n);
    if (e != 0) {
      error = "writing failed: " + HostErrorText(e);
      return false;
    }
    StartWriteback(file_.fd(), written_, static_cast<std::uint64_t>(n));
    written_ += static_cast<std::uint64_t>(n);
    data += n;
    size -= n;
  }
  return true;
}

namespace {

#ifdef _WIN32
// The C runtime has no positioned I/O: the position is moved there and put back.
class KeepPosition {
 public:
  explicit KeepPosition(int fd) : fd_(fd), at_(::_telli64(fd)) {}
  ~KeepPosition() {
    if (at_ >= 0) ::_lseeki64(fd_, at_, SEEK_SET);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;
  bool ok() const { return at_ >= 0; }

 private:
  int fd_;
  long long at_;
};
#endif

}  // namespace

bool NewFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::string& error) {
#ifdef _WIN32
  const KeepPosition keep(file_.fd());
  if (!keep.ok()) {
    error = "reading back failed: " + HostErrorText(errno);
    return false;
  }
#endif
  std::size_t got = 0;
  const int e = file_.ReadAt(offset, data, size, got);
  if (e == 0 && got == size) return true;
  error = "reading back failed: " + (e != 0 ? HostErrorText(e) : std::string("the file is shorter than written"));
  return false;
}

bool NewFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::string& error) {
  while (size > 0) {
#ifdef _WIN32
    const KeepPosition keep(file_.fd());
    const long long n = keep.ok() && ::_lseeki64(file_.fd(), static_cast<long long>(offset), SEEK_SET) >= 0
                            ? ::_write(file_.fd(), data, static_cast<unsigned>(size))
                            : -1;
#else
    const long long n = ::pwrite(file_.fd(), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) {
      error = "writing failed: " + HostErrorText(n < 0 ? errno : EIO);
      return false;
    }
    offset += static_cast<std::uint64_t>(n);
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool NewFile::Sync(std::string& error) {
  const int e = file_.Sync();
  if (e == 0) return true;
  error = "forcing the file to disk failed: " + HostErrorText(e);
  return false;
}

bool NewFile::Close(std::string& error) {
  const int e = file_.Close();
  if (e == 0) return true;
  error = "closing the file failed: " + HostErrorText(e);
  return false;
}

}  // namespace hv::regf
