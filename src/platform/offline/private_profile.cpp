#include "platform/offline/private_profile.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/offline/held_path.h"
#include "platform/offline/host_io.h"
#include "regf/host_file.h"

namespace hv::offline {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

ProfileLine Classify(std::string text, std::string eol, std::size_t number) {
  ProfileLine line;
  line.number = number;
  line.eol = std::move(eol);
  std::string_view t = Trim(text);
  if (t.empty()) {
    line.kind = ProfileLine::Kind::kBlank;
  } else if (t.front() == ';') {
    line.kind = ProfileLine::Kind::kComment;
  } else if (t.front() == '[') {
    line.kind = ProfileLine::Kind::kSection;
    std::string_view inner = t.substr(1);
    std::size_t close = inner.rfind(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    line.name = std::string(Trim(inner));
  } else if (std::size_t eq = t.find('='); eq != std::string_view::npos) {
    line.kind = ProfileLine::Kind::kKey;
    line.name = std::string(Trim(t.substr(0, eq)));
    line.value = ReadProfileValue(t.substr(eq + 1));
  } else {
    line.kind = ProfileLine::Kind::kOther;
  }
  line.text = std::move(text);
  return line;
}

bool HoldsLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Copies a NUL-separated list into `out` with the Windows cut rule.
DWORD CopyList(const std::vector<std::string>& names, char* out, DWORD size) {
  if (size == 0) return 0;
  if (size == 1) {
    out[0] = '\0';
    return 0;
  }
  DWORD used = 0;
  const DWORD room = size - 1;  // the final NUL always fits
  for (const std::string& name : names) {
    const std::size_t need = name.size() + 1;
    if (used + need > room) {
      const DWORD fit = room - used;
      if (fit > 0) {
        std::memcpy(out + used, name.data(), fit - 1);
        used += fit - 1;
        out[used++] = '\0';
      }
      out[used] = '\0';
      return size - 2;
    }
    std::memcpy(out + used, name.data(), name.size());
    used += static_cast<DWORD>(name.size());
    out[used++] = '\0';
  }
  out[used] = '\0';
  if (used == 0) out[1] = '\0';  // an empty list still ends in a double NUL
  return used;
}

DWORD CopyValue(std::string_view value, char* out, DWORD size) {
  if (size == 0) return 0;
  const DWORD n = static_cast<DWORD>(std::min<std::size_t>(value.size(), size - 1));
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return n;
}

// Writers of one process are serialised so that two read-modify-write cycles
// on the same file do not lose each other's change.
std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

namespace fs = std::filesystem;

struct Notices {
  std::mutex mutex;
  std::function<void(const std::string&)> notice;
  std::set<fs::path> told;
};
Notices& RefusalNotices() {
  static Notices notices;
  return notices;
}

void Refused(const fs::path& file, const std::string& why) {
  Notices& n = RefusalNotices();
  std::function<void(const std::string&)> notice;
  {
    std::lock_guard lock(n.mutex);
    if (!n.told.insert(file).second) return;
    notice = n.notice;
  }
  const std::string line = file.string() + ": " + why + "; it is not read and will not be written";
  if (notice) {
    notice(line);
  } else {
    std::fprintf(stderr, "hivora: %s\n", line.c_str());
  }
}

// Reads a profile file whole: kSuccess, kFileNotFound or kPathNotFound, or
// kAccessDenied for what is refused (told once).
DWORD ReadProfileFile(const fs::path& file, std::string* bytes) {
  bytes->clear();
  // A state file of an installation is read from its walked folder, and a
  // link in its place is not read through.
  const HeldPath held(file);
  const int e = held.error() != 0 ? held.error() : 0;
  regf::HostFile f;
  const int opened = e != 0 ? e
                            : f.Open(held.path(), regf::HostFile::Access::kRead, regf::HostFile::Disposition::kOpenExisting,
                                     held.held() ? regf::HostFile::LastLink::kRefuse : regf::HostFile::LastLink::kFollow);
  if (opened == ELOOP) {
    Refused(file, "a link, which is not followed");
    return err::kAccessDenied;
  }
  if (opened == regf::kNotRegularFile || opened == EISDIR) {
    Refused(file, "not a regular file");
    return err::kAccessDenied;
  }
  if (opened == ENOENT || opened == ENOTDIR) {
    std::error_code ec;
    return e == 0 && fs::exists(file.parent_path().empty() ? fs::path(".") : file.parent_path(), ec)
               ? err::kFileNotFound
               : err::kPathNotFound;
  }
  if (opened != 0) return opened == EACCES || opened == EPERM ? err::kAccessDenied : err::kCantRead;
  int sizeError = 0;
  const std::uint64_t size = f.Size(sizeError);
  if (sizeError != 0) return err::kCantRead;
  if (size > kMaxProfileFile) {
    Refused(file, "larger than 1 MiB");
    return err::kAccessDenied;
  }
  bytes->resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (f.Read(reinterpret_cast<std::uint8_t*>(bytes->data()), bytes->size(), got) != 0) return err::kCantRead;
  bytes->resize(got);
  return err::kSuccess;
}

// Parsed files, kept while their size and time stay.
struct CachedFile {
  fs::file_time_type time;
  std::uintmax_t size = 0;
  ProfileDocument doc;
};
std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<fs::path, CachedFile>& Cache() {
  static std::map<fs::path, CachedFile> cache;
  return cache;
}

// The document of a file, read when it is not cached or changed since.
DWORD LoadProfile(const fs::path& file, ProfileDocument* doc) {
  std::error_code timeError;
  std::error_code sizeError;
  const fs::file_time_type time = fs::last_write_time(file, timeError);
  const std::uintmax_t size = fs::file_size(file, sizeError);
  const bool stamped = !timeError && !sizeError;
  {
    std::lock_guard lock(CacheMutex());
    auto it = Cache().find(file);
    if (stamped && it != Cache().end() && it->second.time == time && it->second.size == size) {
      *doc = it->second.doc;
      return err::kSuccess;
    }
    if (it != Cache().end()) Cache().erase(it);
  }
  std::string bytes;
  const DWORD read = ReadProfileFile(file, &bytes);
  *doc = ProfileDocument::Parse(read == err::kSuccess ? std::string_view(bytes) : std::string_view());
  if (read == err::kSuccess && stamped && bytes.size() == size) {
    std::lock_guard lock(CacheMutex());
    Cache()[file] = CachedFile{time, size, *doc};
  }
  return read;
}

// After a write of this process, whatever path it went by: a file's time
// may not move between two writes close together.
void ForgetAll() {
  std::lock_guard lock(CacheMutex());
  Cache().clear();
}

// Where a write goes: the file a symbolic link names (followed to its end,
// even when that does not exist yet), else the file itself.
fs::path WriteTarget(const fs::path& file) {
  // In an installation a link is never written through.
  if (const HeldPath held(file); held.held() || held.error() != 0) return file;
  fs::path at = file;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)); ++hops) {
    const fs::path link = fs::read_symlink(at, ec);
    if (ec) break;
    at = link.is_absolute() ? link : at.parent_path() / link;
  }
  return at.lexically_normal();
}

// Replaces the file atomically, keeping its permission bits.
DWORD ReplaceProfileFile(const fs::path& target, const std::string& bytes) {
  std::error_code ec;
  const HeldPath held(target);
  if (held.error() != 0) return held.error() == ELOOP ? err::kAccessDenied : err::kPathNotFound;
  const fs::path& file = held.path();
  const fs::file_status old = held.held() ? fs::symlink_status(file, ec) : fs::status(file, ec);
  static std::atomic<unsigned> counter{0};
  fs::path tmp = file;
  tmp += ".hivora-tmp" + std::to_string(counter.fetch_add(1));
  regf::HostFile f;
  if (const int e = f.Open(tmp, regf::HostFile::Access::kWrite, regf::HostFile::Disposition::kCreateNew)) {
    if (e == ENOENT) return err::kPathNotFound;
    return host::ErrorFromErrno(e);
  }
  // Before a byte is written, so that the text is never readable to more
  // users than the old file was.
  if (fs::is_regular_file(old)) {
#ifdef _WIN32
    fs::permissions(tmp, old.permissions(), fs::perm_options::replace, ec);
#else
    (void)::fchmod(f.fd(), static_cast<mode_t>(old.permissions()));
#endif
  }
  DWORD result = host::ErrorFromErrno(f.Write(bytes.data(), bytes.size()));
  if (result == err::kSuccess) result = host::ErrorFromErrno(f.Sync());
  if (const int e = f.Close(); e != 0 && result == err::kSuccess) result = host::ErrorFromErrno(e);
  if (result == err::kSuccess) result = host::Rename(tmp, file);
  if (result != err::kSuccess) {
    fs::remove(tmp, ec);
    return result;
  }
  host::SyncFolder(file.parent_path().empty() ? fs::path(".") : file.parent_path());
  return err::kSuccess;
}

}  // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string ReadProfileValue(std::string_view afterEquals) {
  std::string_view v = Trim(afterEquals);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

ProfileDocument ProfileDocument::Parse(std::string_view bytes) {
  ProfileDocument doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.bom_ = true;
    bytes.remove_prefix(kBom.size());
  }
  std::size_t number = 0;
  while (!bytes.empty()) {
    std::size_t nl = bytes.find('\n');
    std::string_view text = bytes.substr(0, nl);
    std::string_view eol;
    if (nl == std::string_view::npos) {
      bytes = {};
    } else {
      eol = "\n";
      bytes.remove_prefix(nl + 1);
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        eol = "\r\n";
      }
    }
    doc.lines_.push_back(Classify(std::string(text), std::string(eol), ++number));
  }
  return doc;
}

std::string ProfileDocument::Serialize() const {
  std::string out;
  if (bom_) out += kBom;
  for (const ProfileLine& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

std::optional<std::size_t> ProfileDocument::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == ProfileLine::Kind::kSection && ProfileNamesEqual(lines_[i].name, section)) {
      return i;
    }
  }
  return std::nullopt;
}

std::size_t ProfileDocument::EndOf(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != ProfileLine::Kind::kSection) ++i;
  return i;
}

std::optional<std::size_t> ProfileDocument::FindKey(std::size_t header, std::string_view key) const {
  for (std::size_t i = header + 1, end = EndOf(header); i < end; ++i) {
    if (lines_[i].kind == ProfileLine::Kind::kKey && ProfileNamesEqual(lines_[i].name, key)) return i;
  }
  return std::nullopt;
}

std::vector<std::size_t> ProfileDocument::KeysOf(std::size_t header) const {
  std::vector<std::size_t> keys;
  for (std::size_t i = header + 1, end = EndOf(header); i < end; ++i) {
    if (lines_[i].kind == ProfileLine::Kind::kKey) keys.push_back(i);
  }
  return keys;
}

std::vector<std::string> ProfileDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const ProfileLine& line : lines_) {
    if (line.kind == ProfileLine::Kind::kSection) names.push_back(line.name);
  }
  return names;
}

std::optional<std::string> ProfileDocument::Get(std::string_view section, std::string_view key) const {
  auto header = FindSection(section);
  if (!header) return std::nullopt;
  auto at = FindKey(*header, key);
  if (!at) return std::nullopt;
  return lines_[*at].value;
}

std::string ProfileDocument::NewLineEnding() const {
  for (const ProfileLine& line : lines_) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\r\n";  // a new file gets the Windows line ending
}

void ProfileDocument::Insert(std::size_t at, ProfileLine line) {
  // A line inserted after a last line that had no ending needs one there.
  if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = NewLineEnding();
  if (line.eol.empty()) line.eol = NewLineEnding();
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  auto header = FindSection(section);
  if (!header) {
    std::string eol = NewLineEnding();
    Insert(lines_.size(), Classify("[" + std::string(section) + "]", eol, 0));
    Insert(lines_.size(), Classify(std::string(key) + "=" + std::string(value), eol, 0));
    return true;
  }
  if (auto at = FindKey(*header, key)) {
    ProfileLine& line = lines_[*at];
    // The key keeps its spelling and its indentation; only the value changes.
    std::size_t eq = line.text.find('=');
    std::string text = line.text.substr(0, eq + 1) + std::string(value);
    if (text == line.text) return false;
    line = Classify(std::move(text), line.eol, line.number);
    return true;
  }
  // After the section's last line that is not blank: its comments and other
  // lines belong to it, the blank lines before the next header do not.
  std::size_t at = *header + 1;
  for (std::size_t i = *header + 1, end = EndOf(*header); i < end; ++i) {
    if (lines_[i].kind != ProfileLine::Kind::kBlank) at = i + 1;
  }
  Insert(at, Classify(std::string(key) + "=" + std::string(value), "", 0));
  return true;
}

bool ProfileDocument::EraseKey(std::string_view section, std::string_view key) {
  auto header = FindSection(section);
  if (!header) return false;
  auto at = FindKey(*header, key);
  if (!at) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  return true;
}

bool ProfileDocument::EraseSection(std::string_view section) {
  // The first section of the name only: a later one of the same name comes
  // into view, as kernel32 does it.
  auto header = FindSection(section);
  if (!header) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*header),
               lines_.begin() + static_cast<std::ptrdiff_t>(EndOf(*header)));
  return true;
}

DWORD GetProfileString(const char* appName, const char* keyName, const char* defaultValue,
                       char* returned, DWORD size, const std::filesystem::path& file) {
  if (returned == nullptr) return 0;
  ProfileDocument doc;
  LoadProfile(file, &doc);

  if (appName == nullptr) return CopyList(doc.SectionNames(), returned, size);
  if (keyName == nullptr) {
    std::vector<std::string> keys;
    if (auto header = doc.FindSection(appName)) {
      for (std::size_t i : doc.KeysOf(*header)) keys.push_back(doc.lines()[i].name);
    }
    return CopyList(keys, returned, size);
  }
  if (auto value = doc.Get(appName, keyName)) return CopyValue(*value, returned, size);
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyValue(fallback, returned, size);
}

DWORD WriteProfileString(const char* appName, const char* keyName, const char* value,
                         const std::filesystem::path& file) {
  if (appName == nullptr) {
    // All three null is the documented "flush the cache" call; there is no cache.
    return (keyName == nullptr && value == nullptr) ? err::kSuccess : err::kInvalidParameter;
  }
  if (HoldsLineBreak(appName) || (keyName != nullptr && (HoldsLineBreak(keyName) ||
                                                         std::strchr(keyName, '=') != nullptr)) ||
      (value != nullptr && HoldsLineBreak(value))) {
    return err::kInvalidParameter;
  }

  std::lock_guard lock(WriteMutex());
  const fs::path target = WriteTarget(file);
  ProfileDocument doc;
  const DWORD read = LoadProfile(target, &doc);
  if (read != err::kSuccess && read != err::kFileNotFound) return read;
  const bool existed = read == err::kSuccess;

  bool changed;
  if (keyName == nullptr) {
    changed = doc.EraseSection(appName);
  } else if (value == nullptr) {
    changed = doc.EraseKey(appName, keyName);
  } else {
    changed = doc.Set(appName, keyName, value);
  }
  if (!changed && existed) return err::kSuccess;
  if (!changed && (keyName == nullptr || value == nullptr)) return err::kSuccess;  // nothing to erase
  const DWORD written = ReplaceProfileFile(target, doc.Serialize());
  ForgetAll();
  return written;
}

void SetProfileRefusalNotice(std::function<void(const std::string&)> notice) {
  Notices& n = RefusalNotices();
  std::lock_guard lock(n.mutex);
  n.notice = std::move(notice);
}

}  // namespace hv::offline
