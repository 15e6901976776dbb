#pragma once
// The one place that opens, reads, writes and syncs host files by descriptor, shared by the hive
// engine and the offline platform. Opening never waits: a FIFO or a device named where a file is
// expected would otherwise hold the open until a peer appears, so the file is opened
// non-blocking, checked on the open descriptor (so a rename in between cannot swap it) to be a
// regular file, and only then switched back to blocking I/O. Reads and writes go in pieces of at
// most 64 MiB, which every C runtime's count type holds.
//
// Errors are errno values (0 = success), plus kNotRegularFile; HostErrorText words them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace hv::regf {

// The path names something that exists but is neither a regular file nor a folder.
inline constexpr int kNotRegularFile = -2;

// A short description of an error from this unit ("it is a folder", "No such file ...").
std::string HostErrorText(int error);

class HostFile {
 public:
  enum class Access { kRead, kWrite, kReadWrite };
  enum class Disposition { kOpenExisting, kCreateNew, kCreateAlways, kOpenAlways, kTruncateExisting };
  // Whether a symbolic link in the last place of the path is followed. A file of an untrusted
  // disk (a hive, its logs, anything reached in an installation) is opened kRefuse: a link there
  // fails with ELOOP instead of reading or writing whatever it points at.
  enum class LastLink { kFollow, kRefuse };

  HostFile() = default;
  ~HostFile();  // closes without reporting; call Close to learn of a late write error
  HostFile(HostFile&& other) noexcept;
  HostFile& operator=(HostFile&& other) noexcept;
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;

  // Opens `file`; 0, EISDIR for a folder, kNotRegularFile for a FIFO, device or socket, or the
  // errno of the failed open (EEXIST when kCreateNew finds the name taken, ELOOP for a refused
  // link).
  int Open(const std::filesystem::path& file, Access access, Disposition disposition,
           LastLink last = LastLink::kFollow);
  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // The file's size; 0 with `error` set when it cannot be learnt.
  std::uint64_t Size(int& error) const;
  // Reads up to `size` bytes from the current position into `data`; `got` is short only at the
  // end of the file (or when it shrank meanwhile).
  int Read(std::uint8_t* data, std::size_t size, std::size_t& got);
  // Reads up to `size` bytes from `offset` into `data`; `got` is short only at the end of the
  // file. Threads may read one file at once this way; the position Read uses may move.
  int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const;
  // Writes all of `data` at the current position; `written` counts what reached the file.
  int Write(const void* data, std::size_t size, std::size_t* written = nullptr);
  // Forces the content to the storage device (fsync; the C runtime's commit on Windows).
  int Sync();
  int Close();
  // A second descriptor of the same open file into `copy`, not inherited by child processes: the
  // file stays open until both are closed. ENOSYS on Windows.
  int Duplicate(HostFile& copy) const;

 private:
  int fd_ = -1;
};

// The whole of a regular file, opened as HostFile opens it.
int ReadWholeFile(const std::filesystem::path& file, std::string& bytes,
                  HostFile::LastLink last = HostFile::LastLink::kFollow);

}  // namespace hv::regf
