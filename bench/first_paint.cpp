// hivora-first-paint [--evict FILE]... [--size COLSxROWS] PROGRAM [ARGS...]: runs PROGRAM on a
// pseudo-terminal of its own (80x24 unless --size says otherwise) with
// HIVORA_EXIT_AFTER_FIRST_FRAME set, so that the program ends once it has drawn its main window,
// and prints one line "MS KIB CACHED": the milliseconds from just before the process was started
// to that frame, the process's peak resident memory in KiB, and the largest share (percent) of
// the pages of a FILE still in the page cache at the start ("-" without --evict). Each FILE is
// first forced to disk and dropped from the page cache. Exit 1 when the program did not draw its
// window and end with 0 within two minutes (the end of its screen output goes to stderr).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor closed with its owner.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Forces `file` to disk and drops its pages from the page cache; returns the share of its pages
// still cached afterwards (100 when that cannot be told).
double Evict(const char* file) {
  Fd fd(::open(file, O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return 100;
  ::fdatasync(fd.get());
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
  if (st.st_size == 0) return 0;
  const auto size = static_cast<std::size_t>(st.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd.get(), 0);
  if (map == MAP_FAILED) return 100;
  const long page = ::sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> resident((size + static_cast<std::size_t>(page) - 1) / static_cast<std::size_t>(page));
  double share = 100;
  if (::mincore(map, size, resident.data()) == 0) {
    std::size_t cached = 0;
    for (unsigned char r : resident) cached += r & 1u;
    share = 100.0 * static_cast<double>(cached) / static_cast<double>(resident.size());
  }
  ::munmap(map, size);
  return share;
}

int Usage() {
  std::fprintf(stderr, "usage: hivora-first-paint [--evict FILE]... [--size COLSxROWS] PROGRAM [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> evict;
  winsize size{};
  size.ws_col = 80;
  size.ws_row = 24;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string option = argv[i];
    if (option == "--evict" && i + 1 < argc) {
      evict.push_back(argv[++i]);
    } else if (option == "--size" && i + 1 < argc) {
      unsigned cols = 0, rows = 0;
      if (std::sscanf(argv[++i], "%ux%u", &cols, &rows) != 2 || cols == 0 || rows == 0 || cols > 1000 || rows > 1000) {
        return Usage();
      }
      size.ws_col = static_cast<unsigned short>(cols);
      size.ws_row = static_cast<unsigned short>(rows);
    } else {
      return Usage();
    }
  }
  if (i >= argc) return Usage();

  char stamp[] = "/tmp/hivora-first-paint-XXXXXX";
  const int stampFd = ::mkstemp(stamp);
  if (stampFd < 0) {
    std::perror("hivora-first-paint: mkstemp");
    return 1;
  }
  ::close(stampFd);
  double cached = -1;
  for (const char* file : evict) {
    const double share = Evict(file);
    if (share > cached) cached = share;
  }

  const Clock::time_point start = Clock::now();
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    std::perror("hivora-first-paint: forkpty");
    ::unlink(stamp);
    return 1;
  }
  if (pid == 0) {
    ::setenv("HIVORA_EXIT_AFTER_FIRST_FRAME", stamp, 1);
    ::execvp(argv[i], argv + i);
    std::fprintf(stderr, "hivora-first-paint: %s: %s\n", argv[i], std::strerror(errno));
    ::_exit(127);
  }
  // The screen is read as it comes (a full terminal would stop the program) until the program
  // closes it; its end is kept for a failure's message.
  const Fd terminal(master);
  std::string screen;
  const Clock::time_point deadline = start + std::chrono::minutes(2);
  bool killed = false;
  for (;;) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd p{terminal.get(), POLLIN, 0};
    if (::poll(&p, 1, 200) < 0 && errno != EINTR) break;
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[8192];
    const ssize_t n = ::read(terminal.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO: the program and every process of its terminal are gone
    screen.append(buffer, static_cast<std::size_t>(n));
    if (screen.size() > 65536) screen.erase(0, screen.size() - 4096);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);

  std::ifstream in(stamp);
  long long paintedNs = -1;
  in >> paintedNs;
  ::unlink(stamp);
  const long long startNs = std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
  if (killed || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || paintedNs < startNs) {
    std::fprintf(stderr, "hivora-first-paint: %s %s; the end of its screen:\n%s\n", argv[i],
                 killed ? "drew no window within two minutes"
                 : paintedNs < startNs ? "ended without drawing its window"
                                       : "did not end with 0 after its first frame",
                 screen.substr(screen.size() > 2000 ? screen.size() - 2000 : 0).c_str());
    return 1;
  }
  const double ms = static_cast<double>(paintedNs - startNs) / 1e6;
  if (cached < 0) std::printf("%.1f %ld -\n", ms, usage.ru_maxrss);
  else std::printf("%.1f %ld %.1f\n", ms, usage.ru_maxrss, cached);
  return 0;
}
