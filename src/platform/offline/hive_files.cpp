#include "platform/offline/hive_files.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstring>
#include <system_error>

#include "platform/offline/drive_map.h"
#include "platform/offline/held_path.h"
#include "regf/host_file.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
using StatBuf = struct _stat64;
int StatNoFollow(const fs::path& file, StatBuf* st) { return ::_wstat64(file.c_str(), st); }
std::int64_t MtimeNs(const StatBuf& st) { return static_cast<std::int64_t>(st.st_mtime) * 1000000000; }
#else
using StatBuf = struct stat;
int StatNoFollow(const fs::path& file, StatBuf* st) { return ::lstat(file.c_str(), st); }
std::int64_t MtimeNs(const StatBuf& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}
#endif

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::optional<FileId> FileIdOf(const fs::path& file) {
  StatBuf st{};
  if (StatNoFollow(file, &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool SameFileId(const fs::path& a, const fs::path& b) {
  auto x = FileIdOf(a);
  auto y = FileIdOf(b);
#ifdef _WIN32
  // The C runtime gives no inode numbers; two names of one file are told apart by the file system.
  std::error_code ec;
  return x && y && fs::equivalent(a, b, ec);
#else
  return x && y && *x == *y;
#endif
}

namespace {

// The first `size` bytes of a file; a link in its place is not read through.
bool ReadHead(const fs::path& file, unsigned char* head, std::size_t size) {
  const HeldPath held(file);
  if (held.error() != 0) return false;
  regf::HostFile f;
  std::size_t got = 0;
  return f.Open(held.path(), regf::HostFile::Access::kRead, regf::HostFile::Disposition::kOpenExisting,
                held.held() ? regf::HostFile::LastLink::kRefuse : regf::HostFile::LastLink::kFollow) == 0 &&
         f.Read(head, size, got) == 0 && got == size;
}

}  // namespace

fs::path LogOf(const fs::path& file, const char* which) {
  const std::string wanted = file.filename().string() + "." + which;
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder / wanted, ec))) return folder / wanted;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (NamesEqual(it->path().filename().string(), wanted)) return it->path();
  }
  return folder / wanted;
}

FileStamp StampOf(const fs::path& file) {
  StatBuf st{};
  if (StatNoFollow(file, &st) != 0) return {};
  return {true, static_cast<std::uint64_t>(st.st_size), MtimeNs(st)};
}

HiveFingerprint FingerprintWithLogsOf(const fs::path& hive, const fs::path& logsOf) {
  HiveFingerprint f;
  f.hive = StampOf(hive);
  unsigned char base[12] = {};
  if (ReadHead(hive, base, sizeof base) && std::memcmp(base, "regf", 4) == 0) {
    f.sequence1 = Le32(base + 4);
    f.sequence2 = Le32(base + 8);
  }
  f.log1 = StampOf(LogOf(logsOf, "LOG1"));
  f.log2 = StampOf(LogOf(logsOf, "LOG2"));
  return f;
}

HiveFingerprint FingerprintOf(const fs::path& hive) { return FingerprintWithLogsOf(hive, hive); }

bool LooksLikeHive(const fs::path& file) {
  unsigned char magic[4] = {};
  return ReadHead(file, magic, sizeof magic) && std::memcmp(magic, "regf", 4) == 0;
}

}  // namespace hv::offline
