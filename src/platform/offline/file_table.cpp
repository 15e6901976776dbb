#include "platform/offline/file_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/offline/drive_map.h"
#include "platform/offline/held_path.h"
#include "regf/text_case.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kNoMoreFiles = 18;  // ERROR_NO_MORE_FILES
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kFileShareRead = 1;
constexpr DWORD kFileShareWrite = 2;
constexpr DWORD kFileShareDelete = 4;
constexpr DWORD kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kReadData = 0x0001;
constexpr DWORD kWriteData = 0x0002;
constexpr DWORD kAppendData = 0x0004;
constexpr DWORD kDelete = 0x00010000u;

bool WantsRead(DWORD access) { return (access & (access::kGenericRead | kGenericAll | kReadData)) != 0; }
bool WantsWrite(DWORD access) {
  return (access & (access::kGenericWrite | kGenericAll | kWriteData | kAppendData)) != 0;
}
bool WantsDelete(DWORD access) { return (access & (kDelete | kGenericAll)) != 0; }

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

// Windows' matching of one name against a pattern with * and ?, ignoring case.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void SetSize(std::uint64_t size, FindDataA* entry) {
  entry->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  entry->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
}

}  // namespace

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const auto normal = [](const fs::path& p) {
    std::error_code e;
    fs::path n = fs::absolute(p, e).lexically_normal();
    if (!n.has_filename() && n.has_relative_path()) n = n.parent_path();  // "dir/" is "dir"
    return n;
  };
  return normal(a) == normal(b);
}

FileTable::FileTable(FileTableHooks hooks) : hooks_(std::move(hooks)) {}
FileTable::~FileTable() = default;

DWORD FileTable::MissingError(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(host.parent_path(), ec) ? err::kFileNotFound : err::kPathNotFound;
}

bool FileTable::Busy(const fs::path& host) const {
  return HoldOf(host) != SystemHold::kNone || Conflicts(host, kDelete, kShareAll) || !host::LockFree(host);
}

std::optional<fs::path> FileTable::Resolve(const char* fileName, DWORD* error) const {
  auto host = fileName != nullptr ? hooks_.resolve(fileName) : std::nullopt;
  if (!host) *error = fileName == nullptr ? err::kInvalidParameter : err::kPathNotFound;
  return host;
}

SystemHold FileTable::HoldOf(const fs::path& host) const {
  return hooks_.hold ? hooks_.hold(host) : SystemHold::kNone;
}

std::optional<std::uint64_t> FileTable::ReportedSize(const fs::path& host) const {
  return hooks_.reportedSize ? hooks_.reportedSize(host) : std::nullopt;
}

bool FileTable::Conflicts(const fs::path& host, DWORD access, DWORD share) const {
  // Sharing is about data: an open without it is neither checked nor counted.
  const auto data = [](DWORD a) { return WantsRead(a) || WantsWrite(a) || WantsDelete(a); };
  if (!data(access)) return false;
  std::lock_guard lock(mutex_);
  for (const auto& [handle, open] : files_) {
    std::error_code ec;
    if (!data(open.access) || !fs::equivalent(open.path, host, ec)) continue;
    // Each side must share what the other has.
    if ((WantsRead(access) && (open.share & kFileShareRead) == 0) ||
        (WantsWrite(access) && (open.share & kFileShareWrite) == 0) ||
        (WantsDelete(access) && (open.share & kFileShareDelete) == 0) ||
        (WantsRead(open.access) && (share & kFileShareRead) == 0) ||
        (WantsWrite(open.access) && (share & kFileShareWrite) == 0) ||
        (WantsDelete(open.access) && (share & kFileShareDelete) == 0)) {
      return true;
    }
  }
  return false;
}

DWORD FileTable::GetFileAttributesA(const char* fileName, DWORD* error) const {
  *error = err::kSuccess;
  auto host = Resolve(fileName, error);
  if (!host) return file::kInvalidFileAttributes;
  std::error_code ec;
  // A link in the file's place answers for itself; what it names is not looked at.
  const HeldPath held(*host);
  const fs::file_status status =
      held.error() != 0 ? fs::file_status(fs::file_type::not_found)
                        : (held.held() ? fs::symlink_status(held.path(), ec) : fs::status(held.path(), ec));
  if (!fs::exists(status)) {
    if (ReportedSize(*host)) return file::kAttributeNormal;
    *error = MissingError(*host);
    return file::kInvalidFileAttributes;
  }
  return fs::is_directory(status) ? file::kAttributeDirectory : file::kAttributeNormal;
}

BOOL FileTable::DeleteFileA(const char* fileName, DWORD* error) {
  *error = err::kSuccess;
  auto host = Resolve(fileName, error);
  if (!host) return 0;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(*host, ec);
  if (!fs::exists(status)) {
    *error = MissingError(*host);
    return 0;
  }
  if (fs::is_directory(status)) {
    *error = err::kAccessDenied;
    return 0;
  }
  if (Busy(*host)) {
    *error = err::kSharingViolation;
    return 0;
  }
  if (const DWORD removed = host::Remove(*host); removed != err::kSuccess) {
    *error = removed;
    return 0;
  }
  return 1;
}

BOOL FileTable::MoveFileExA(const char* existing, const char* newName, DWORD flags, DWORD* error) {
  constexpr DWORD kTaken = file::kMoveFileReplaceExisting | file::kMoveFileWriteThrough;
  *error = err::kSuccess;
  if (existing == nullptr || newName == nullptr || (flags & ~kTaken) != 0) {
    *error = err::kInvalidParameter;
    return 0;
  }
  auto from = hooks_.resolve(existing);
  auto to = hooks_.resolve(newName);
  if (!from || !to) {
    *error = err::kPathNotFound;
    return 0;
  }
  std::error_code ec;
  const fs::file_status source = fs::symlink_status(*from, ec);
  if (!fs::exists(source)) {
    *error = MissingError(*from);
    return 0;
  }
  const fs::path sourceFolder = from->has_parent_path() ? from->parent_path() : fs::path(".");
  const fs::path targetFolder = to->has_parent_path() ? to->parent_path() : fs::path(".");
  if (!fs::is_directory(targetFolder, ec)) {
    *error = err::kPathNotFound;
    return 0;
  }
  // Both names resolve to one: the name it has already.
  if (from->lexically_normal() == to->lexically_normal()) return 1;
  if (fs::is_directory(source)) {
    *error = err::kAccessDenied;
    return 0;
  }
  if (Busy(*from)) {
    *error = err::kSharingViolation;
    return 0;
  }
  const fs::file_status target = fs::symlink_status(*to, ec);
  if (fs::exists(target)) {
    if ((flags & file::kMoveFileReplaceExisting) == 0) {
      *error = err::kAlreadyExists;
      return 0;
    }
    if (fs::is_directory(target)) {
      *error = err::kAccessDenied;
      return 0;
    }
    if (Busy(*to)) {
      *error = err::kSharingViolation;
      return 0;
    }
  }
  // Two drives are two volumes, wherever the host keeps their folders.
  const bool otherDrive = DriveMap::IsDrivePath(existing) && DriveMap::IsDrivePath(newName) &&
                          AsciiUpper(existing[0]) != AsciiUpper(newName[0]);
  if (otherDrive || host::DeviceOf(sourceFolder) != host::DeviceOf(targetFolder)) {
    *error = err::kNotSameDevice;
    return 0;
  }
  if (const DWORD renamed = host::Rename(*from, *to); renamed != err::kSuccess) {
    *error = renamed;
    return 0;
  }
  // rename(2) onto another name of the same file leaves both names.
  if (fs::exists(fs::symlink_status(*from, ec)) && fs::equivalent(*from, *to, ec)) host::Remove(*from);
  host::SyncFolder(targetFolder);
  if (sourceFolder != targetFolder) host::SyncFolder(sourceFolder);
  return 1;
}

HANDLE FileTable::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                              DWORD creationDisposition, DWORD* error) {
  using Disposition = host::OpenFile::Disposition;
  *error = err::kSuccess;
  auto host = Resolve(fileName, error);
  if (!host) return InvalidHandleValue();
  Disposition disposition;
  switch (creationDisposition) {
    case file::kCreateNew: disposition = Disposition::kCreateNew; break;
    case file::kCreateAlways: disposition = Disposition::kCreateAlways; break;
    case file::kOpenExisting: disposition = Disposition::kOpenExisting; break;
    case kOpenAlways: disposition = Disposition::kOpenAlways; break;
    case kTruncateExisting: disposition = Disposition::kTruncateExisting; break;
    default:
      *error = err::kInvalidParameter;
      return InvalidHandleValue();
  }
  const bool read = WantsRead(desiredAccess);
  const bool write = WantsWrite(desiredAccess);
  const bool existedBefore = Exists(*host);
  if (existedBefore && creationDisposition == file::kCreateNew) {
    *error = err::kFileExists;  // the name collision comes before any sharing check
    return InvalidHandleValue();
  }
  if (existedBefore) {
    const SystemHold hold = HoldOf(*host);
    const bool sharesAll = (shareMode & (kFileShareRead | kFileShareWrite)) == (kFileShareRead | kFileShareWrite);
    if (hold == SystemHold::kInUse || (hold == SystemHold::kLoadedHive && (write || !sharesAll)) ||
        Conflicts(*host, desiredAccess, shareMode)) {
      *error = err::kSharingViolation;
      return InvalidHandleValue();
    }
  }
  auto opened = host::OpenFile::Open(*host, read, write, disposition, error);
  if (!opened) return InvalidHandleValue();
  // Other processes see this open through an advisory lock: exclusive when
  // nothing is shared.
  if ((read || write) && !opened->TryLock((shareMode & (kFileShareRead | kFileShareWrite)) == 0)) {
    *error = err::kSharingViolation;
    return InvalidHandleValue();
  }
  std::error_code ec;
  OpenHandle open{std::move(*opened), fs::absolute(*host, ec), desiredAccess, shareMode};
  const bool always = creationDisposition == kOpenAlways || creationDisposition == file::kCreateAlways;
  *error = always && existedBefore ? err::kAlreadyExists : err::kSuccess;
  std::lock_guard lock(mutex_);
  HANDLE handle = hooks_.newHandle();
  files_.emplace(handle, std::move(open));
  return handle;
}

BOOL FileTable::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, DWORD* error) {
  *error = err::kSuccess;
  if (written != nullptr) *written = 0;
  std::lock_guard lock(mutex_);
  auto it = files_.find(file);
  if (it == files_.end()) {
    *error = err::kInvalidHandle;
    return 0;
  }
  if (!WantsWrite(it->second.access)) {
    *error = err::kAccessDenied;
    return 0;
  }
  if (data == nullptr && size > 0) {
    *error = err::kInvalidParameter;
    return 0;
  }
  std::size_t done = 0;
  *error = it->second.file.Write(data, size, &done);
  if (written != nullptr) *written = static_cast<DWORD>(done);
  return *error == err::kSuccess ? 1 : 0;
}

bool FileTable::CloseFile(HANDLE handle) {
  std::lock_guard lock(mutex_);
  return files_.erase(handle) != 0;
}

bool FileTable::FillEntry(const fs::path& path, const std::string& name, FindDataA* entry) const {
  if (name.size() >= sizeof entry->cFileName) return false;
  *entry = FindDataA{};
  std::error_code ec;
  const bool directory = fs::is_directory(path, ec);
  entry->dwFileAttributes = directory ? file::kAttributeDirectory : file::kAttributeNormal;
  if (!directory) {
    std::optional<std::uint64_t> size = ReportedSize(path);
    if (!size) {
      const std::uintmax_t real = fs::file_size(path, ec);
      if (ec) return false;
      size = real;
    }
    SetSize(*size, entry);
  }
  std::memcpy(entry->cFileName, name.c_str(), name.size() + 1);
  return true;
}

std::vector<FindDataA> FileTable::PatternEntries(const fs::path& folder, const std::string& pattern) const {
  std::error_code ec;
  const bool driveRoot = hooks_.driveRoot && hooks_.driveRoot(folder);
  std::vector<std::string> names;
  if (!driveRoot) names = {".", ".."};
  const HeldPath listed = HeldPath::Folder(folder);
  for (fs::directory_iterator it(listed.path(), ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin() + (driveRoot ? 0 : 2), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return AsciiUpper(x) < AsciiUpper(y); });
  });
  // "*.*" matches names without a dot too.
  const std::string_view matched = pattern == "*.*" ? std::string_view("*") : std::string_view(pattern);
  std::vector<FindDataA> entries;
  for (const std::string& name : names) {
    FindDataA entry;
    if (WildcardMatch(matched, name) && FillEntry(folder / name, name, &entry)) entries.push_back(entry);
  }
  return entries;
}

HANDLE FileTable::FindFirstFileA(const char* fileName, FindDataA* data, DWORD* error) {
  *error = err::kSuccess;
  if (fileName == nullptr || *fileName == '\0') {
    *error = err::kInvalidParameter;
    return InvalidHandleValue();
  }
  std::string_view name(fileName);
  std::size_t cut = name.find_last_of("\\/");
  if (cut == std::string_view::npos && DriveMap::IsDrivePath(name)) cut = 1;
  const std::string folderPart = cut == std::string_view::npos ? std::string(".") : std::string(name.substr(0, cut + 1));
  const std::string pattern(cut == std::string_view::npos ? name : name.substr(cut + 1));
  if (pattern.empty()) {
    *error = err::kFileNotFound;
    return InvalidHandleValue();
  }
  auto folder = hooks_.resolve(folderPart);
  std::error_code ec;
  if (!folder || !fs::is_directory(*folder, ec)) {
    *error = err::kPathNotFound;
    return InvalidHandleValue();
  }

  Search search;
  if (pattern.find_first_of("*?") != std::string::npos) {
    search.entries = PatternEntries(*folder, pattern);
  } else {
    // The name as stored, whatever case the caller used (a case-insensitive
    // host would otherwise echo the caller's spelling).
    fs::path found = WalkCaseInsensitive(*folder, {pattern});
    std::string stored = found.filename().string();
    // A file the platform keeps elsewhere under this name (a copy in a work folder).
    const auto whole = hooks_.resolve(name);
    const bool elsewhere = whole && !SameFolder(whole->parent_path(), *folder);
    if (elsewhere) {
      found = *whole;
      stored = pattern;
    }
    const HeldPath listed = HeldPath::Folder(*folder);
    for (fs::directory_iterator it(listed.path(), ec), end; !elsewhere && !ec && it != end; it.increment(ec)) {
      const std::string candidate = it->path().filename().string();
      if (candidate == pattern) {
        stored = candidate;
        break;
      }
      if (NamesEqual(candidate, pattern)) stored = candidate;
    }
    FindDataA entry;
    if (Exists(found)) {
      if (FillEntry(found, stored, &entry)) search.entries.push_back(entry);
    } else if (const auto reported = ReportedSize(found)) {
      entry = FindDataA{};
      entry.dwFileAttributes = file::kAttributeNormal;
      SetSize(*reported, &entry);
      std::snprintf(entry.cFileName, sizeof entry.cFileName, "%s", stored.c_str());
      search.entries.push_back(entry);
    }
  }
  if (search.entries.empty()) {
    *error = err::kFileNotFound;
    return InvalidHandleValue();
  }
  if (data != nullptr) *data = search.entries[0];
  search.next = 1;
  std::lock_guard lock(mutex_);
  HANDLE handle = hooks_.newHandle();
  searches_.emplace(handle, std::move(search));
  return handle;
}

BOOL FileTable::FindNextFileA(HANDLE find, FindDataA* data, DWORD* error) {
  *error = err::kSuccess;
  std::lock_guard lock(mutex_);
  auto it = searches_.find(find);
  if (it == searches_.end()) {
    *error = err::kInvalidHandle;
    return 0;
  }
  if (it->second.next >= it->second.entries.size()) {
    *error = kNoMoreFiles;
    return 0;
  }
  const FindDataA& entry = it->second.entries[it->second.next++];
  if (data != nullptr) *data = entry;
  return 1;
}

BOOL FileTable::FindClose(HANDLE find, DWORD* error) {
  *error = err::kSuccess;
  std::lock_guard lock(mutex_);
  if (searches_.erase(find) == 0) {
    *error = err::kInvalidHandle;
    return 0;
  }
  return 1;
}

}  // namespace hv::offline
