#include "platform/offline/drive_map.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/offline/installation_root.h"
#include "regf/text_case.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

bool StartsWithI(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && NamesEqual(s.substr(0, prefix.size()), prefix);
}

// Windows leaves these folders of System32 unredirected for WOW64 processes.
bool ExemptFromRedirection(const std::vector<std::string>& c) {
  if (c.size() < 3) return false;
  for (const char* name : {"catroot", "catroot2", "driverstore", "logfiles", "spool"}) {
    if (NamesEqual(c[2], name)) return true;
  }
  return c.size() >= 4 && NamesEqual(c[2], "drivers") && NamesEqual(c[3], "etc");
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  return SameText(a, b);
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find_first_of("\\/", i);
    if (j == std::string_view::npos) j = path.size();
    std::string_view part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    i = j + 1;
  }
  return parts;
}

fs::path WalkCaseInsensitive(const fs::path& base, const std::vector<std::string>& components) {
  fs::path exact = base;
  for (const std::string& c : components) exact /= c;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;

  fs::path current = base;
  std::size_t i = 0;
  for (; i < components.size(); ++i) {
    fs::path spelt = current / components[i];
    if (fs::exists(fs::symlink_status(spelt, ec))) {
      current = spelt;
      continue;
    }
    std::optional<std::string> match;
    for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      // The smallest of several matches, so that the answer does not depend on
      // the order in which the host lists a folder.
      if (NamesEqual(name, components[i]) && (!match || name < *match)) match = name;
    }
    if (!match) break;
    current /= *match;
  }
  for (; i < components.size(); ++i) current /= components[i];
  return current;
}

DriveMap::DriveMap(std::vector<DriveSpec> drives, bool wow64)
    : drives_(std::move(drives)), wow64_(wow64), root_(std::make_shared<InstallationRoot>(drives_)) {}

const DriveSpec* DriveMap::Drive(char letter) const {
  for (const DriveSpec& d : drives_) {
    if (d.letter == AsciiUpper(letter)) return &d;
  }
  return nullptr;
}

bool DriveMap::IsDrivePath(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::optional<fs::path> DriveMap::ResolveDrive(std::string_view path, bool redirect) const {
  const DriveSpec* d = Drive(path[0]);
  if (d == nullptr) return std::nullopt;
  std::vector<std::string> parts = SplitPath(path.substr(2));
  if (redirect && wow64_ && d->letter == 'C' && parts.size() >= 2 && NamesEqual(parts[0], "Windows")) {
    if (NamesEqual(parts[1], "System32") && !ExemptFromRedirection(parts)) {
      parts[1] = "SysWOW64";
    } else if (NamesEqual(parts[1], "sysnative")) {
      parts[1] = "System32";
    }
  }
  return root_->Resolve(d->letter, parts);
}

std::optional<fs::path> DriveMap::Resolve(std::string_view path) const {
  if (IsDrivePath(path)) return ResolveDrive(path, true);
  if (path.empty()) return std::nullopt;
  fs::path host = path.front() == '/' || path.front() == '\\' ? fs::path("/") : fs::current_path();
  std::error_code ec;
#ifndef _WIN32
  host = WalkCaseInsensitive(host, SplitPath(path));
#else
  // A "\\?\" path already names a host file (the program folder is handed out so); libstdc++
  // takes it for a relative one and would put the current drive in front.
  if (path.starts_with("\\\\?\\")) {
    std::string_view rest = path.substr(4);
    if (StartsWithI(rest, "UNC\\")) return fs::path("\\\\" + std::string(rest.substr(4)));
    return fs::path(std::string(rest));
  }
  host = fs::absolute(fs::path(std::string(path)), ec);
#endif
  return host;
}

std::optional<fs::path> DriveMap::ResolveNative(std::string_view path) const {
  if (IsDrivePath(path)) return ResolveDrive(path, false);
  return Resolve(path);
}

std::optional<fs::path> DriveMap::ResolveInstallation(std::string_view path) const {
  if (!IsDrivePath(path)) return std::nullopt;
  return ResolveDrive(path, false);
}

std::optional<fs::path> DriveMap::ResolveKernel(std::string_view path) const {
  for (std::string_view prefix : {"\\??\\", "\\DosDevices\\", "\\GLOBAL??\\"}) {
    if (StartsWithI(path, prefix) && IsDrivePath(path.substr(prefix.size()))) {
      return ResolveDrive(path.substr(prefix.size()), false);
    }
  }
  if (StartsWithI(path, "\\SystemRoot")) {
    std::string_view rest = path.substr(11);
    if (rest.empty() || rest[0] == '\\') return ResolveDrive("C:\\Windows" + std::string(rest), false);
  }
  for (const DriveSpec& d : drives_) {
    if (StartsWithI(path, d.device) && (path.size() == d.device.size() || path[d.device.size()] == '\\')) {
      return root_->Resolve(d.letter, SplitPath(path.substr(d.device.size())));
    }
  }
  return std::nullopt;
}

const DriveSpec* DriveMap::DriveOf(const fs::path& host) const {
  fs::path normal = host.lexically_normal();
  for (const DriveSpec& d : drives_) {
    fs::path rel = normal.lexically_relative(d.folder);
    if (!rel.empty() && *rel.begin() != "..") return &d;
  }
  return nullptr;
}

std::string DriveMap::ToWindows(const fs::path& host) const {
  const DriveSpec* d = DriveOf(host);
  if (d == nullptr) return host.string();
  std::string out{d->letter, ':'};
  for (const fs::path& part : host.lexically_normal().lexically_relative(d->folder)) {
    if (part == ".") continue;
    out += '\\';
    out += part.string();
  }
  if (out.size() == 2) out += "\\";
  return out;
}

}  // namespace hv::offline
