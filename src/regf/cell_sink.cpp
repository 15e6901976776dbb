#include "cell_sink.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace hv::regf {

CellSink::CellSink(std::uint32_t minor, std::size_t reserve, std::size_t prefault)
    : minor_(minor), holes_(kBinAlign / 8) {
  buf_.reserve(reserve < kBaseBlockSize + kBinAlign ? kBaseBlockSize + kBinAlign : reserve);
  buf_.resize(kBaseBlockSize);
  // The writer's first pages are its own; the helper starts where it will arrive a little later.
  constexpr std::size_t kPage = 4096, kLead = std::size_t{2} << 20;
  const std::size_t end = std::min(prefault, buf_.capacity());
  touched_.store(std::max(kLead, buf_.size()), std::memory_order_relaxed);
  if (end <= kLead) return;
  try {
    toucher_ = std::jthread([this, base = buf_.data(), end](std::stop_token stop) noexcept {
      for (std::size_t at = touched_.load(std::memory_order_relaxed); at < end && !stop.stop_requested(); at += kPage) {
        base[at] = 0;
        touched_.store(at + kPage, std::memory_order_release);
      }
    });
  } catch (const std::system_error&) {
    // Without a helper the writer touches its pages itself.
  }
}

CellSink::CellSink(std::uint32_t minor, Output& out, std::size_t window)
    : minor_(minor), out_(&out), window_(window), holes_(kBinAlign / 8) {
  buf_.reserve(2 * window + kBaseBlockSize + kBinAlign);
  buf_.resize(kBaseBlockSize);
}

void CellSink::Checkpoint() {
  if (out_ == nullptr || buf_.size() < 2 * window_) return;
  // An open bin that bins of single large cells have left far behind is closed, so that it
  // does not hold them all in memory.
  if (open_ && ImageSize() - (kBaseBlockSize + std::uint64_t{binStart_}) > window_) CloseBin();
  // Everything but the newest window_ bytes and the open bin, in whole pages.
  std::uint64_t until = ImageSize() - window_;
  if (open_) until = std::min<std::uint64_t>(until, kBaseBlockSize + std::uint64_t{binStart_});
  until = until / kBinAlign * kBinAlign;
  if (until <= windowStart_) return;
  const std::size_t n = static_cast<std::size_t>(until - windowStart_);
  out_->Append(buf_.data(), n);
  buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(n));
  windowStart_ = until;
}

void CellSink::ReadData(std::uint32_t offset, std::uint32_t from, std::uint8_t* bytes, std::uint32_t size) {
  if (Resident(offset)) {
    std::memcpy(bytes, Data(offset) + from, size);
  } else {
    out_->Read(kBaseBlockSize + std::uint64_t{offset} + cell::kData + from, bytes, size);
  }
}

void CellSink::WriteData(std::uint32_t offset, std::uint32_t from, const std::uint8_t* bytes, std::uint32_t size) {
  if (Resident(offset)) {
    std::memcpy(Data(offset) + from, bytes, size);
  } else {
    out_->Patch(kBaseBlockSize + std::uint64_t{offset} + cell::kData + from, bytes, size);
  }
}

void CellSink::StopToucher() {
  if (!toucher_.joinable()) return;
  toucher_.request_stop();
  toucher_.join();
}

void CellSink::Grow(std::size_t size) {
  if (toucher_.joinable() && size > touched_.load(std::memory_order_acquire)) StopToucher();
  buf_.resize(size);
}

void CellSink::AddHole(std::uint32_t offset, std::uint32_t size) {
  Wr32(Byte(offset) + cell::kSize, size);
  if (size < kBinAlign) {
    holes_[size / 8].push_back(offset);
    holeSizes_[size / 8 / 64] |= std::uint64_t{1} << (size / 8 % 64);
  }
}

std::uint32_t CellSink::TakeHole(std::uint32_t cellSize) {
  // The smallest non-empty size class at or above cellSize, found by scanning the bit words.
  // Holes of a streamed image that left the window are dropped as they are met.
  const std::size_t first = cellSize / 8;
  for (std::size_t w = first / 64; w < std::size(holeSizes_); ++w) {
    std::uint64_t bits = holeSizes_[w];
    if (w == first / 64) bits &= ~std::uint64_t{0} << (first % 64);
    while (bits != 0) {
      const std::size_t i = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
      const std::uint32_t at = holes_[i].back();
      holes_[i].pop_back();
      if (holes_[i].empty()) {
        holeSizes_[w] &= ~(std::uint64_t{1} << (i % 64));
        bits &= ~(std::uint64_t{1} << (i % 64));
      }
      if (!Resident(at)) continue;
      const std::uint32_t rest = static_cast<std::uint32_t>(i * 8) - cellSize;
      if (rest > 0) AddHole(at + cellSize, rest);
      return at;
    }
  }
  return kNone;
}

void CellSink::CloseBin() {
  if (!open_) return;
  if (next_ < binEnd_) AddHole(next_, binEnd_ - next_);
  open_ = false;
}

std::uint32_t CellSink::Place(std::uint32_t cellSize) {
  if (open_ && binEnd_ - next_ < cellSize && cellSize < kBinAlign) {
    const std::uint32_t hole = TakeHole(cellSize);
    if (hole != kNone) return hole;
  }
  if (open_ && binEnd_ - next_ >= cellSize) {
    const std::uint32_t at = next_;
    next_ += cellSize;
    return at;
  }
  // A cell that needs a bin above the usual size (big data segments, long lists) gets one of
  // its own and the open bin stays open for the cells that follow, so its tail is not lost.
  const std::uint64_t need = static_cast<std::uint64_t>(cellSize) + kBinHeaderSize;
  const std::uint64_t binSize = (need + kBinAlign - 1) / kBinAlign * kBinAlign;
  const bool own = binSize > kBinAlign && open_;
  if (!own) CloseBin();
  const std::uint32_t start = static_cast<std::uint32_t>(ImageSize() - kBaseBlockSize);
  if (static_cast<std::uint64_t>(start) + binSize > 0x7FFFF000u) throw std::length_error("hive image exceeds 2 GiB");
  Grow(buf_.size() + static_cast<std::size_t>(binSize));
  std::uint8_t* h = Byte(start);
  PutSignature(h + bin::kSignature, "hbin");
  Wr32(h + bin::kOffset, start);
  Wr32(h + bin::kSize, static_cast<std::uint32_t>(binSize));
  const std::uint32_t at = start + kBinHeaderSize;
  if (own) {
    const std::uint32_t end = start + static_cast<std::uint32_t>(binSize);
    if (at + cellSize < end) AddHole(at + cellSize, end - at - cellSize);
    return at;
  }
  binStart_ = start;
  binEnd_ = start + static_cast<std::uint32_t>(binSize);
  next_ = at + cellSize;
  open_ = true;
  return at;
}

std::uint32_t CellSink::Alloc(std::uint32_t dataSize) {
  const std::uint32_t cellSize = (dataSize + cell::kData + cell::kAlign - 1) & ~(cell::kAlign - 1);
  const std::uint32_t at = Place(cellSize);
  Wr32(Byte(at) + cell::kSize, static_cast<std::uint32_t>(-static_cast<std::int32_t>(cellSize)));
  return at;
}

std::uint32_t CellSink::AllocFree(std::uint32_t dataSize) {
  const std::uint32_t at = Alloc(dataSize);
  Release(at);
  return at;
}

void CellSink::Release(std::uint32_t offset) {
  std::uint8_t* p = Byte(offset) + cell::kSize;
  const std::int32_t raw = static_cast<std::int32_t>(Rd32(p));
  if (raw < 0) Wr32(p, static_cast<std::uint32_t>(-raw));
}

std::uint32_t CellSink::DataSize(std::uint32_t offset) const {
  const std::int32_t raw = static_cast<std::int32_t>(Rd32(Byte(offset) + cell::kSize));
  return static_cast<std::uint32_t>(raw < 0 ? -raw : raw) - cell::kData;
}

std::uint32_t CellSink::ListElementHash(const NameRef& name) const {
  if (minor_ < 3) return 0;
  return minor_ > 4 ? NameHash(name) : NameHint(name);
}

std::uint32_t CellSink::WriteSubkeyList(const std::uint32_t* children, std::size_t count) {
  std::vector<std::uint32_t> hashes(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* key = Data(children[i]);
    hashes[i] = ListElementHash(
        NameRef{key + nk::kName, Rd16(key + nk::kNameLen), (Rd16(key + nk::kFlags) & kKeyCompName) != 0});
  }
  return WriteSubkeyList(children, hashes.data(), count);
}

std::uint32_t CellSink::WriteSubkeyList(const std::uint32_t* children, const std::uint32_t* hashes, std::size_t count) {
  if (count == 0) return kNone;
  // The leaf kind each version's Windows writes: "li" (offsets only) in 1.2, "lf" (with name
  // hints) from 1.3, "lh" (with name hashes) from 1.5.
  const bool plain = minor_ < 3;
  const bool hash = minor_ > 4;
  auto writeLeaf = [&](const std::uint32_t* keys, const std::uint32_t* keyHashes, std::size_t n) {
    const std::uint32_t stride = plain ? list::kOffsetElement : list::kHashElement;
    const std::uint32_t leaf = Alloc(static_cast<std::uint32_t>(list::kElements + stride * n));
    std::uint8_t* p = Data(leaf);
    if (plain) {
      PutSignature(p + list::kSignature, "li");
    } else if (hash) {
      PutSignature(p + list::kSignature, "lh");
    } else {
      PutSignature(p + list::kSignature, "lf");
    }
    Wr16(p + list::kCount, static_cast<std::uint16_t>(n));
    if (plain) {
      for (std::size_t i = 0; i < n; ++i) Wr32(p + list::kElements + stride * i, keys[i]);
      return leaf;
    }
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t* element = p + list::kElements + list::kHashElement * i;
      Wr32(element, keys[i]);
      Wr32(element + list::kElementHash, keyHashes[i]);
    }
    return leaf;
  };
  if (count <= kLeafMax) return writeLeaf(children, hashes, count);
  // Leaves of equal share, none above kLeafMax, as Windows splits a long list.
  const std::size_t leaves = (count + kLeafMax - 1) / kLeafMax;
  const std::size_t per = (count + leaves - 1) / leaves;
  std::vector<std::uint32_t> leafOffsets;
  leafOffsets.reserve(leaves);
  for (std::size_t i = 0; i < count; i += per) leafOffsets.push_back(writeLeaf(children + i, hashes + i, std::min(per, count - i)));
  const std::uint32_t ri = Alloc(static_cast<std::uint32_t>(list::kElements + list::kOffsetElement * leafOffsets.size()));
  std::uint8_t* p = Data(ri);
  PutSignature(p + list::kSignature, "ri");
  Wr16(p + list::kCount, static_cast<std::uint16_t>(leafOffsets.size()));
  for (std::size_t i = 0; i < leafOffsets.size(); ++i) {
    Wr32(p + list::kElements + list::kOffsetElement * i, leafOffsets[i]);
  }
  return ri;
}

void CellSink::WriteValueData(const std::uint8_t* data, std::uint32_t size, std::uint32_t& rawSize,
                              std::uint32_t& dataOffset) {
  if (size <= vk::kInlineMax) {
    std::uint8_t word[vk::kInlineMax] = {0, 0, 0, 0};
    if (size > 0) std::memcpy(word, data, size);
    rawSize = size | vk::kDataInline;
    dataOffset = Rd32(word);
    return;
  }
  rawSize = size;
  if (minor_ > 3 && size > kBigDataSegment) {
    const std::uint32_t segments = (size + kBigDataSegment - 1) / kBigDataSegment;
    const std::uint32_t db = Alloc(db::kSize);
    const std::uint32_t segmentList = Alloc(db::kSegmentElement * segments);
    for (std::uint32_t i = 0; i < segments; ++i) {
      const std::uint32_t take = std::min(kBigDataSegment, size - i * kBigDataSegment);
      // Every segment cell, the last included, has room for a whole segment, as Windows and
      // Microsoft's offline library allocate them: readers built on that layout (libregf among
      // them) take a segment's length from its cell size and would cut a shorter last cell short.
      const std::uint32_t seg = Alloc(kBigDataSegment);
      std::memcpy(Data(seg), data + static_cast<std::size_t>(i) * kBigDataSegment, take);
      Wr32(Data(segmentList) + db::kSegmentElement * i, seg);
    }
    std::uint8_t* p = Data(db);
    PutSignature(p + db::kSignature, "db");
    Wr16(p + db::kSegmentCount, static_cast<std::uint16_t>(segments));
    Wr32(p + db::kSegmentList, segmentList);
    dataOffset = db;
    return;
  }
  const std::uint32_t cell = Alloc(size);
  std::memcpy(Data(cell), data, size);
  dataOffset = cell;
}

std::vector<std::uint8_t> CellSink::Finish(const BaseFields& f) {
  StopToucher();
  if (!open_ && ImageSize() == kBaseBlockSize) Place(8), next_ -= 8;  // an empty hive still has one bin
  CloseBin();
  std::uint8_t b[kBaseBlockSize] = {};
  PutSignature(b + base::kSignature, "regf");
  Wr32(b + base::kPrimarySeq, f.sequence);
  Wr32(b + base::kSecondarySeq, f.secondary);
  Wr64(b + base::kLastWritten, f.lastWritten);
  Wr32(b + base::kMajor, 1);
  Wr32(b + base::kMinor, minor_);
  Wr32(b + base::kFileType, 0);
  Wr32(b + base::kFormat, 1);
  Wr32(b + base::kRootCell, f.root);
  Wr32(b + base::kBinsSize, static_cast<std::uint32_t>(ImageSize() - kBaseBlockSize));
  Wr32(b + base::kClustering, 1);
  if (f.fileName != nullptr) std::memcpy(b + base::kFileName, f.fileName, base::kFileNameSize);
  if (f.transactionFields != nullptr) {
    std::memcpy(b + base::kRmId, f.transactionFields, base::kLastReorganized - base::kRmId);
  }
  Wr64(b + base::kLastReorganized, f.lastReorganized);
  Wr32(b + base::kChecksum, BaseBlockChecksum(b));
  // The first bin's timestamp mirrors the base block's, as Windows writes it.
  std::uint8_t stamp[8];
  Wr64(stamp, f.lastWritten);
  if (windowStart_ == 0) {
    std::memcpy(buf_.data(), b, kBaseBlockSize);
    std::memcpy(buf_.data() + kBaseBlockSize + bin::kTimestamp, stamp, sizeof stamp);
  }
  if (out_ == nullptr) return std::move(buf_);
  out_->Append(buf_.data(), buf_.size());
  if (windowStart_ != 0) {
    out_->Patch(0, b, kBaseBlockSize);
    out_->Patch(kBaseBlockSize + bin::kTimestamp, stamp, sizeof stamp);
  }
  windowStart_ += buf_.size();
  buf_.clear();
  buf_.shrink_to_fit();
  return {};
}

}  // namespace hv::regf
