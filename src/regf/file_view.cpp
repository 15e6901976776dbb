#include "file_view.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#ifdef _WIN32
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

}  // namespace hv::regf
