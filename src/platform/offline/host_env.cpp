#include "platform/offline/host_env.h"

#include <chrono>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace hv::offline::host {
namespace fs = std::filesystem;

namespace {

fs::path Home() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const char* profile = std::getenv("USERPROFILE"); profile != nullptr && *profile != '\0') return profile;
  return fs::temp_directory_path();
}

fs::path FromEnv(const char* name, const fs::path& fallback) {
  const char* value = std::getenv(name);
  // Relative XDG base directories are to be ignored.
  if (value != nullptr && *value != '\0' && fs::path(value).is_absolute()) return value;
  return fallback;
}

std::tm ToTm(const SystemTime& t) {
  std::tm tm{};
  tm.tm_year = t.wYear - 1900;
  tm.tm_mon = t.wMonth - 1;
  tm.tm_mday = t.wDay;
  tm.tm_wday = t.wDayOfWeek;
  tm.tm_hour = t.wHour;
  tm.tm_min = t.wMinute;
  tm.tm_sec = t.wSecond;
  tm.tm_isdst = -1;
  return tm;
}

#ifndef _WIN32
// A locale object for one category from the environment; "C" when the
// environment's locale is not installed.
class EnvLocale {
 public:
  explicit EnvLocale(int mask) {
    locale_ = ::newlocale(mask, "", static_cast<locale_t>(0));
    if (locale_ == static_cast<locale_t>(0)) locale_ = ::newlocale(mask, "C", static_cast<locale_t>(0));
  }
  ~EnvLocale() {
    if (locale_ != static_cast<locale_t>(0)) ::freelocale(locale_);
  }
  EnvLocale(const EnvLocale&) = delete;
  EnvLocale& operator=(const EnvLocale&) = delete;
  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}
#endif

}  // namespace

fs::path UserConfigHome() { return FromEnv("XDG_CONFIG_HOME", Home() / ".config"); }
fs::path UserDataHome() { return FromEnv("XDG_DATA_HOME", Home() / ".local" / "share"); }

fs::path ExecutableFolder(const std::string& argv0) {
  std::error_code ec;
#ifndef _WIN32
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.parent_path();
#endif
  fs::path p = fs::absolute(fs::path(argv0), ec);
  return ec ? fs::current_path() : p.parent_path();
}

SystemTime LocalTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &seconds);
#else
  localtime_r(&seconds, &tm);
#endif
  SystemTime t;
  t.wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
  t.wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
  t.wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
  t.wDay = static_cast<std::uint16_t>(tm.tm_mday);
  t.wHour = static_cast<std::uint16_t>(tm.tm_hour);
  t.wMinute = static_cast<std::uint16_t>(tm.tm_min);
  t.wSecond = static_cast<std::uint16_t>(tm.tm_sec);
  t.wMilliseconds = static_cast<std::uint16_t>(
      duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return t;
}

std::string FormatTime(const SystemTime& time, const char* format) {
  const std::tm tm = ToTm(time);
  char buffer[256];
#ifdef _WIN32
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
#else
  EnvLocale locale(LC_TIME_MASK);
  std::size_t n = ::strftime_l(buffer, sizeof buffer, format, &tm, locale.get());
#endif
  return std::string(buffer, n);
}

char DecimalSeparator() {
#ifdef _WIN32
  const std::lconv* conv = std::localeconv();
  return conv != nullptr && conv->decimal_point != nullptr && *conv->decimal_point != '\0' ? *conv->decimal_point
                                                                                           : '.';
#else
  EnvLocale locale(LC_NUMERIC_MASK);
  const char* radix = ::nl_langinfo_l(RADIXCHAR, locale.get());
  return radix != nullptr && *radix != '\0' ? *radix : '.';
#endif
}

bool OpenWithDesktop([[maybe_unused]] const std::string& address) {
#ifdef _WIN32
  return false;
#else
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) return false;
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) return false;
  // Everything the children need is prepared before fork: after it, only
  // async-signal-safe calls are made.
  const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  char* const argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(address.c_str()), nullptr};
  const pid_t child = ::fork();
  if (child < 0) {
    if (devnull >= 0) ::close(devnull);
    return false;
  }
  if (child == 0) {
    // The grandchild runs the opener and is reparented, so nobody waits for it.
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    if (devnull >= 0) {
      ::dup2(devnull, 0);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
    }
    ::execv(opener.c_str(), argv);
    ::_exit(127);
  }
  if (devnull >= 0) ::close(devnull);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
#endif
}

}  // namespace hv::offline::host
