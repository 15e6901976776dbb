#include "platform/offline/state_file_rules.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/offline/host_io.h"
#include "regf/text_case.h"

namespace hv::offline {

namespace {

constexpr std::size_t kMaxNameLength = 255;

bool ForbiddenInName(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("<>:\"|?*/", c) != nullptr;
}

}  // namespace

std::optional<std::string> NotAnInstallationPath(const DriveMap& drives, std::string_view path) {
  if (path.empty()) return std::string("an empty path");
  if (path.size() > kMaxStatePathLength) return "an overlong path (" + std::to_string(path.size()) + " characters)";
  if (!DriveMap::IsDrivePath(path)) return ShownField(path) + " is no path of the installation (no drive letter)";
  if (drives.Drive(path[0]) == nullptr) return ShownField(path) + " names a drive the installation does not have";
  if (path.size() < 4 || path[2] != '\\') return ShownField(path) + " names no file";
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == "..") {
      return ShownField(path) + " has an empty, \".\" or \"..\" component";
    }
    if (name.size() > kMaxNameLength) return ShownField(path) + " has an overlong name";
    for (char c : name) {
      if (ForbiddenInName(static_cast<unsigned char>(c))) {
        return ShownField(path) + " has a character no Windows file name has";
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

bool IsCompanionOf(std::string_view hive, std::string_view file, std::initializer_list<const char*> suffixes) {
  if (file.size() <= hive.size() || !SameText(file.substr(0, hive.size()), hive)) return false;
  const std::string_view rest = file.substr(hive.size());
  for (const char* suffix : suffixes) {
    if (SameText(rest, suffix)) return true;
  }
  return false;
}

std::string ShownField(std::string_view field) {
  constexpr std::size_t kShown = 120;
  std::string out;
  for (char c : field.substr(0, kShown)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
  if (field.size() > kShown) out += "...";
  return out;
}

std::string StateFileProblem(const std::filesystem::path& file, int line, const std::string& reason) {
  return file.string() + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " + reason;
}

bool ReadStateFile(const std::filesystem::path& file, std::string* bytes, bool* present, std::string* why) {
  bytes->clear();
  *present = false;
#ifdef _WIN32
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(file, ec);
  if (!fs::exists(status)) return true;
  *present = true;
  if (!fs::is_regular_file(status)) {
    *why = fs::is_symlink(status) ? "is a link, not a file the program wrote" : "is not a plain file";
    return false;
  }
  if (fs::file_size(file, ec) > kMaxStateFileSize) {
    *why = "is far larger than the program writes it";
    return false;
  }
  if (DWORD e = host::ReadFile(file, bytes); e != err::kSuccess) {
    *why = "cannot be read (error " + std::to_string(e) + ")";
    return false;
  }
  return true;
#else
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    *present = true;
    *why = errno == ELOOP ? "is a link, not a file the program wrote" : std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  *present = true;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    *why = std::string("cannot be read: ") + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *why = "is not a plain file";
    ok = false;
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxStateFileSize) {
    *why = "is far larger than the program writes it";
    ok = false;
  }
  while (ok) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *why = std::string("cannot be read: ") + std::strerror(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (bytes->size() + static_cast<std::size_t>(n) > kMaxStateFileSize) {
      *why = "is far larger than the program writes it";
      ok = false;
    } else {
      bytes->append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return ok;
#endif
}

}  // namespace hv::offline
