#include <algorithm>
#include <cstring>

#include "fixture.h"
#include "format.h"
#include "log_file.h"
#include "marvin32.h"

namespace hv::regf {
namespace {

std::uint32_t BinsOf(const std::vector<std::uint8_t>& image) {
  return static_cast<std::uint32_t>(image.size() > kBaseBlockSize ? image.size() - kBaseBlockSize : 0);
}

// The first 512 bytes of a base block, made a log's copy.
void PutLogBase(std::vector<std::uint8_t>& log, const std::vector<std::uint8_t>& hive, std::uint32_t fileType,
                std::uint32_t sequence) {
  std::memcpy(log.data(), hive.data(), log_base::kSize);
  Wr32(log.data() + base::kPrimarySeq, sequence);
  Wr32(log.data() + base::kSecondarySeq, sequence);
  Wr32(log.data() + base::kFileType, fileType);
  Wr32(log.data() + base::kChecksum, BaseBlockChecksum(log.data()));
}

}  // namespace

std::vector<std::uint8_t> WithSequenceNumbers(std::vector<std::uint8_t> image, std::uint32_t primary,
                                              std::uint32_t secondary) {
  Wr32(image.data() + base::kPrimarySeq, primary);
  Wr32(image.data() + base::kSecondarySeq, secondary);
  Wr32(image.data() + base::kChecksum, BaseBlockChecksum(image.data()));
  return image;
}

FixtureLogEntry LogEntryBetween(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to,
                                std::uint32_t sequence) {
  FixtureLogEntry e;
  e.sequence = sequence;
  e.binsSize = BinsOf(to);
  const std::uint32_t fromBins = BinsOf(from);
  for (std::uint32_t off = 0; off < e.binsSize; off += kBinAlign) {
    const std::uint8_t* page = to.data() + kBaseBlockSize + off;
    const bool same = off + kBinAlign <= fromBins && std::memcmp(page, from.data() + kBaseBlockSize + off, kBinAlign) == 0;
    if (same) continue;
    if (!e.pages.empty() && e.pages.back().offset + e.pages.back().bytes.size() == off) {
      e.pages.back().bytes.insert(e.pages.back().bytes.end(), page, page + kBinAlign);
    } else {
      e.pages.push_back({off, std::vector<std::uint8_t>(page, page + kBinAlign)});
    }
  }
  return e;
}

std::vector<std::uint8_t> BuildNewFormatLog(const std::vector<std::uint8_t>& hive, std::uint32_t baseSequence,
                                            const std::vector<FixtureLogEntry>& entries) {
  std::vector<std::uint8_t> log(log_entry::kFirst, 0);
  PutLogBase(log, hive, log_base::kFileTypeNew, baseSequence);
  for (const FixtureLogEntry& e : entries) {
    std::size_t size = log_entry::kReferences + e.pages.size() * page_ref::kLength;
    for (const auto& p : e.pages) size += p.bytes.size();
    size = (size + kBinAlign - 1) / kBinAlign * kBinAlign;
    const std::size_t at = log.size();
    log.resize(at + size, 0);
    std::uint8_t* h = log.data() + at;
    PutSignature(h + log_entry::kSignature, "HvLE");
    Wr32(h + log_entry::kSize, static_cast<std::uint32_t>(size));
    Wr32(h + log_entry::kFlags, e.flags);
    Wr32(h + log_entry::kSequence, e.sequence);
    Wr32(h + log_entry::kBinsSize, e.binsSize);
    Wr32(h + log_entry::kPageCount, static_cast<std::uint32_t>(e.pages.size()));
    std::size_t pageAt = log_entry::kReferences + e.pages.size() * page_ref::kLength;
    for (std::size_t i = 0; i < e.pages.size(); ++i) {
      std::uint8_t* r = h + log_entry::kReferences + i * page_ref::kLength;
      Wr32(r + page_ref::kOffset, e.pages[i].offset);
      Wr32(r + page_ref::kSize, static_cast<std::uint32_t>(e.pages[i].bytes.size()));
      std::memcpy(h + pageAt, e.pages[i].bytes.data(), e.pages[i].bytes.size());
      pageAt += e.pages[i].bytes.size();
    }
    Wr64(h + log_entry::kHash1, Marvin32(h + log_entry::kReferences, size - log_entry::kReferences));
    Wr64(h + log_entry::kHash2, Marvin32(h, log_entry::kHash2Span));
  }
  return log;
}

std::vector<std::uint8_t> BuildOldFormatLog(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to,
                                            std::uint32_t sequence) {
  const std::uint32_t bins = BinsOf(to), fromBins = BinsOf(from);
  const std::uint32_t pages = bins / dirty_vector::kPageSize;
  const std::size_t vectorBytes = dirty_vector::kBitmap + (pages + 7) / 8;
  const std::size_t pagesAt = dirty_vector::kOffset + (vectorBytes + 511) / 512 * 512;
  std::vector<std::uint8_t> log(pagesAt, 0);
  PutLogBase(log, to, log_base::kFileTypeOld, sequence);
  PutSignature(log.data() + dirty_vector::kOffset + dirty_vector::kSignature, "DIRT");
  for (std::uint32_t i = 0; i < pages; ++i) {
    const std::uint32_t off = i * dirty_vector::kPageSize;
    const std::uint8_t* page = to.data() + kBaseBlockSize + off;
    if (off + dirty_vector::kPageSize <= fromBins &&
        std::memcmp(page, from.data() + kBaseBlockSize + off, dirty_vector::kPageSize) == 0) {
      continue;
    }
    log[dirty_vector::kOffset + dirty_vector::kBitmap + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    log.insert(log.end(), page, page + dirty_vector::kPageSize);
  }
  return log;
}

}  // namespace hv::regf
