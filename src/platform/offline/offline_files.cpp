// Volumes and files of the offline platform.
#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <system_error>

#include "platform/offline/full_path.h"
#include "platform/offline/offline_platform.h"
#include "regf/text_case.h"
#include "platform/offline/volumes.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kNoMoreFiles = 18;  // ERROR_NO_MORE_FILES
constexpr DWORD kFileShareRead = 1;
constexpr DWORD kFileShareWrite = 2;
constexpr DWORD kFileShareDelete = 4;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kReadData = 0x0001;
constexpr DWORD kWriteData = 0x0002;
constexpr DWORD kAppendData = 0x0004;

bool WantsRead(DWORD access) { return (access & (access::kGenericRead | kGenericAll | kReadData)) != 0; }
bool WantsWrite(DWORD access) {
  return (access & (access::kGenericWrite | kGenericAll | kWriteData | kAppendData)) != 0;
}

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

bool FillFindData(const fs::path& path, const std::string& name, FindDataA* data) {
  if (name.size() >= sizeof data->cFileName) return false;
  std::error_code ec;
  *data = FindDataA{};
  const bool directory = fs::is_directory(path, ec);
  data->dwFileAttributes = directory ? file::kAttributeDirectory : file::kAttributeNormal;
  if (!directory) {
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return false;
    data->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size) >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  }
  std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
  return true;
}

DWORD MissingError(const fs::path& host) {
  return Exists(host.parent_path()) ? err::kFileNotFound : err::kPathNotFound;
}

}  // namespace

// --- Volumes

namespace {

Volumes VolumesOf(const DriveMap& drives) {
  Volumes volumes;
  for (const DriveSpec& d : drives.drives()) volumes.AddDrive(d.letter, d.type, {d.device});
  return volumes;
}

}  // namespace

DWORD OfflinePlatform::GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
  return VolumesOf(drives_).LogicalDriveStrings(bufferLength, buffer);
}

UINT OfflinePlatform::GetDriveTypeA(const char* rootPathName) {
  return VolumesOf(drives_).DriveType(rootPathName);
}

DWORD OfflinePlatform::QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) {
  DWORD error = err::kSuccess;
  const DWORD stored = VolumesOf(drives_).QueryDosDevice(deviceName, targetPath, max, &error);
  if (stored == 0) SetLastError(error);
  return stored;
}

// --- Files

bool OfflinePlatform::IsLoadedHive(const fs::path& host) const {
  for (std::size_t i = 0; i < hivelist_.size(); ++i) {
    auto file = HiveFileOf(i);
    std::error_code ec;
    if (file && fs::equivalent(*file, host, ec)) return true;
  }
  return false;
}

bool OfflinePlatform::HeldOpen(const fs::path& host, DWORD access, DWORD share) const {
  std::lock_guard lock(mutex_);
  for (const auto& [value, object] : objects_) {
    const FileObject* open = std::get_if<FileObject>(&object);
    std::error_code ec;
    if (open == nullptr || !fs::equivalent(open->path, host, ec)) continue;
    // Each side must share what the other does.
    if ((WantsRead(access) && (open->share & kFileShareRead) == 0) ||
        (WantsWrite(access) && (open->share & kFileShareWrite) == 0) ||
        (WantsRead(open->access) && (share & kFileShareRead) == 0) ||
        (WantsWrite(open->access) && (share & kFileShareWrite) == 0) ||
        (access == 0 && share == 0 && (open->share & kFileShareDelete) == 0)) {
      return true;
    }
  }
  return false;
}

DWORD OfflinePlatform::GetFileAttributesA(const char* fileName) {
  auto host = fileName != nullptr ? drives_.Resolve(fileName) : std::nullopt;
  if (!host) {
    SetLastError(fileName == nullptr ? err::kInvalidParameter : err::kPathNotFound);
    return file::kInvalidFileAttributes;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(*host, ec);
  if (!fs::exists(status)) {
    if (SaveUnderWay(*host)) return file::kAttributeNormal;
    SetLastError(MissingError(*host));
    return file::kInvalidFileAttributes;
  }
  return fs::is_directory(status) ? file::kAttributeDirectory : file::kAttributeNormal;
}

BOOL OfflinePlatform::DeleteFileA(const char* fileName) {
  auto host = fileName != nullptr ? drives_.Resolve(fileName) : std::nullopt;
  if (!host) {
    SetLastError(fileName == nullptr ? err::kInvalidParameter : err::kPathNotFound);
    return 0;
  }
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(*host, ec);
  if (!fs::exists(status)) {
    SetLastError(MissingError(*host));
    return 0;
  }
  if (fs::is_directory(status)) {
    SetLastError(err::kAccessDenied);
    return 0;
  }
  if (HeldBySystem(*host)) {
    SetLastError(err::kSharingViolation);
    return 0;
  }
  fs::remove(*host, ec);
  if (ec) {
    SetLastError(host::ErrorFromCode(ec));
    return 0;
  }
  return 1;
}

bool OfflinePlatform::HeldBySystem(const fs::path& host) const {
  return journal_.Holds(host) || IsLoadedHive(host) || HeldOpen(host, 0, 0) || !host::LockFree(host);
}

BOOL OfflinePlatform::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
  constexpr DWORD kTaken = file::kMoveFileReplaceExisting | file::kMoveFileWriteThrough;
  if (existing == nullptr || newName == nullptr || (flags & ~kTaken) != 0) {
    SetLastError(err::kInvalidParameter);
    return 0;
  }
  auto from = drives_.Resolve(existing);
  auto to = drives_.Resolve(newName);
  if (!from || !to) {
    SetLastError(err::kPathNotFound);
    return 0;
  }
  std::error_code ec;
  const fs::file_status source = fs::symlink_status(*from, ec);
  if (!fs::exists(source)) {
    SetLastError(MissingError(*from));
    return 0;
  }
  const fs::path sourceFolder = from->has_parent_path() ? from->parent_path() : fs::path(".");
  const fs::path targetFolder = to->has_parent_path() ? to->parent_path() : fs::path(".");
  if (!fs::is_directory(targetFolder, ec)) {
    SetLastError(err::kPathNotFound);
    return 0;
  }
  // Both names resolve to one: the name it has already.
  if (from->lexically_normal() == to->lexically_normal()) return 1;
  if (fs::is_directory(source)) {
    SetLastError(err::kAccessDenied);
    return 0;
  }
  if (HeldBySystem(*from)) {
    SetLastError(err::kSharingViolation);
    return 0;
  }
  const fs::file_status target = fs::symlink_status(*to, ec);
  if (fs::exists(target)) {
    if ((flags & file::kMoveFileReplaceExisting) == 0) {
      SetLastError(err::kAlreadyExists);
      return 0;
    }
    if (fs::is_directory(target)) {
      SetLastError(err::kAccessDenied);
      return 0;
    }
    if (HeldBySystem(*to)) {
      SetLastError(err::kSharingViolation);
      return 0;
    }
  }
  // Two drives are two volumes, wherever the host keeps their folders.
  const bool otherDrive = DriveMap::IsDrivePath(existing) && DriveMap::IsDrivePath(newName) &&
                          AsciiUpper(existing[0]) != AsciiUpper(newName[0]);
  if (otherDrive || host::DeviceOf(sourceFolder) != host::DeviceOf(targetFolder)) {
    SetLastError(err::kNotSameDevice);
    return 0;
  }
  if (const DWORD error = host::Rename(*from, *to); error != err::kSuccess) {
    SetLastError(error);
    return 0;
  }
  // rename(2) onto another name of the same file leaves both names.
  if (fs::exists(fs::symlink_status(*from, ec)) && fs::equivalent(*from, *to, ec)) fs::remove(*from, ec);
  host::SyncFolder(targetFolder);
  if (sourceFolder != targetFolder) host::SyncFolder(sourceFolder);
  return 1;
}

DWORD OfflinePlatform::GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer,
                                        char** filePart) {
  if (fileName == nullptr || *fileName == '\0') {
    SetLastError(err::kInvalidParameter);
    return 0;
  }
  std::string full;
  std::string_view name(fileName);
  if (DriveMap::IsDrivePath(name)) {
    full = FullDrivePath(name);
  } else {
    std::error_code ec;
    std::string host(name);
#ifndef _WIN32
    std::replace(host.begin(), host.end(), '\\', '/');
#endif
    full = fs::absolute(fs::path(host), ec).lexically_normal().string();
  }
  return StoreFullPath(full, bufferLength, buffer, filePart);
}

HANDLE OfflinePlatform::FindFirstFileA(const char* fileName, FindDataA* data) {
  if (fileName == nullptr || data == nullptr || *fileName == '\0') {
    SetLastError(err::kInvalidParameter);
    return InvalidHandleValue();
  }
  std::string_view name(fileName);
  std::size_t cut = name.find_last_of("\\/");
  if (cut == std::string_view::npos && DriveMap::IsDrivePath(name)) cut = 1;
  std::string folderPart = cut == std::string_view::npos ? std::string(".") : std::string(name.substr(0, cut + 1));
  std::string pattern(cut == std::string_view::npos ? name : name.substr(cut + 1));
  if (pattern.empty()) {
    SetLastError(err::kFileNotFound);
    return InvalidHandleValue();
  }
  auto folder = drives_.Resolve(folderPart);
  std::error_code ec;
  if (!folder || !fs::is_directory(*folder, ec)) {
    SetLastError(err::kPathNotFound);
    return InvalidHandleValue();
  }
  if (pattern == "*.*") pattern = "*";  // matches names without a dot too, as on Windows

  FindObject find;
  if (pattern.find_first_of("*?") == std::string::npos) {
    // The name as stored, whatever case the caller used (a case-insensitive
    // host would otherwise echo the caller's spelling).
    const fs::path found = WalkCaseInsensitive(*folder, {pattern});
    std::string stored = found.filename().string();
    for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string candidate = it->path().filename().string();
      if (candidate == pattern) {
        stored = candidate;
        break;
      }
      if (NamesEqual(candidate, pattern)) stored = candidate;
    }
    FindDataA entry;
    if (Exists(found) && FillFindData(found, stored, &entry)) {
      find.entries.push_back(entry);
    } else if (const auto reached = SaveUnderWay(*folder / pattern)) {
      // A copy being made: the size it has reached so far.
      entry = FindDataA{};
      entry.dwFileAttributes = file::kAttributeNormal;
      entry.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(*reached) >> 32);
      entry.nFileSizeLow = static_cast<DWORD>(static_cast<std::uint64_t>(*reached) & 0xFFFFFFFFu);
      std::snprintf(entry.cFileName, sizeof entry.cFileName, "%s", pattern.c_str());
      find.entries.push_back(entry);
    }
  } else {
    std::vector<std::string> names;
    const bool driveRoot = std::any_of(drives_.drives().begin(), drives_.drives().end(), [&](const DriveSpec& d) {
      return fs::equivalent(d.folder, *folder, ec);
    });
    if (!driveRoot) names = {".", ".."};
    for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
      names.push_back(it->path().filename().string());
    }
    std::sort(names.begin() + (driveRoot ? 0 : 2), names.end(), [](const std::string& a, const std::string& b) {
      return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                          [](char x, char y) { return AsciiUpper(x) < AsciiUpper(y); });
    });
    for (const std::string& entryName : names) {
      FindDataA entry;
      if (WildcardMatch(pattern, entryName) && FillFindData(*folder / entryName, entryName, &entry)) {
        find.entries.push_back(entry);
      }
    }
  }
  if (find.entries.empty()) {
    SetLastError(err::kFileNotFound);
    return InvalidHandleValue();
  }
  *data = find.entries[0];
  find.next = 1;
  return AddObject(std::move(find));
}

BOOL OfflinePlatform::FindNextFileA(HANDLE handle, FindDataA* data) {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
  FindObject* find = it == objects_.end() ? nullptr : std::get_if<FindObject>(&it->second);
  if (find == nullptr || data == nullptr) {
    SetLastError(find == nullptr ? err::kInvalidHandle : err::kInvalidParameter);
    return 0;
  }
  if (find->next >= find->entries.size()) {
    SetLastError(kNoMoreFiles);
    return 0;
  }
  *data = find->entries[find->next++];
  return 1;
}

BOOL OfflinePlatform::FindClose(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == objects_.end() || !std::holds_alternative<FindObject>(it->second)) {
    SetLastError(err::kInvalidHandle);
    return 0;
  }
  objects_.erase(it);
  return 1;
}

HANDLE OfflinePlatform::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                    DWORD creationDisposition, DWORD /*flagsAndAttributes*/) {
  using Disposition = host::OpenFile::Disposition;
  auto host = fileName != nullptr ? drives_.Resolve(fileName) : std::nullopt;
  if (!host) {
    SetLastError(fileName == nullptr ? err::kInvalidParameter : err::kPathNotFound);
    return InvalidHandleValue();
  }
  Disposition disposition;
  switch (creationDisposition) {
    case file::kCreateNew: disposition = Disposition::kCreateNew; break;
    case file::kCreateAlways: disposition = Disposition::kCreateAlways; break;
    case file::kOpenExisting: disposition = Disposition::kOpenExisting; break;
    case 4: disposition = Disposition::kOpenAlways; break;
    case 5: disposition = Disposition::kTruncateExisting; break;
    default:
      SetLastError(err::kInvalidParameter);
      return InvalidHandleValue();
  }
  const bool read = WantsRead(desiredAccess);
  const bool write = WantsWrite(desiredAccess);
  const bool existedBefore = Exists(*host);
  if (existedBefore && creationDisposition == file::kCreateNew) {
    SetLastError(err::kFileExists);  // the name collision comes before any sharing check
    return InvalidHandleValue();
  }
  if (existedBefore) {
    // Held by the kernel: pending replacements entirely, loaded hives for
    // anything but a shared read.
    if (journal_.Holds(*host) ||
        (IsLoadedHive(*host) && (write || (shareMode & (kFileShareRead | kFileShareWrite)) !=
                                              (kFileShareRead | kFileShareWrite))) ||
        HeldOpen(*host, desiredAccess, shareMode)) {
      SetLastError(err::kSharingViolation);
      return InvalidHandleValue();
    }
  }
  DWORD error = err::kSuccess;
  auto opened = host::OpenFile::Open(*host, read, write, disposition, &error);
  if (!opened) {
    SetLastError(error);
    return InvalidHandleValue();
  }
  // Other processes see this open through an advisory lock: exclusive when
  // nothing is shared.
  if ((read || write) && !opened->TryLock((shareMode & (kFileShareRead | kFileShareWrite)) == 0)) {
    SetLastError(err::kSharingViolation);
    return InvalidHandleValue();
  }
  std::error_code ec;
  HANDLE handle = AddObject(FileObject{std::move(*opened), fs::absolute(*host, ec), desiredAccess, shareMode});
  // CREATE_ALWAYS and OPEN_ALWAYS report whether the file was there before.
  const bool always = creationDisposition == 4 || creationDisposition == file::kCreateAlways;
  SetLastError(always && existedBefore ? err::kAlreadyExists : err::kSuccess);
  return handle;
}

BOOL OfflinePlatform::WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written) {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
  FileObject* open = it == objects_.end() ? nullptr : std::get_if<FileObject>(&it->second);
  if (written != nullptr) *written = 0;
  if (open == nullptr) {
    SetLastError(err::kInvalidHandle);
    return 0;
  }
  if (!WantsWrite(open->access)) {
    SetLastError(err::kAccessDenied);
    return 0;
  }
  if (data == nullptr && size > 0) {
    SetLastError(err::kInvalidParameter);
    return 0;
  }
  std::size_t done = 0;
  const DWORD error = open->file.Write(data, size, &done);
  if (written != nullptr) *written = static_cast<DWORD>(done);
  if (error != err::kSuccess) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

}  // namespace hv::offline
