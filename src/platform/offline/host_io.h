#pragma once
// File operations of the host that std::filesystem does not offer: durable
// writes, advisory locks, raw descriptors. A path of an installation is acted
// on from its folder's held handle and a link in its last place is never
// followed (held_path.h); a link on the way fails with kAccessDenied. Files are opened, read, written and
// synced through the engine's host-file unit (regf/host_file.h), so a FIFO or
// device is never waited on and never taken for a file.
//
// Errors are Win32 error codes (types.h), translated from errno.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "regf/host_file.h"

namespace hv::offline::host {

// Win32 error code for an errno value; the errno is kept for ErrorText (error_text.h).
DWORD ErrorFromErrno(int error);
// The same translation, remembering nothing.
DWORD ErrorFromErrnoValue(int error);
// Win32 error code for a std::error_code from std::filesystem.
DWORD ErrorFromCode(const std::error_code& error);

// Whole file into *bytes; kSuccess or the error.
DWORD ReadFile(const std::filesystem::path& file, std::string* bytes);

// Writes `bytes` under a temporary name beside `file`, flushes it to the disk
// and renames it over `file`; the folder is flushed too. On failure the
// temporary file is removed and `file` is as it was.
DWORD WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// Flushes a file's data, or a folder's entries, to the disk.
DWORD SyncFile(const std::filesystem::path& file);
DWORD SyncFolder(const std::filesystem::path& folder);

// A second name for `from` (hard link); kNotSupported-like errors come back
// as the errno translation, and the caller copies instead.
DWORD HardLink(const std::filesystem::path& from, const std::filesystem::path& to);
// Copies `from` to `to` (replacing it) and flushes the copy.
DWORD CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);
// rename(2): atomic replacement of `to`.
DWORD Rename(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes a file (or an empty folder); one already gone is no error.
DWORD Remove(const std::filesystem::path& file);
// Removes a folder and all it holds; a link in it goes, never what it names.
DWORD RemoveTree(const std::filesystem::path& folder);
// Makes `folder` and the folders above it that are missing.
DWORD CreateFolders(const std::filesystem::path& folder);

// Identity of the file system holding a path, to test "same volume".
std::optional<std::uint64_t> DeviceOf(const std::filesystem::path& path);

// An open host file: read/write descriptor plus an advisory lock that other
// processes honour. Move-only; closes on destruction.
class OpenFile {
 public:
  OpenFile() = default;
  ~OpenFile();
  OpenFile(OpenFile&& other) noexcept;
  OpenFile& operator=(OpenFile&& other) noexcept;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  enum class Disposition { kCreateNew, kCreateAlways, kOpenExisting, kOpenAlways, kTruncateExisting };
  // Opens `file`; *error receives the Win32 code on failure.
  static std::optional<OpenFile> Open(const std::filesystem::path& file, bool read, bool write,
                                      Disposition disposition, DWORD* error);
  // Advisory lock without waiting: exclusive, or shared. False when another
  // process holds a conflicting lock. Always true where locks are unknown.
  bool TryLock(bool exclusive);
  // kSuccess or the error; *written receives the bytes written.
  DWORD Write(const void* data, std::size_t size, std::size_t* written);
  bool valid() const { return file_.valid(); }

 private:
  void Close();
  regf::HostFile file_;
};

// True when an advisory exclusive lock on `file` could be taken right now
// (nobody else holds one). Used to see other processes' exclusive opens.
bool LockFree(const std::filesystem::path& file);

}  // namespace hv::offline::host
