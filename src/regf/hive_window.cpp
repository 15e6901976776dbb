// The windowed hive: the whole tree reachable in memory bounded by a cache of bins.
#include <algorithm>
#include <bit>
#include <list>
#include <sstream>
#include <unordered_map>

#include "hive.h"
#include "stop.h"

namespace hv::regf {
namespace {

std::string Hex(std::uint64_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << v;
  return s.str();
}

// Pieces in which the first pass reads the bins: whole pages, so that no bin header or cell
// size field is ever cut by a piece's end.
constexpr std::size_t kPiece = std::size_t{1} << 20;
static_assert(kPiece % kBinAlign == 0);

}  // namespace

struct Hive::WindowState {
  HostFile file;
  std::size_t limit = 0;
  std::vector<std::uint64_t> binStarts;  // one bit per 4 KiB page: a bin starts here
  struct HeldBin {
    std::vector<std::uint8_t> bytes;
    std::list<std::uint32_t>::iterator use;
  };
  std::unordered_map<std::uint32_t, HeldBin> bins;
  std::list<std::uint32_t> uses;  // bin starts, most recently used first
  std::size_t held = 0;
  std::vector<std::uint8_t> baseBlock;
  // The bin asked for last, answered without a lookup.
  std::uint32_t lastStart = 0;
  std::uint32_t lastSize = 0;
  const std::uint8_t* lastBytes = nullptr;
};

Hive Hive::Windowed(const std::filesystem::path& file, std::size_t cacheBytes) {
  Hive h;
  h.name_ = file.string();
  h.window_ = std::make_shared<WindowState>();
  WindowState& w = *h.window_;
  w.limit = cacheBytes;
  int e = w.file.Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting);
  if (e == 0) h.fileSize_ = w.file.Size(e);
  if (e != 0) h.Fail("cannot read the file: " + HostErrorText(e));
  w.baseBlock.resize(kBaseBlockSize);
  std::size_t got = 0;
  if ((e = w.file.ReadAt(0, w.baseBlock.data(), kBaseBlockSize, got)) != 0) h.Fail("cannot read the file: " + HostErrorText(e));
  if (got < kBaseBlockSize) h.Fail("the file is too short to be a hive (" + std::to_string(got) + " bytes)");
  h.data_ = w.baseBlock.data();
  h.size_ = kBaseBlockSize;
  h.ParseBase(LoadOptions{});
  h.ScanWindowedBins();
  return h;
}

// Load's checks of the bin chain and the cells, over pieces read in order.
void Hive::ScanWindowedBins() {
  WindowState& w = *window_;
  const std::uint32_t total = base_.binsSize;
  cellStarts_.assign(total / 512 + 1, 0);
  w.binStarts.assign(total / kBinAlign / 64 + 1, 0);
  std::vector<std::uint8_t> piece(kPiece);
  std::uint64_t pieceStart = 0, pieceEnd = 0;
  // The piece holding bins offset `at`, read when the walk reaches it (it only moves forward).
  auto bytesAt = [&](std::uint32_t at) -> const std::uint8_t* {
    while (at >= pieceEnd) {
      ThrowIfStopped();
      pieceStart = pieceEnd;
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, total - pieceStart));
      std::size_t got = 0;
      const int e = w.file.ReadAt(kBaseBlockSize + pieceStart, piece.data(), want, got);
      if (e != 0) Fail("cannot read the file: " + HostErrorText(e));
      if (got < want) {
        Fail("the file is truncated: its base block declares " + std::to_string(total) +
             " bytes of hive bins but only " + std::to_string(pieceStart + got) + " follow");
      }
      pieceEnd = pieceStart + want;
    }
    return piece.data() + (at - pieceStart);
  };
  std::uint32_t off = 0;
  while (off < total) {
    const std::uint8_t* p = bytesAt(off);
    if (total - off < kBinHeaderSize) Fail("hive bin at " + Hex(off) + " is cut short");
    if (!HasSignature(p + bin::kSignature, "hbin")) Fail("no hive bin signature at " + Hex(off) + " (the bin chain is broken)");
    if (Rd32(p + bin::kOffset) != off) Fail("hive bin at " + Hex(off) + " claims offset " + Hex(Rd32(p + bin::kOffset)));
    const std::uint32_t binSize = Rd32(p + bin::kSize);
    if (binSize < kBinAlign || binSize % kBinAlign != 0 || binSize > total - off) {
      Fail("hive bin at " + Hex(off) + " has an invalid size " + Hex(binSize));
    }
    w.binStarts[off / kBinAlign / 64] |= std::uint64_t{1} << (off / kBinAlign % 64);
    const std::uint32_t end = off + binSize;
    for (std::uint32_t c = off + kBinHeaderSize; c < end;) {
      if (end - c < 8) Fail("cell at " + Hex(c) + " does not fit in its hive bin");
      const std::int32_t raw = static_cast<std::int32_t>(Rd32(bytesAt(c) + cell::kSize));
      const std::int64_t sz = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
      if (sz < 8 || sz % 8 != 0 || sz > end - c) Fail("cell at " + Hex(c) + " has an invalid size " + std::to_string(raw));
      if (raw < 0) {
        cellStarts_[c / 512] |= std::uint64_t{1} << ((c / 8) % 64);
        ++allocatedCells_;
      } else {
        freeBytes_ += static_cast<std::uint64_t>(raw);
        ++freeCells_;
      }
      c += static_cast<std::uint32_t>(sz);
    }
    ++binCount_;
    off = end;
  }
  binsEnd_ = total;
  if (!IsAllocatedCell(base_.rootCell)) Fail("the root cell offset " + Hex(base_.rootCell) + " is not an allocated cell");
}

const std::uint8_t* Hive::WindowAt(std::uint32_t offset) const {
  WindowState& w = *window_;
  if (w.lastBytes != nullptr && offset - w.lastStart < w.lastSize) return w.lastBytes + (offset - w.lastStart);
  if (offset >= binsEnd_) Fail("no hive bin holds the offset " + Hex(offset));
  // The bin is the nearest start at or below the offset; it ends where the next one starts.
  std::size_t word = offset / kBinAlign / 64;
  std::uint64_t bits = w.binStarts[word] & (~std::uint64_t{0} >> (63 - offset / kBinAlign % 64));
  while (bits == 0) bits = w.binStarts[--word];  // bin 0 always starts at 0
  const std::uint32_t start = static_cast<std::uint32_t>((word * 64 + 63 - std::countl_zero(bits)) * kBinAlign);

  auto found = w.bins.find(start);
  if (found == w.bins.end()) {
    std::uint32_t end = start + kBinAlign;
    while (end < binsEnd_ && !((w.binStarts[end / kBinAlign / 64] >> (end / kBinAlign % 64)) & 1u)) end += kBinAlign;
    const std::uint32_t size = end - start;
    while (!w.uses.empty() && w.held + size > w.limit) {
      auto old = w.bins.find(w.uses.back());
      w.held -= old->second.bytes.size();
      w.bins.erase(old);
      w.uses.pop_back();
    }
    WindowState::HeldBin loaded;
    loaded.bytes.resize(size);
    std::size_t got = 0;
    const int e = w.file.ReadAt(kBaseBlockSize + std::uint64_t{start}, loaded.bytes.data(), size, got);
    if (e != 0) Fail("cannot read the file: " + HostErrorText(e));
    // What was validated in the first pass is what is read now, or the file changed under the
    // reader: the header, and every cell starting where one started then.
    const std::string changed = "the file changed while it was read (the hive bin at " + Hex(start) + ")";
    const std::uint8_t* b = loaded.bytes.data();
    if (got < size || !HasSignature(b + bin::kSignature, "hbin") || Rd32(b + bin::kOffset) != start ||
        Rd32(b + bin::kSize) != size) {
      Fail(changed);
    }
    std::vector<std::uint64_t> starts(size / 512, 0);  // bins start on whole words of the bitmap
    for (std::uint32_t c = start + kBinHeaderSize; c < end;) {
      if (end - c < 8) Fail(changed);
      const std::int32_t raw = static_cast<std::int32_t>(Rd32(b + (c - start) + cell::kSize));
      const std::int64_t sz = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
      if (sz < 8 || sz % 8 != 0 || sz > end - c) Fail(changed);
      if (raw < 0) starts[(c - start) / 512] |= std::uint64_t{1} << (((c - start) / 8) % 64);
      c += static_cast<std::uint32_t>(sz);
    }
    if (!std::equal(starts.begin(), starts.end(), cellStarts_.begin() + start / 512)) Fail(changed);
    w.uses.push_front(start);
    loaded.use = w.uses.begin();
    w.held += size;
    found = w.bins.emplace(start, std::move(loaded)).first;
  } else {
    w.uses.splice(w.uses.begin(), w.uses, found->second.use);
  }
  w.lastStart = start;
  w.lastSize = static_cast<std::uint32_t>(found->second.bytes.size());
  w.lastBytes = found->second.bytes.data();
  return w.lastBytes + (offset - start);
}

}  // namespace hv::regf
