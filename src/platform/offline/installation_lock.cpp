#include "platform/offline/installation_lock.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <system_error>

#ifdef _WIN32
#include <io.h>

#include "platform/win32/win.h"
#else
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/offline/held_path.h"
#include "platform/offline/host_io.h"
#include "platform/offline/installation_state.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

// The byte of the lock file that the owner locks besides (Linux) or instead
// of (Windows) the whole-file flock: far beyond the end, so the file's text
// stays readable under Windows' mandatory byte-range locks.
constexpr long long kWindowsLockOffset = 1LL << 62;

// The locks this process holds, by lock file: flock conflicts between two
// opens of one file even inside a process, and this process is one owner.
std::mutex& HeldMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, std::weak_ptr<InstallationLock>>& Held() {
  static std::map<std::string, std::weak_ptr<InstallationLock>> held;
  return held;
}

#ifdef _WIN32
int OpenLockFile(const fs::path& file) { return ::_wopen(file.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, 0666); }
// An existing lock file opened for reading only, or -1 when there is none
// or what stands there is no plain file.
int OpenLockFileForReading(const fs::path& file) {
  const ::DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return -1;
  }
  const int fd = ::_wopen(file.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd >= 0 && ::GetFileType(reinterpret_cast<::HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    ::_close(fd);
    return -1;
  }
  return fd;
}
// The lock goes with the handle, so a killed owner releases it. A handle
// open for reading takes the exclusive lock all the same.
bool LockExclusive(int fd, bool /*readOnly*/ = false) {
  const intptr_t os = ::_get_osfhandle(fd);
  if (os == -1) return true;
  const auto handle = reinterpret_cast<::HANDLE>(os);
  ::OVERLAPPED where{};
  where.Offset = static_cast<::DWORD>(kWindowsLockOffset & 0xFFFFFFFFu);
  where.OffsetHigh = static_cast<::DWORD>(kWindowsLockOffset >> 32);
  if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) return true;
  // As with flock: a file system without locks cannot exclude anyone.
  const ::DWORD error = ::GetLastError();
  return error != ERROR_LOCK_VIOLATION && error != ERROR_SHARING_VIOLATION && error != ERROR_IO_PENDING;
}
void CloseLockFile(int fd) { ::_close(fd); }
long long WriteLockFile(int fd, const std::string& text) {
  ::_chsize(fd, 0);
  return ::_write(fd, text.data(), static_cast<unsigned>(text.size()));
}
long PidOfProcess() { return static_cast<long>(::GetCurrentProcessId()); }
#else
int OpenLockFile(const fs::path& file) { return ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600); }
// The byte the Windows program locks with LockFileEx. Wine keeps such a lock
// as a POSIX record lock on the file as well, which flock does not see but an
// open-file-description lock on the same byte does.
bool LockWindowsByte(int fd, bool readOnly) {
#ifdef F_OFD_SETLK
  struct flock byte {};
  // A descriptor open for reading takes a read lock, which conflicts with the Windows program's all the same.
  byte.l_type = readOnly ? F_RDLCK : F_WRLCK;
  byte.l_whence = SEEK_SET;
  byte.l_start = kWindowsLockOffset;
  byte.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLK, &byte) != 0) {
    if (errno == EINTR) continue;
    // Only a conflict refuses; a kernel or file system without these locks
    // leaves the flock alone to exclude.
    return errno != EAGAIN && errno != EACCES;
  }
#else
  (void)fd;
  (void)readOnly;
#endif
  return true;
}
// Not blocking: a FIFO in the lock file's place is no lock file.
int OpenLockFileForReading(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}
bool LockExclusive(int fd, bool readOnly = false) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    // A file system without locks (some network shares) cannot exclude anyone;
    // the owner is then only the first of this process.
    return errno != EWOULDBLOCK && errno != EAGAIN;
  }
  return LockWindowsByte(fd, readOnly);
}
void CloseLockFile(int fd) { ::close(fd); }
long long WriteLockFile(int fd, const std::string& text) {
  if (::ftruncate(fd, 0) != 0) return -1;
  return ::pwrite(fd, text.data(), text.size(), 0);
}
long PidOfProcess() { return static_cast<long>(::getpid()); }
#endif

}  // namespace

std::string InstallationIdentity(const DriveMap& drives) {
  const DriveSpec* c = drives.Drive('C');
  if (c == nullptr) return {};
  std::error_code ec;
  fs::path where = c->folder;
  if (auto windows = drives.ResolveNative("C:\\Windows"); windows && fs::is_directory(*windows, ec)) {
    where = windows->parent_path();
  }
  fs::path canonical = fs::canonical(where, ec);
  if (ec) canonical = fs::weakly_canonical(fs::absolute(where, ec), ec);
  return canonical.string();
}

InstallationLock::Result InstallationLock::Acquire(const fs::path& stateFolder, const std::string& identity,
                                                   std::shared_ptr<InstallationLock>* lock, DWORD* error) {
  std::error_code ec;
  const DWORD made = host::CreateFolders(stateFolder);
  const fs::path file = stateFolder / kLockFileName;
  std::lock_guard guard(HeldMutex());
  const std::string key = fs::weakly_canonical(file, ec).string();
  if (auto held = Held()[key].lock()) {
    *lock = std::move(held);
    return Result::kAcquired;
  }
  const HeldPath heldFile(file);
  if (heldFile.error() != 0) errno = heldFile.error();
  const int fd = heldFile.error() != 0 ? -1 : OpenLockFile(heldFile.path());
  if (fd < 0) {
    // A folder that could not be made says why better than the file missing from it.
    const int e = errno;
    *error = e == ENOENT && made != err::kSuccess ? made : host::ErrorFromErrno(e);
    return Result::kFailed;
  }
  if (!LockExclusive(fd)) {
    CloseLockFile(fd);
    return Result::kOwnedElsewhere;
  }
  const std::string text = std::to_string(PidOfProcess()) + " " + identity + "\n";
  (void)WriteLockFile(fd, text);
  std::shared_ptr<InstallationLock> taken(new InstallationLock(file, fd));
  Held()[key] = taken;
  *lock = std::move(taken);
  return Result::kAcquired;
}

InstallationLock::Result InstallationLock::AcquireReadOnly(const fs::path& installationFile, const fs::path& privateFile,
                                                           const std::string& identity,
                                                           std::shared_ptr<InstallationLock>* lock, DWORD* error) {
  std::lock_guard guard(HeldMutex());
  fs::path file = installationFile;
  int fd = OpenLockFileForReading(file);
  const bool own = fd >= 0;
  if (!own) {
    file = privateFile;
    fd = OpenLockFile(file);
    if (fd < 0) {
      *error = host::ErrorFromErrno(errno);
      return Result::kFailed;
    }
  }
  std::error_code ec;
  const std::string key = fs::weakly_canonical(file, ec).string();
  if (auto held = Held()[key].lock()) {
    CloseLockFile(fd);
    *lock = std::move(held);
    return Result::kAcquired;
  }
  if (!LockExclusive(fd, own)) {
    CloseLockFile(fd);
    return Result::kOwnedElsewhere;
  }
  if (!own) (void)WriteLockFile(fd, std::to_string(PidOfProcess()) + " " + identity + "\n");
  std::shared_ptr<InstallationLock> taken(new InstallationLock(file, fd));
  Held()[key] = taken;
  *lock = std::move(taken);
  return Result::kAcquired;
}

InstallationLock::~InstallationLock() {
  if (fd_ >= 0) CloseLockFile(fd_);
}

}  // namespace hv::offline
