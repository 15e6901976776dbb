#pragma once
// A file's bytes held read-only in memory for the reader. POSIX systems map the file: nothing is
// copied and the page cache is shared, which is what makes reading a large hive cheap. The catch
// of a mapping is that another process shrinking the file while it is mapped ends this one with
// SIGBUS rather than an error; the compactor still never publishes a copy it has not verified.
// Elsewhere (Windows) the file is read. The file is opened as HostFile opens files: without
// waiting, and refused unless it is a regular file.
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

  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  std::uint64_t FileSize() const { return fileSize_; }

 private:
  void Release();

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t fileSize_ = 0;
  bool mapped_ = false;
  std::unique_ptr<std::uint8_t[]> read_;  // the bytes when they were read rather than mapped
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
  bool Sync(std::string& error);
  bool Close(std::string& error);

 private:
  HostFile file_;
  std::uint64_t written_ = 0;
};

}  // namespace hv::regf
