#include "log_file.h"


#include "format.h"
#include "marvin32.h"

namespace hv::regf {
namespace {

// The largest hive bins size a hive can have.
constexpr std::uint32_t kMaxBins = 0x7FFFF000u;

void ReadNew(const std::uint8_t* data, std::size_t size, LogFile& log) {
  std::size_t at = log_entry::kFirst;
  while (at < size) {
    const std::size_t left = size - at;
    const std::uint8_t* e = data + at;
    if (left < log_entry::kReferences || !HasSignature(e + log_entry::kSignature, "HvLE")) break;  // the end
    LogEntry entry;
    entry.at = at;
    entry.size = Rd32(e + log_entry::kSize);
    entry.flags = Rd32(e + log_entry::kFlags);
    entry.sequence = Rd32(e + log_entry::kSequence);
    entry.binsSize = Rd32(e + log_entry::kBinsSize);
    const std::uint32_t count = Rd32(e + log_entry::kPageCount);
    if (entry.size < log_entry::kReferences || entry.size % log_entry::kAlign != 0 || entry.size > left) {
      log.problem = "the entry at " + std::to_string(at) + " has an invalid size " + std::to_string(entry.size);
      break;
    }
    const std::uint64_t refsEnd = log_entry::kReferences + std::uint64_t{count} * page_ref::kLength;
    if (refsEnd > entry.size) {
      log.problem = "the entry at " + std::to_string(at) + " lists more pages than it holds";
      break;
    }
    entry.binsSizeOk = entry.binsSize != 0 && entry.binsSize % kBinAlign == 0 && entry.binsSize <= kMaxBins;
    entry.hashesOk = Marvin32(e + log_entry::kReferences, entry.size - log_entry::kReferences) ==
                         Rd64(e + log_entry::kHash1) &&
                     Marvin32(e, log_entry::kHash2Span) == Rd64(e + log_entry::kHash2);
    std::uint64_t pageAt = refsEnd;
    bool whole = true;
    entry.pages.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* r = e + log_entry::kReferences + std::size_t{i} * page_ref::kLength;
      DirtyPage page;
      page.offset = Rd32(r + page_ref::kOffset);
      page.size = Rd32(r + page_ref::kSize);
      if (pageAt + page.size > entry.size) {
        whole = false;
        break;
      }
      page.at = at + static_cast<std::size_t>(pageAt);
      pageAt += page.size;
      entry.pages.push_back(page);
    }
    if (!whole) {
      log.problem = "the pages of the entry at " + std::to_string(at) + " run past its end";
      break;
    }
    if (entry.size > MaxLogEntrySize(pageAt)) {
      log.problem = "the entry at " + std::to_string(at) + " is padded beyond its pages";
      break;
    }
    log.entries.push_back(std::move(entry));
    at += log.entries.back().size;
  }
}

void ReadOld(const std::uint8_t* data, std::size_t size, LogFile& log) {
  // The base block copy fills one sector; the clustering factor gives its size on disks whose
  // sectors are larger than 512 bytes.
  const std::uint32_t clustering = Rd32(data + base::kClustering);
  const std::size_t sector = clustering >= 1 && clustering <= 8 ? std::size_t{512} * clustering : 512;
  const std::size_t vectorAt = sector;
  const std::uint64_t bitmapBytes = (std::uint64_t{log.base.binsSize} / dirty_vector::kPageSize + 7) / 8;
  if (log.base.binsSize % kBinAlign != 0 || log.base.binsSize > kMaxBins) {
    log.problem = "its base block declares an invalid hive bins size";
    return;
  }
  if (size < vectorAt + dirty_vector::kBitmap + bitmapBytes) {
    log.problem = "the file ends inside its dirty vector";
    return;
  }
  if (!HasSignature(data + vectorAt + dirty_vector::kSignature, "DIRT")) {
    log.problem = "no \"DIRT\" dirty vector after its base block";
    return;
  }
  const std::uint8_t* bitmap = data + vectorAt + dirty_vector::kBitmap;
  const std::uint64_t vectorEnd = vectorAt + dirty_vector::kBitmap + bitmapBytes;
  std::uint64_t pageAt = (vectorEnd + sector - 1) / sector * sector;
  const std::uint32_t pages = log.base.binsSize / dirty_vector::kPageSize;
  log.oldComplete = true;
  for (std::uint32_t i = 0; i < pages; ++i) {
    if (((bitmap[i / 8] >> (i % 8)) & 1u) == 0) continue;
    if (pageAt + dirty_vector::kPageSize > size) {
      log.oldComplete = false;
      log.problem = "the file ends before the last dirty page its vector marks";
      break;
    }
    log.oldPages.push_back(DirtyPage{i * dirty_vector::kPageSize, dirty_vector::kPageSize, static_cast<std::size_t>(pageAt)});
    pageAt += dirty_vector::kPageSize;
  }
}

}  // namespace

bool LogBase::Valid() const {
  return present && checksumOk && primarySeq == secondarySeq &&
         (fileType == log_base::kFileTypeOld || fileType == log_base::kFileTypeNew);
}

std::uint64_t LogEntry::PageBytes() const {
  std::uint64_t n = 0;
  for (const DirtyPage& p : pages) n += p.size;
  return n;
}

LogFile ReadLogFile(const std::uint8_t* data, std::size_t size) {
  LogFile log;
  if (size < log_base::kSize || !HasSignature(data + base::kSignature, "regf")) {
    log.problem = size == 0 ? "it is empty" : "it does not start with a \"regf\" base block";
    return log;
  }
  log.base.present = true;
  log.base.primarySeq = Rd32(data + base::kPrimarySeq);
  log.base.secondarySeq = Rd32(data + base::kSecondarySeq);
  log.base.lastWritten = Rd64(data + base::kLastWritten);
  log.base.fileType = Rd32(data + base::kFileType);
  log.base.binsSize = Rd32(data + base::kBinsSize);
  log.base.checksumOk = BaseBlockChecksum(data) == Rd32(data + base::kChecksum);
  if (log.base.fileType == log_base::kFileTypeNew) {
    log.format = LogFormat::kNew;
    ReadNew(data, size, log);
  } else if (log.base.fileType == log_base::kFileTypeOld) {
    log.format = LogFormat::kOld;
    ReadOld(data, size, log);
    if (!log.problem.empty() && log.oldPages.empty() && !log.oldComplete) log.format = LogFormat::kInvalid;
  } else {
    log.problem = "its file type " + std::to_string(log.base.fileType) + " is not a log's";
  }
  return log;
}

}  // namespace hv::regf
