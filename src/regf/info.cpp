#include "info.h"

#include <cstdio>
#include <sstream>

#include "compare.h"
#include "hive.h"
#include "names.h"
#include "stop.h"

namespace hv::regf {

namespace {

// What a hive read either way tells; a tree that does not read is told, not failed.
void Describe(const Hive& h, HiveInfo& info) {
  const BaseInfo& b = h.Base();
  info.major = b.major;
  info.minor = b.minor;
  info.primarySeq = b.primarySeq;
  info.secondarySeq = b.secondarySeq;
  info.checksumOk = b.storedChecksum == b.computedChecksum;
  info.lastWritten = b.lastWritten;
  info.fileSize = h.FileSize();
  info.binsSize = b.binsSize;
  info.bins = h.BinCount();
  info.allocatedCells = h.AllocatedCells();
  info.freeCells = h.FreeCells();
  info.freeBytes = h.FreeBytes();
  try {
    info.rootName = NameToUtf8(h.Key(b.rootCell).name);
    const TreeCounts c = ValidateTree(h);
    info.keys = c.keys;
    info.values = c.values;
    info.treeRead = true;
  } catch (const FormatError& e) {
    info.treeProblem = e.what();
  }
}

}  // namespace

Status ReadHiveInfoWhole(const std::filesystem::path& file, HiveInfo& info) {
  try {
    Describe(Hive::Load(file, LoadOptions{true, false}), info);
    return {};
  } catch (const std::exception& e) {
    return Status{false, e.what()};
  }
}

std::optional<Status> ReadHiveInfoWindowed(const std::filesystem::path& file, std::size_t windowBytes,
                                           HiveInfo& info) {
  try {
    const std::optional<Hive> h = TryWindowed(file, windowBytes);
    if (!h) return std::nullopt;
    Describe(*h, info);
    return Status{};
  } catch (const std::exception& e) {
    return Status{false, e.what()};
  }
}

Status ReadHiveInfo(const std::filesystem::path& file, HiveInfo& info) {
  if (std::optional<Status> s = ReadHiveInfoWindowed(file, kTreeWindowBytes, info)) return std::move(*s);
  return ReadHiveInfoWhole(file, info);
}

namespace {
std::string Utc(std::uint64_t filetime) {
  if (filetime == 0) return "not set";
  const std::int64_t secs = static_cast<std::int64_t>(filetime / 10000000ull) - 11644473600ll;
  std::int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  const std::int64_t rem = secs - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2);
  // Sized for the widest values of every field, so nothing is ever cut.
  char buf[160];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rem / 3600),
                static_cast<long long>(rem / 60 % 60), static_cast<long long>(rem % 60));
  return buf;
}
}  // namespace

std::string FormatHiveInfo(const HiveInfo& i) {
  std::ostringstream s;
  const bool clean = i.primarySeq == i.secondarySeq && i.checksumOk;
  s << "Format version:     " << i.major << "." << i.minor << "\n";
  s << "Sequence numbers:   " << i.primarySeq << " / " << i.secondarySeq << (clean ? " (clean)" : " (dirty)") << "\n";
  s << "Checksum:           " << (i.checksumOk ? "valid" : "WRONG") << "\n";
  s << "Last written:       " << Utc(i.lastWritten) << "\n";
  s << "File size:          " << i.fileSize << " bytes\n";
  s << "Hive bins size:     " << i.binsSize << " bytes in " << i.bins << " bins\n";
  if (i.fileSize > 4096ull + i.binsSize) s << "Slack after bins:   " << (i.fileSize - 4096ull - i.binsSize) << " bytes\n";
  s << "Allocated cells:    " << i.allocatedCells << "\n";
  s << "Free space:         " << i.freeBytes << " bytes in " << i.freeCells << " cells";
  if (i.binsSize > 0) s << " (" << (i.freeBytes * 1000 / i.binsSize) / 10.0 << "% of the bins)";
  s << "\n";
  s << "Root key:           " << (i.rootName.empty() ? std::string("(unreadable)") : i.rootName) << "\n";
  if (i.treeRead) {
    s << "Keys:               " << i.keys << "\n";
    s << "Values:             " << i.values << "\n";
  } else {
    s << "Tree:               not readable: " << i.treeProblem << "\n";
  }
  return s.str();
}

}  // namespace hv::regf
