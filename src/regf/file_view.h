#pragma once
// A file's bytes held read-only in memory for the reader. The bytes are read, never mapped: a
// mapping turns another process shrinking the file into SIGBUS for this one, while a read of a
// file that shrank only comes back short, which the reader reports as a truncation. Only the
// bytes asked for are read, so a file padded or extended (sparse) far beyond its content costs
// what its content costs. The file is opened as HostFile opens files: without waiting, and
// refused unless it is a regular file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "host_file.h"

namespace hv::regf {

class FileView {
 public:
  FileView() = default;
  ~FileView();
  FileView(FileView&& other) noexcept;
  FileView& operator=(FileView&& other) noexcept;
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Holds the file's first `limit` bytes (all of it when shorter). False with `error` set
  // (without the file's name) when the file cannot be opened or read.
  bool Open(const std::filesystem::path& file, std::uint64_t limit, std::string& error);
  // Holds the file's first `head` bytes, then as many more as `total` (given those first bytes,
  // fewer when the file is shorter) asks for in all: one open, so that the file whose head was
  // read is the file whose rest is read.
  using TotalFromHead = std::uint64_t (*)(const std::uint8_t* head, std::size_t size);
  bool Open(const std::filesystem::path& file, std::uint64_t head, TotalFromHead total, std::string& error);

  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  std::uint64_t FileSize() const { return fileSize_; }

 private:
  void Release();

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t fileSize_ = 0;
  std::unique_ptr<std::uint8_t[]> read_;
};

// A file this process creates (never one that exists: creation fails then) and writes in one
// go. Sync forces its content to the storage device where the platform offers that (fsync, or
// the C runtime's commit on Windows), so that a name given to it afterwards never shows a file
// whose content was still only in memory. Errors come back as false with `error` set (without
// the file's name).
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();  // closes without reporting; call Close to learn of a late write error
  NewFile(NewFile&& other) noexcept;
  NewFile& operator=(NewFile&& other) noexcept;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // False with `exists` set when the name is taken.
  bool Create(const std::filesystem::path& file, bool& exists, std::string& error);
  bool Write(const std::uint8_t* data, std::size_t size, std::string& error);
  // Reads back or rewrites bytes already written, leaving where Write goes on untouched.
  bool ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::string& error);
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::string& error);
  bool Sync(std::string& error);
  bool Close(std::string& error);
  // A second descriptor of the file (HostFile::Duplicate): it stays open until both are closed.
  int Duplicate(HostFile& copy) const { return file_.Duplicate(copy); }

 private:
  HostFile file_;
  std::uint64_t written_ = 0;
};

}  // namespace hv::regf
