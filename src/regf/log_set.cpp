#include "log_set.h"

#include <algorithm>
#include <system_error>

#include "format.h"
#include "host_file.h"
#include "log_file.h"
#include "regf/text_case.h"

namespace hv::regf {
namespace {

// Appends up to `size` more bytes of the file to `out`; false on a read error. A short read (the
// end of the file, or a file that shrank) is no error: the log then simply ends there.
bool ReadMore(HostFile& f, std::vector<std::uint8_t>& out, std::uint64_t size, std::string& error) {
  if (size == 0) return true;
  const std::size_t have = out.size();
  out.resize(have + static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (const int e = f.Read(out.data() + have, static_cast<std::size_t>(size), got); e != 0) {
    error = "cannot read the file: " + HostErrorText(e);
    return false;
  }
  out.resize(have + got);
  return true;
}

// New format: the entries one after the other, each read only once its header says it is whole
// in the file and carries no more than its pages and the padding to the next 4 KiB boundary.
// The first that is not ends the read; ReadLogFile reports why from the bytes kept.
bool ReadEntries(HostFile& f, std::uint64_t fileSize, std::vector<std::uint8_t>& out, std::string& error) {
  std::uint64_t at = log_entry::kFirst;
  while (at < fileSize && out.size() == at) {
    if (!ReadMore(f, out, std::min<std::uint64_t>(log_entry::kReferences, fileSize - at), error)) return false;
    if (out.size() - at < log_entry::kReferences) return true;
    const std::uint8_t* e = out.data() + at;
    if (!HasSignature(e + log_entry::kSignature, "HvLE")) return true;
    const std::uint32_t size = Rd32(e + log_entry::kSize);
    const std::uint64_t refsEnd = log_entry::kReferences + std::uint64_t{Rd32(e + log_entry::kPageCount)} * page_ref::kLength;
    if (size < log_entry::kReferences || size % log_entry::kAlign != 0 || size > fileSize - at || refsEnd > size) return true;
    if (!ReadMore(f, out, refsEnd - log_entry::kReferences, error)) return false;
    if (out.size() != at + refsEnd) return true;
    std::uint64_t pages = 0;
    for (std::uint64_t r = at + log_entry::kReferences; r < at + refsEnd; r += page_ref::kLength) {
      pages += Rd32(out.data() + r + page_ref::kSize);
    }
    if (size > MaxLogEntrySize(refsEnd + pages)) return true;
    if (!ReadMore(f, out, size - refsEnd, error)) return false;
    at += size;
  }
  return true;
}

// Old format: the dirty vector its base block's bins size calls for, and the pages it marks.
bool ReadDirtyVector(HostFile& f, std::uint64_t fileSize, std::vector<std::uint8_t>& out, std::string& error) {
  const std::uint32_t bins = Rd32(out.data() + base::kBinsSize);
  if (bins % kBinAlign != 0 || bins > 0x7FFFF000u) return true;
  const std::uint32_t clustering = Rd32(out.data() + base::kClustering);
  const std::uint64_t sector = clustering >= 1 && clustering <= 8 ? 512u * clustering : 512u;
  const std::uint64_t bitmapBytes = (std::uint64_t{bins} / dirty_vector::kPageSize + 7) / 8;
  const std::uint64_t vectorEnd = sector + dirty_vector::kBitmap + bitmapBytes;
  if (!ReadMore(f, out, std::min(vectorEnd, fileSize) - out.size(), error)) return false;
  if (out.size() < vectorEnd) return true;
  std::uint64_t marked = 0;
  for (std::uint32_t i = 0; i < bins / dirty_vector::kPageSize; ++i) {
    marked += (out[static_cast<std::size_t>(sector + dirty_vector::kBitmap + i / 8)] >> (i % 8)) & 1u;
  }
  const std::uint64_t end = (vectorEnd + sector - 1) / sector * sector + marked * dirty_vector::kPageSize;
  return ReadMore(f, out, std::min(end, fileSize) - out.size(), error);
}

// The bytes of the log that its format describes: a log padded or extended far beyond its
// entries (a sparse file) costs what its entries cost.
bool ReadLogContent(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::string& error) {
  out.clear();
  HostFile f;
  int e = f.Open(path, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  if (e != 0) {
    error = "cannot open the file: " + HostErrorText(e);
    return false;
  }
  const std::uint64_t fileSize = f.Size(e);
  if (e != 0) {
    error = "cannot read the file: " + HostErrorText(e);
    return false;
  }
  if (!ReadMore(f, out, std::min<std::uint64_t>(log_entry::kFirst, fileSize), error)) return false;
  if (out.size() < log_entry::kFirst || !HasSignature(out.data() + base::kSignature, "regf")) return true;
  const std::uint32_t type = Rd32(out.data() + base::kFileType);
  if (type == log_base::kFileTypeNew) return ReadEntries(f, fileSize, out, error);
  if (type == log_base::kFileTypeOld) return ReadDirtyVector(f, fileSize, out, error);
  return true;
}

}  // namespace

std::string LogName(const FoundLog& log) { return log.path.filename().string(); }

std::vector<FoundLog> FindHiveLogs(const std::filesystem::path& primary) {
  std::vector<FoundLog> found;
  const std::string name = primary.filename().string();
  const std::filesystem::path folder = primary.has_parent_path() ? primary.parent_path() : std::filesystem::path(".");
  const std::pair<const char*, LogSlot> suffixes[] = {{".LOG", LogSlot::kLog}, {".LOG1", LogSlot::kLog1}, {".LOG2", LogSlot::kLog2}};
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return found;
  for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(ec)) {
    if (ec) break;
    const std::string entry = it->path().filename().string();
    for (const auto& [suffix, slot] : suffixes) {
      // The suffixes are ASCII; the hive's own name matches apart from the case of its letters.
      if (!SameText(entry, name + suffix)) continue;
      FoundLog log;
      log.path = it->path();
      log.slot = slot;
      std::error_code sec;
      // A log is the hive's own file: a link in its place is never followed, whatever it names.
      const auto status = std::filesystem::symlink_status(log.path, sec);
      if (!sec && std::filesystem::is_symlink(status)) {
        log.skipped = "a link, which is not followed";
      } else if (sec || !std::filesystem::is_regular_file(status)) {
        log.skipped = "not a regular file";
      } else {
        log.size = std::filesystem::file_size(log.path, sec);
        if (sec) log.skipped = "unreadable: " + sec.message();
        else if (log.size == 0) log.skipped = "empty";
      }
      found.push_back(std::move(log));
    }
  }
  // Two files whose names differ only in case (possible on Linux) are both listed; the order is
  // by slot, then by name, so that the result never depends on the folder's order.
  std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) {
    if (a.slot != b.slot) return a.slot < b.slot;
    return a.path.filename() < b.path.filename();
  });
  const bool dual = std::any_of(found.begin(), found.end(), [](const FoundLog& l) {
    return l.slot != LogSlot::kLog && l.skipped.empty();
  });
  for (FoundLog& log : found) {
    if (!log.skipped.empty()) continue;
    if (dual && log.slot == LogSlot::kLog) {
      log.skipped = "a leftover beside the .LOG1/.LOG2 logs";
      continue;
    }
    // HostFile checks the open descriptor again without waiting, so a pipe put in the log's
    // place after the check above fails here instead of blocking.
    std::string error;
    if (!ReadLogContent(log.path, log.bytes, error)) log.skipped = "unreadable: " + error;
  }
  return found;
}

}  // namespace hv::regf
