// Volumes and files of the offline platform.
#include <algorithm>
#include <system_error>

#include "platform/offline/full_path.h"
#include "platform/offline/offline_platform.h"
#include "platform/offline/volumes.h"

namespace hv::offline {
namespace fs = std::filesystem;

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

// --- Files: the table's rules, with what this installation holds.

bool OfflinePlatform::IsLoadedHive(const fs::path& host) const {
  for (std::size_t i = 0; i < hivelist_.size(); ++i) {
    auto file = HiveFileOf(i);
    std::error_code ec;
    if (file && fs::equivalent(*file, host, ec)) return true;
  }
  return false;
}

FileTableHooks OfflinePlatform::FileHooks() {
  FileTableHooks hooks;
  hooks.resolve = [this](std::string_view path) { return ResolveFile(path); };
  // Held by the kernel: pending replacements entirely, loaded hives for
  // anything but a shared read.
  hooks.hold = [this](const fs::path& host) {
    if (journal_.Holds(host)) return SystemHold::kInUse;
    return IsLoadedHive(host) ? SystemHold::kLoadedHive : SystemHold::kNone;
  };
  // A copy being made: the size it has reached so far (it gets its name
  // only once verified).
  hooks.reportedSize = [this](const fs::path& host) -> std::optional<std::uint64_t> {
    std::error_code ec;
    if (fs::exists(host, ec)) return std::nullopt;
    const auto reached = SaveUnderWay(host);
    if (!reached) return std::nullopt;
    return static_cast<std::uint64_t>(*reached);
  };
  hooks.driveRoot = [this](const fs::path& folder) {
    return std::any_of(drives_.drives().begin(), drives_.drives().end(),
                       [&](const DriveSpec& d) { return SameFolder(d.folder, folder); });
  };
  hooks.newHandle = [this] { return NewHandle(); };
  return hooks;
}

DWORD OfflinePlatform::GetFileAttributesA(const char* fileName) {
  DWORD error = err::kSuccess;
  const DWORD attributes = files_.GetFileAttributesA(fileName, &error);
  if (attributes == file::kInvalidFileAttributes) SetLastError(error);
  return attributes;
}

BOOL OfflinePlatform::DeleteFileA(const char* fileName) {
  DWORD error = err::kSuccess;
  const BOOL ok = files_.DeleteFileA(fileName, &error);
  if (!ok) SetLastError(error);
  return ok;
}

BOOL OfflinePlatform::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
  DWORD error = err::kSuccess;
  const BOOL ok = files_.MoveFileExA(existing, newName, flags, &error);
  if (!ok) SetLastError(error);
  return ok;
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
  DWORD error = err::kSuccess;
  HANDLE find = files_.FindFirstFileA(fileName, data, &error);
  if (find == InvalidHandleValue()) SetLastError(error);
  return find;
}

BOOL OfflinePlatform::FindNextFileA(HANDLE handle, FindDataA* data) {
  DWORD error = err::kSuccess;
  const BOOL ok = files_.FindNextFileA(handle, data, &error);
  if (!ok) SetLastError(error);
  return ok;
}

BOOL OfflinePlatform::FindClose(HANDLE handle) {
  DWORD error = err::kSuccess;
  const BOOL ok = files_.FindClose(handle, &error);
  if (!ok) SetLastError(error);
  return ok;
}

HANDLE OfflinePlatform::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                    DWORD creationDisposition, DWORD /*flagsAndAttributes*/) {
  DWORD error = err::kSuccess;
  HANDLE file = files_.CreateFileA(fileName, desiredAccess, shareMode, creationDisposition, &error);
  SetLastError(error);
  return file;
}

BOOL OfflinePlatform::WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written) {
  DWORD error = err::kSuccess;
  const BOOL ok = files_.WriteFile(handle, data, size, written, &error);
  if (!ok) SetLastError(error);
  return ok;
}

}  // namespace hv::offline
