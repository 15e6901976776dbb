#include "log_file.h"

#include <algorithm>

#include "format.h"
#include "marvin32.h"
#include "stop.h"

namespace hv::regf {
namespace {

// The largest hive bins size a hive can have.
constexpr std::uint32_t kMaxBins = 0x7FFFF000u;
// The most read at once; a multiple of a page reference's length, so that none is cut.
constexpr std::size_t kPiece = std::size_t{1} << 20;
static_assert(kPiece % page_ref::kLength == 0);

// Bytes of the log a piece at a time: straight from memory when it is held there, else read into
// one buffer reused for every piece.
class Pieces {
 public:
  explicit Pieces(const ByteSource& bytes)
      : bytes_(bytes), memory_(dynamic_cast<const MemoryBytes*>(&bytes)) {}
  // `size` bytes at `at`, valid until the next call; nullptr when they cannot all be read.
  const std::uint8_t* Get(std::uint64_t at, std::size_t size) {
    if (at > bytes_.Size() || size > bytes_.Size() - at) return nullptr;
    if (memory_ != nullptr) return memory_->Data() + at;
    if (buffer_.size() < size) buffer_.resize(size);
    std::size_t got = 0;
    if (bytes_.ReadAt(at, buffer_.data(), size, got) != 0 || got != size) return nullptr;
    return buffer_.data();
  }

 private:
  const ByteSource& bytes_;
  const MemoryBytes* memory_;
  std::vector<std::uint8_t> buffer_;
};

std::string Unreadable(std::uint64_t at) { return "the log cannot be read at " + std::to_string(at); }

void ReadNew(Pieces& bytes, std::uint64_t size, LogFile& log) {
  std::uint64_t at = log_entry::kFirst;
  while (at < size) {
    const std::uint64_t left = size - at;
    if (left < log_entry::kReferences) break;  // the end
    std::uint8_t header[log_entry::kReferences];
    const std::uint8_t* e = bytes.Get(at, sizeof header);
    if (e == nullptr) {
      log.problem = Unreadable(at);
      break;
    }
    std::copy(e, e + sizeof header, header);
    if (!HasSignature(header + log_entry::kSignature, "HvLE")) break;  // the end
    LogEntry entry;
    entry.at = at;
    entry.size = Rd32(header + log_entry::kSize);
    entry.flags = Rd32(header + log_entry::kFlags);
    entry.sequence = Rd32(header + log_entry::kSequence);
    entry.binsSize = Rd32(header + log_entry::kBinsSize);
    const std::uint32_t count = Rd32(header + log_entry::kPageCount);
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
    // The references, a piece at a time: each page's place in the hive and in the log.
    std::uint64_t pageAt = refsEnd;
    bool whole = true, read = true;
    entry.pages.reserve(std::min<std::uint32_t>(count, 4096));
    for (std::uint64_t r = log_entry::kReferences; whole && read && r < refsEnd;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, refsEnd - r));
      const std::uint8_t* refs = bytes.Get(at + r, n);
      if (refs == nullptr) {
        read = false;
        break;
      }
      for (std::size_t i = 0; i < n; i += page_ref::kLength) {
        DirtyPage page;
        page.offset = Rd32(refs + i + page_ref::kOffset);
        page.size = Rd32(refs + i + page_ref::kSize);
        if (pageAt + page.size > entry.size) {
          whole = false;
          break;
        }
        page.at = at + pageAt;
        pageAt += page.size;
        entry.pages.push_back(page);
      }
      r += n;
    }
    if (!read) {
      log.problem = Unreadable(at);
      break;
    }
    if (!whole) {
      log.problem = "the pages of the entry at " + std::to_string(at) + " run past its end";
      break;
    }
    if (entry.size > MaxLogEntrySize(pageAt)) {
      log.problem = "the entry at " + std::to_string(at) + " is padded beyond its pages";
      break;
    }
    // The hashes: Hash-1 over the entry from its references on, Hash-2 over its first bytes.
    Marvin32Stream hash1;
    for (std::uint64_t h = log_entry::kReferences; read && h < entry.size;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, entry.size - h));
      ThrowIfStopped();
      const std::uint8_t* piece = bytes.Get(at + h, n);
      if (piece == nullptr) read = false;
      else hash1.Add(piece, n);
      h += n;
    }
    if (!read) {
      log.problem = Unreadable(at);
      break;
    }
    entry.hashesOk = hash1.Value() == Rd64(header + log_entry::kHash1) &&
                     Marvin32(header, log_entry::kHash2Span) == Rd64(header + log_entry::kHash2);
    log.entries.push_back(std::move(entry));
    at += log.entries.back().size;
  }
}

void ReadOld(Pieces& bytes, std::uint64_t size, std::uint32_t clustering, LogFile& log) {
  // The base block copy fills one sector; the clustering factor gives its size on disks whose
  // sectors are larger than 512 bytes.
  const std::uint64_t sector = clustering >= 1 && clustering <= 8 ? std::uint64_t{512} * clustering : 512;
  const std::uint64_t vectorAt = sector;
  const std::uint64_t bitmapBytes = (std::uint64_t{log.base.binsSize} / dirty_vector::kPageSize + 7) / 8;
  if (log.base.binsSize % kBinAlign != 0 || log.base.binsSize > kMaxBins) {
    log.problem = "its base block declares an invalid hive bins size";
    return;
  }
  if (size < vectorAt + dirty_vector::kBitmap + bitmapBytes) {
    log.problem = "the file ends inside its dirty vector";
    return;
  }
  const std::uint8_t* vector = bytes.Get(vectorAt, static_cast<std::size_t>(dirty_vector::kBitmap + bitmapBytes));
  if (vector == nullptr) {
    log.problem = Unreadable(vectorAt);
    return;
  }
  if (!HasSignature(vector + dirty_vector::kSignature, "DIRT")) {
    log.problem = "no \"DIRT\" dirty vector after its base block";
    return;
  }
  const std::uint8_t* bitmap = vector + dirty_vector::kBitmap;
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
    const std::uint32_t offset = i * dirty_vector::kPageSize;
    DirtyPage* last = log.oldPages.empty() ? nullptr : &log.oldPages.back();
    if (last != nullptr && last->offset + last->size == offset && last->at + last->size == pageAt) {
      last->size += dirty_vector::kPageSize;
    } else {
      log.oldPages.push_back(DirtyPage{offset, dirty_vector::kPageSize, pageAt});
    }
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

LogFile ReadLogFile(const ByteSource& source) {
  LogFile log;
  const std::uint64_t size = source.Size();
  Pieces bytes(source);
  const std::uint8_t* data = size < log_base::kSize ? nullptr : bytes.Get(0, log_base::kSize);
  if (data == nullptr || !HasSignature(data + base::kSignature, "regf")) {
    log.problem = size == 0 ? "it is empty" : data == nullptr && size >= log_base::kSize ? Unreadable(0)
                                                                                        : "it does not start with a \"regf\" base block";
    return log;
  }
  log.base.present = true;
  log.base.primarySeq = Rd32(data + base::kPrimarySeq);
  log.base.secondarySeq = Rd32(data + base::kSecondarySeq);
  log.base.lastWritten = Rd64(data + base::kLastWritten);
  log.base.fileType = Rd32(data + base::kFileType);
  log.base.binsSize = Rd32(data + base::kBinsSize);
  log.base.checksumOk = BaseBlockChecksum(data) == Rd32(data + base::kChecksum);
  const std::uint32_t clustering = Rd32(data + base::kClustering);
  if (log.base.fileType == log_base::kFileTypeNew) {
    log.format = LogFormat::kNew;
    ReadNew(bytes, size, log);
  } else if (log.base.fileType == log_base::kFileTypeOld) {
    log.format = LogFormat::kOld;
    ReadOld(bytes, size, clustering, log);
    if (!log.problem.empty() && log.oldPages.empty() && !log.oldComplete) log.format = LogFormat::kInvalid;
  } else {
    log.problem = "its file type " + std::to_string(log.base.fileType) + " is not a log's";
  }
  return log;
}

LogFile ReadLogFile(const std::uint8_t* data, std::size_t size) { return ReadLogFile(MemoryBytes(data, size)); }

}  // namespace hv::regf
