#pragma once
// Bytes read at an offset, from a file or from memory: what the log reader, recovery and a
// recovered hive's reader read through, so that the same code serves files on disk and images
// held in memory (tests, fuzzing). Reads are positional and may come from several threads at
// once.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "host_file.h"

namespace hv::regf {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size when opened (a file may change afterwards: a read then comes back short).
  virtual std::uint64_t Size() const = 0;
  // Reads up to `size` bytes at `offset`; `got` is short only at the end. 0 or a HostFile error.
  virtual int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const = 0;
};

// An open file, shared by the readers that hold it.
class FileBytes final : public ByteSource {
 public:
  FileBytes(std::shared_ptr<HostFile> file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const override {
    return file_->ReadAt(offset, data, size, got);
  }

 private:
  std::shared_ptr<HostFile> file_;
  std::uint64_t size_;
};

// Bytes the caller keeps alive and unchanged while this is used.
class MemoryBytes final : public ByteSource {
 public:
  MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const override;
  const std::uint8_t* Data() const { return data_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace hv::regf
