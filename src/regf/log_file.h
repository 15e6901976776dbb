#pragma once
// A hive's transaction log read from its bytes: the base block copy at its start and, after it,
// either the old format (a "DIRT" vector of dirty 512-byte pages followed by those pages) or the
// new one ("HvLE" entries, each a list of dirty-page references and the pages). Reading only
// describes what is there and checks every size against the bytes there; it never fails and never
// reads outside them. The log is read a piece at a time, in order, and only as far as its entries
// go: a log padded or extended (sparse) far beyond them costs what they cost, and memory holds a
// piece, not the log. Which entries apply to a hive is recovery's business.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "byte_source.h"

namespace hv::regf {

// The base block copy in a log: the first 512 bytes of the hive's base block as it was in
// memory, with the file type changed to a log type.
namespace log_base {
inline constexpr std::size_t kSize = 512;
inline constexpr std::uint32_t kFileTypeOld = 1;
inline constexpr std::uint32_t kFileTypeNew = 6;
}  // namespace log_base

// The old format's dirty vector, at the start of the log's second sector.
namespace dirty_vector {
inline constexpr std::size_t kOffset = 512;     // in the log file
inline constexpr std::size_t kSignature = 0;    // "DIRT"
inline constexpr std::size_t kBitmap = 4;       // one bit per 512-byte page of the hive bins
inline constexpr std::uint32_t kPageSize = 512;
}  // namespace dirty_vector

// A new-format log entry ("HvLE"); entries start at the log's second sector and each is a
// multiple of 512 bytes long.
namespace log_entry {
inline constexpr std::size_t kFirst = 512;      // offset of the first entry in the log file
inline constexpr std::size_t kAlign = 512;
inline constexpr std::size_t kSignature = 0;    // "HvLE"
inline constexpr std::size_t kSize = 4;         // the whole entry in bytes
inline constexpr std::size_t kFlags = 8;        // bit 0: the base block's flag bit 0
inline constexpr std::size_t kSequence = 12;    // the hive's sequence number once applied
inline constexpr std::size_t kBinsSize = 16;    // the hive bins size once applied
inline constexpr std::size_t kPageCount = 20;   // dirty page references that follow the header
inline constexpr std::size_t kHash1 = 24;       // Marvin32 of the entry from kReferences to its end
inline constexpr std::size_t kHash2 = 32;       // Marvin32 of the entry's first 32 bytes
inline constexpr std::size_t kReferences = 40;  // the references, then the pages in their order
inline constexpr std::size_t kHash2Span = 32;
}  // namespace log_entry

// A dirty page reference of a log entry.
namespace page_ref {
inline constexpr std::size_t kOffset = 0;  // in the hive bins
inline constexpr std::size_t kSize = 4;    // bytes
inline constexpr std::size_t kLength = 8;
}  // namespace page_ref

enum class LogFormat { kInvalid, kOld, kNew };

struct LogBase {
  bool present = false;      // the file holds a whole base block copy with the "regf" signature
  bool checksumOk = false;
  std::uint32_t primarySeq = 0;
  std::uint32_t secondarySeq = 0;
  std::uint64_t lastWritten = 0;
  std::uint32_t fileType = 0;
  std::uint32_t binsSize = 0;
  // Valid as Windows requires before it uses a log: signature, checksum, a log file type and
  // equal sequence numbers.
  bool Valid() const;
};

struct DirtyPage {
  std::uint32_t offset = 0;  // in the hive bins
  std::uint32_t size = 0;
  std::uint64_t at = 0;      // where its bytes start in the log
};

struct LogEntry {
  std::uint64_t at = 0;  // offset in the log
  std::uint32_t size = 0;
  std::uint32_t flags = 0;
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  bool hashesOk = false;
  bool binsSizeOk = false;  // a nonzero multiple of 4096 no larger than a hive can be
  std::vector<DirtyPage> pages;
  std::uint64_t PageBytes() const;
};

struct LogFile {
  LogFormat format = LogFormat::kInvalid;
  LogBase base;
  // New format: the entries in file order, up to the first that is not whole (wrong signature,
  // size or page list running past the entry or the file); what follows it is never read.
  std::vector<LogEntry> entries;
  // Old format: the dirty pages in bitmap order, runs of marked 512-byte pages as one; `oldComplete`
  // is false when the file ends before every page the bitmap marks.
  std::vector<DirtyPage> oldPages;
  bool oldComplete = false;
  std::string problem;  // why the format is invalid or why reading stopped early
};

// The largest size a new-format entry of `content` bytes (header, references and pages) may
// have: Windows pads each entry so that the next starts on a 4 KiB boundary, never more.
inline constexpr std::uint64_t MaxLogEntrySize(std::uint64_t content) {
  return (content + log_entry::kAlign - 1) / log_entry::kAlign * log_entry::kAlign + 4096 - log_entry::kAlign;
}

// Describes the log `bytes` holds. The result holds offsets into it, where recovery reads the
// pages it applies. A read that fails or comes back short (the file shrank) ends the log there.
LogFile ReadLogFile(const ByteSource& bytes);
// The same for a log held in memory.
LogFile ReadLogFile(const std::uint8_t* data, std::size_t size);

}  // namespace hv::regf
