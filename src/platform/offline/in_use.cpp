#include "platform/offline/in_use.h"

#include <system_error>
#include <utility>

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

// A process that has one of `files` (device and inode) open for writing,
// with the index of that file; nullopt when none is seen or it cannot be
// looked for (not root).
std::optional<std::pair<long, std::size_t>> WriterOf(const std::vector<struct stat>& files) {
  if (files.empty() || ::geteuid() != 0) return std::nullopt;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return std::nullopt;
  const long self = static_cast<long>(::getpid());
  std::optional<std::pair<long, std::size_t>> found;
  while (!found) {
    dirent* entry = ::readdir(proc);
    if (entry == nullptr) break;
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    const std::string base = "/proc/" + std::string(entry->d_name);
    DIR* fds = ::opendir((base + "/fd").c_str());
    if (fds == nullptr) continue;  // gone since, or a kernel thread
    while (!found) {
      dirent* fd = ::readdir(fds);
      if (fd == nullptr) break;
      if (fd->d_name[0] == '.') continue;
      struct stat target {};
      if (::stat((base + "/fd/" + fd->d_name).c_str(), &target) != 0) continue;
      for (std::size_t i = 0; i < files.size() && !found; ++i) {
        if (target.st_dev != files[i].st_dev || target.st_ino != files[i].st_ino) continue;
        std::ifstream info(base + "/fdinfo/" + fd->d_name);
        std::string line;
        while (std::getline(info, line)) {
          if (line.rfind("flags:", 0) != 0) continue;
          const unsigned long flags = std::strtoul(line.c_str() + 6, nullptr, 8);
          if ((flags & O_ACCMODE) != O_RDONLY) found = std::make_pair(pid, i);
        }
      }
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return found;
}

// The locks another program holds on the open file `fd`.
std::optional<std::string> Locked(int fd) {
#ifdef F_OFD_GETLK
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) return InUse(probe.l_pid);
#endif
  if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
    ::flock(fd, LOCK_UN);
  } else if (errno == EWOULDBLOCK) {
    return InUse(0);
  }
  return std::nullopt;
}

#endif

}  // namespace

std::optional<std::string> HeldByAnotherProgram(const std::vector<fs::path>& files) {
#ifdef _WIN32
  for (const fs::path& file : files) {
    const ::HANDLE h = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
    } else if (::GetLastError() == ERROR_SHARING_VIOLATION) {
      return file.filename().string() + " is " + InUse(0);
    }
  }
  return std::nullopt;
#else
  std::vector<struct stat> seen;
  std::vector<const fs::path*> named;
  for (const fs::path& file : files) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    std::optional<std::string> held;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      held = Locked(fd);
      seen.push_back(st);
      named.push_back(&file);
    }
    ::close(fd);
    if (held) return file.filename().string() + " is " + *held;
  }
  if (const auto writer = WriterOf(seen)) return named[writer->second]->filename().string() + " is " + InUse(writer->first);
  return std::nullopt;
#endif
}

}  // namespace hv::offline
