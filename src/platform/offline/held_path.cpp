#include "platform/offline/held_path.h"

#include <mutex>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
struct Registered {
  unsigned long id;
  fs::path folder;  // absolute and normal, without a trailing separator
  int fd;
};

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<Registered>& Registry() {
  static std::vector<Registered> folders;
  return folders;
}

fs::path Normal(const fs::path& path) {
  std::error_code ec;
  fs::path normal = fs::absolute(path, ec).lexically_normal();
  if (ec) normal = path.lexically_normal();
  if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path()) normal = normal.parent_path();
  return normal;
}
#endif

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

HeldFolder::HeldFolder([[maybe_unused]] const fs::path& folder, [[maybe_unused]] int fd) {
#ifndef _WIN32
  static unsigned long next = 0;
  std::lock_guard lock(RegistryMutex());
  id_ = ++next;
  Registry().push_back({id_, Normal(folder), fd});
#endif
}

HeldFolder::~HeldFolder() {
#ifndef _WIN32
  std::lock_guard lock(RegistryMutex());
  auto& folders = Registry();
  std::erase_if(folders, [&](const Registered& r) { return r.id == id_; });
#endif
}

HeldPath::HeldPath(const fs::path& host, [[maybe_unused]] bool itself) : host_(host), path_(host) {
#ifndef _WIN32
  const fs::path normal = Normal(host);
  std::vector<std::string> parts;
  {
    std::lock_guard lock(RegistryMutex());
    const Registered* best = nullptr;
    std::vector<std::string> bestParts;
    for (const Registered& r : Registry()) {
      const fs::path rel = normal.lexically_relative(r.folder);
      if (rel.empty() || *rel.begin() == "..") continue;
      // The deepest drive folder holding the path is the one it belongs to.
      if (best != nullptr && std::distance(r.folder.begin(), r.folder.end()) <=
                                 std::distance(best->folder.begin(), best->folder.end())) {
        continue;
      }
      best = &r;
      bestParts.clear();
      for (const fs::path& part : rel) {
        if (part != "." && !part.empty()) bestParts.push_back(part.string());
      }
    }
    if (best == nullptr) return;
    folder_ = UniqueFd(::fcntl(best->fd, F_DUPFD_CLOEXEC, 0));
    parts = std::move(bestParts);
  }
  path_.clear();  // nothing is reached by name from here on
  if (!folder_.valid()) {
    error_ = errno;
    return;
  }
  const std::string last = parts.empty() || itself ? std::string() : parts.back();
  if (!parts.empty() && !itself) parts.pop_back();
  for (const std::string& name : parts) {
    const int next = ::openat(folder_.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      error_ = errno;
      struct stat st{};
      if (error_ == ENOTDIR && ::fstatat(folder_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(st.st_mode)) {
        error_ = ELOOP;
      }
      folder_ = UniqueFd();
      return;
    }
    folder_ = UniqueFd(next);
  }
  folderText_ = "/proc/self/fd/" + std::to_string(folder_.get());
  // The drive folder itself is "." in it: the bare descriptor name is a link.
  path_ = fs::path(folderText_) / (last.empty() ? std::string(".") : last);
  folderHost_ = last.empty() ? host_ : host_.parent_path();
#endif
}

std::string HeldPath::Describe(std::string text) const {
  if (!held()) return text;
  ReplaceAll(text, path_.string(), host_.string());
  ReplaceAll(text, folderText_, folderHost_.string());
  return text;
}

}  // namespace hv::offline
