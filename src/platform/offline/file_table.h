#pragma once
// The files of a machine as kernel32 hands them out, over host files:
// CreateFileA with its five dispositions and the sharing of every open handle,
// WriteFile at the file pointer, DeleteFileA, GetFileAttributesA and the
// searches of FindFirstFileA/FindNextFileA. A platform keeps one table; it
// tells the table how its paths reach the host, which files the system itself
// holds, and where its handle values come from.
//
// The rules, as Windows applies them:
// - Sharing: a new open is refused (kSharingViolation) when it wants what an
//   open handle does not share, or an open handle has what it does not share;
//   an open without read or write access (attributes only) conflicts with
//   nothing. A deletion is an open for delete sharing everything.
// - CREATE_NEW on an existing name is kFileExists before any sharing check;
//   CREATE_ALWAYS and OPEN_ALWAYS leave kAlreadyExists as the last error when
//   the file was there, and kSuccess when they made it.
// - A search of a pattern lists the folder's names in case-insensitive order,
//   with "." and ".." first except in a drive's root; "*.*" matches names
//   without a dot too. A search of a plain name gives the name as stored.
// - Missing files are kFileNotFound when their folder exists, else
//   kPathNotFound. Folders cannot be opened or deleted (kAccessDenied).
//
// Every call may come from any thread. Each reports its error through *error
// (kSuccess when it succeeded).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/host_io.h"
#include "platform/types.h"

namespace hv::offline {

// How the system itself, not a handle of the table, holds a file.
enum class SystemHold {
  kNone,
  kLoadedHive,  // a loaded hive: only a read that shares reading and writing gets through
  kInUse,       // every open and the deletion are refused
};

struct FileTableHooks {
  // A path as the program passes it, on the host; nullopt when it names no
  // place there (an unknown drive).
  std::function<std::optional<std::filesystem::path>(std::string_view path)> resolve;
  // How the system holds an existing file. Null: it holds none.
  std::function<SystemHold(const std::filesystem::path& host)> hold;
  // The size reported for `host` instead of its real one. A file that does
  // not exist but has a size is being made under another name: a search of
  // its name lists it and GetFileAttributesA calls it a file. Null: none.
  std::function<std::optional<std::uint64_t>(const std::filesystem::path& host)> reportedSize;
  // Whether a host folder is a drive's root. Null: none is.
  std::function<bool(const std::filesystem::path& folder)> driveRoot;
  // A handle value unused by anything else of the platform.
  std::function<HANDLE()> newHandle;
};

// Whether two host paths name one folder: the same file, or the same path
// once absolute and normal (for hosts whose file identities do not cover
// folders).
bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b);

class FileTable {
 public:
  explicit FileTable(FileTableHooks hooks);
  ~FileTable();
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;

  DWORD GetFileAttributesA(const char* fileName, DWORD* error) const;
  BOOL DeleteFileA(const char* fileName, DWORD* error);
  // A rename within one volume (two drives are two volumes: kNotSameDevice);
  // kMoveFileReplaceExisting and kMoveFileWriteThrough are the flags taken,
  // and the folders are flushed either way. A busy file (see Busy) is neither
  // moved nor replaced; a folder is not moved (kAccessDenied).
  BOOL MoveFileExA(const char* existing, const char* newName, DWORD flags, DWORD* error);
  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                     DWORD creationDisposition, DWORD* error);
  BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, DWORD* error);
  // `data` may be null: the search opens all the same.
  HANDLE FindFirstFileA(const char* fileName, FindDataA* data, DWORD* error);
  BOOL FindNextFileA(HANDLE find, FindDataA* data, DWORD* error);
  BOOL FindClose(HANDLE find, DWORD* error);
  // CloseHandle of a file of the table; false when `handle` is no open file
  // (a search handle is none: CloseHandle does not close searches).
  bool CloseFile(HANDLE handle);
  // Whether an open handle of the table would refuse an open of `host` with
  // this access and sharing.
  bool Conflicts(const std::filesystem::path& host, DWORD access, DWORD share) const;
  // Whether `host` may be neither deleted nor renamed: the system holds it, a
  // handle of the table does not share its deletion, or another process has
  // it open without sharing.
  bool Busy(const std::filesystem::path& host) const;
  // The error for a missing file: kFileNotFound when its folder exists, else
  // kPathNotFound.
  static DWORD MissingError(const std::filesystem::path& host);

 private:
  struct OpenHandle {
    host::OpenFile file;
    std::filesystem::path path;
    DWORD access = 0;
    DWORD share = 0;
  };
  struct Search {
    std::vector<FindDataA> entries;
    std::size_t next = 0;
  };

  std::optional<std::filesystem::path> Resolve(const char* fileName, DWORD* error) const;
  SystemHold HoldOf(const std::filesystem::path& host) const;
  std::optional<std::uint64_t> ReportedSize(const std::filesystem::path& host) const;
  bool FillEntry(const std::filesystem::path& path, const std::string& name, FindDataA* entry) const;
  std::vector<FindDataA> PatternEntries(const std::filesystem::path& folder, const std::string& pattern) const;

  FileTableHooks hooks_;
  mutable std::mutex mutex_;  // guards the two tables
  std::map<HANDLE, OpenHandle> files_;
  std::map<HANDLE, Search> searches_;
};

}  // namespace hv::offline
