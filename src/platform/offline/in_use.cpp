#include "platform/offline/in_use.h"

#include <system_error>

#ifdef _WIN32
#include "platform/win32/win.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#endif

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

std::string InUse(long pid) {
  return pid > 0 ? "in use by another program (PID " + std::to_string(pid) + ")" : "in use by another program";
}

#ifndef _WIN32

// A process that has the file (device and inode) open for writing; 0 when
// none is seen, -1 when it cannot be looked for (not root).
long WriterOf(const struct stat& file) {
  if (::geteuid() != 0) return -1;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return -1;
  const long self = static_cast<long>(::getpid());
  long found = 0;
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    const std::string base = "/proc/" + std::string(entry->d_name);
    DIR* fds = ::opendir((base + "/fd").c_str());
    if (fds == nullptr) continue;  // gone since, or a kernel thread
    while (dirent* fd = ::readdir(fds)) {
      if (fd->d_name[0] == '.') continue;
      struct stat target {};
      if (::stat((base + "/fd/" + fd->d_name).c_str(), &target) != 0) continue;
      if (target.st_dev != file.st_dev || target.st_ino != file.st_ino) continue;
      std::ifstream info(base + "/fdinfo/" + fd->d_name);
      std::string line;
      while (std::getline(info, line)) {
        if (line.rfind("flags:", 0) != 0) continue;
        const unsigned long flags = std::strtoul(line.c_str() + 6, nullptr, 8);
        if ((flags & O_ACCMODE) != O_RDONLY) found = pid;
      }
      if (found != 0) break;
    }
    ::closedir(fds);
    if (found != 0) break;
  }
  ::closedir(proc);
  return found;
}

#endif

}  // namespace

std::optional<std::string> HeldByAnotherProgram(const fs::path& file) {
#ifdef _WIN32
  const ::HANDLE h = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? std::optional<std::string>(InUse(0)) : std::nullopt;
  }
  ::CloseHandle(h);
  return std::nullopt;
#else
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> held;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
#ifdef F_OFD_GETLK
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) held = InUse(probe.l_pid);
#endif
  if (!held) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
      ::flock(fd, LOCK_UN);
    } else if (errno == EWOULDBLOCK) {
      held = InUse(0);
    }
  }
  ::close(fd);
  if (!held) {
    if (const long writer = WriterOf(st); writer > 0) held = InUse(writer);
  }
  return held;
#endif
}

}  // namespace hv::offline
