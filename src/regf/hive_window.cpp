// The windowed hive: the whole tree reachable in memory bounded by a cache of bins.
#include <algorithm>
#include <bit>
#include <memory>

#include "bin_cells.h"
#include "hex_text.h"
#include "hive.h"
#include "hive_overlay.h"
#include "recovery.h"
#include "stop.h"

namespace hv::regf {
namespace {

// Pieces in which the first pass reads the bins: whole pages, so that no bin header or cell
// size field is ever cut by a piece's end.
constexpr std::size_t kPiece = std::size_t{1} << 20;
static_assert(kPiece % kBinAlign == 0);
// However large they are, the bins used last stay: a reader holds spans of a few cells at once.
constexpr std::size_t kKeepRecent = 4;
// A walk that asks for the bins one after another gets them in runs read at once, growing up
// to this (and to an eighth of the cache, so that the recent runs kept stay within it).
constexpr std::uint32_t kMaxRun = std::uint32_t{256} << 10;

}  // namespace

struct Hive::WindowState {
  // The file (or a dirty hive's overlay), shared by twins: its reads are positional.
  std::shared_ptr<const ByteSource> source;
  const HiveOverlay* overlay = nullptr;
  std::size_t limit = 0;
  // One bit per 4 KiB page: a bin starts here. Shared by twins.
  std::shared_ptr<std::vector<std::uint64_t>> binStarts;
  // The bins held, in slots linked from most to least recently used, each holding a run of
  // consecutive bins read at once; a slot keeps its buffer for the next run of the same size
  // once its bins are let go.
  struct Slot {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t start = 0, size = 0;
    std::uint32_t newer = kNoSlot, older = kNoSlot;
  };
  static constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
  std::vector<Slot> slots;
  std::vector<std::uint32_t> slotOf;  // per page: the slot holding the bin there, or kNoSlot
  std::vector<std::uint32_t> spare;   // slots holding no bin
  std::uint32_t newest = kNoSlot, oldest = kNoSlot;
  std::size_t linked = 0;  // slots holding a bin
  std::size_t held = 0;
  std::vector<std::uint8_t> baseBlock;
  // The run asked for last, answered without a lookup.
  std::uint32_t lastStart = 0;
  std::uint32_t lastSize = 0;
  const std::uint8_t* lastBytes = nullptr;
  // Read-ahead: the size of the last run read going forward, halved by each read that did not.
  std::uint32_t ahead = 0;

  bool BinStartsAt(std::uint32_t at) const { return ((*binStarts)[at / kBinAlign / 64] >> (at / kBinAlign % 64)) & 1u; }
  // The end of the bin starting at `start`: where the next one starts.
  std::uint32_t BinEnd(std::uint32_t start, std::uint32_t binsEnd) const {
    std::uint32_t end = start + kBinAlign;
    while (end < binsEnd && !BinStartsAt(end)) end += kBinAlign;
    return end;
  }
  // The end of the run to read from the bin at [start, end): that bin alone, or, when the walk
  // goes forward (the bin before it is held), the bins that follow it and are not held, up to
  // twice the last such run.
  std::uint32_t RunEnd(std::uint32_t start, std::uint32_t end, std::uint32_t binsEnd) {
    if (start == 0 || slotOf[start / kBinAlign - 1] == kNoSlot) {
      ahead /= 2;
      return end;
    }
    const std::uint32_t cap = static_cast<std::uint32_t>(std::clamp<std::size_t>(limit / 8, kBinAlign, kMaxRun));
    const std::uint32_t want = std::min(cap, std::max(2 * ahead, 4 * kBinAlign));
    while (end < binsEnd && end - start < want && slotOf[end / kBinAlign] == kNoSlot) {
      const std::uint32_t next = BinEnd(end, binsEnd);
      if (next - start > want) break;
      end = next;
    }
    ahead = end - start;
    return end;
  }

  void Unlink(std::uint32_t i) {
    Slot& s = slots[i];
    (s.newer == kNoSlot ? newest : slots[s.newer].older) = s.older;
    (s.older == kNoSlot ? oldest : slots[s.older].newer) = s.newer;
    s.newer = s.older = kNoSlot;
  }
  void MakeNewest(std::uint32_t i) {
    Slot& s = slots[i];
    s.older = newest;
    s.newer = kNoSlot;
    if (newest != kNoSlot) slots[newest].newer = i;
    newest = i;
    if (oldest == kNoSlot) oldest = i;
  }
};

// Reads the base block into a fresh window state over `source`.
void Hive::OpenWindow(std::shared_ptr<const ByteSource> source, const HiveOverlay* overlay, std::size_t cacheBytes) {
  window_ = std::make_shared<WindowState>();
  WindowState& w = *window_;
  w.source = std::move(source);
  w.overlay = overlay;
  w.limit = cacheBytes;
  fileSize_ = w.source->Size();
  w.baseBlock.resize(kBaseBlockSize);
  std::size_t got = 0;
  if (const int e = w.source->ReadAt(0, w.baseBlock.data(), kBaseBlockSize, got); e != 0) {
    Fail("cannot read the file: " + HostErrorText(e));
  }
  if (got < kBaseBlockSize) Fail("the file is too short to be a hive (" + std::to_string(got) + " bytes)");
  data_ = w.baseBlock.data();
  size_ = kBaseBlockSize;
}

Hive Hive::Windowed(const std::filesystem::path& file, std::size_t cacheBytes) {
  Hive h;
  h.name_ = file.string();
  h.OpenWindow(h.OpenFile(file), nullptr, cacheBytes);
  h.ParseBase(LoadOptions{});
  h.ScanWindowedBins();
  return h;
}

Hive Hive::Windowed(std::shared_ptr<const HiveOverlay> overlay, std::size_t cacheBytes) {
  Hive h;
  h.name_ = overlay->Name();
  const HiveOverlay* raw = overlay.get();
  h.OpenWindow(std::move(overlay), raw, cacheBytes);
  h.ParseBase(LoadOptions{});
  h.ScanWindowedBins();
  return h;
}

Hive Hive::WindowedTwin(std::size_t cacheBytes) const {
  if (!window_) Fail("not a windowed hive");
  Hive h;
  h.name_ = name_;
  h.window_ = std::make_shared<WindowState>();
  WindowState& w = *h.window_;
  w.source = window_->source;
  w.overlay = window_->overlay;
  w.limit = cacheBytes;
  // The same file, or one whose bins are read against what the first pass found.
  w.baseBlock.resize(kBaseBlockSize);
  std::size_t got = 0;
  if (const int e = w.source->ReadAt(0, w.baseBlock.data(), kBaseBlockSize, got); e != 0) {
    Fail("cannot read the file: " + HostErrorText(e));
  }
  if (got != kBaseBlockSize || w.baseBlock != window_->baseBlock) Fail("the file changed while it was read (its base block)");
  h.data_ = w.baseBlock.data();
  h.size_ = kBaseBlockSize;
  h.fileSize_ = fileSize_;
  h.base_ = base_;
  h.binsEnd_ = binsEnd_;
  h.binCount_ = binCount_;
  h.freeBytes_ = freeBytes_;
  h.freeCells_ = freeCells_;
  h.allocatedCells_ = allocatedCells_;
  h.cellStarts_ = cellStarts_;
  w.binStarts = window_->binStarts;
  w.slotOf.assign(window_->slotOf.size(), WindowState::kNoSlot);
  return h;
}

// A break in the bin chain. Over an overlay it is recovery's finding, named as recovery names it:
// the bin a log wrote, or the primary's.
void Hive::FailChain(std::uint32_t offset, const std::string& problem, const std::string& detail) const {
  const HiveOverlay* overlay = window_ ? window_->overlay : nullptr;
  if (overlay != nullptr) {
    Fail(RecoveredBinProblem(offset, problem, overlay->FromLog(offset, kBinHeaderSize), overlay->LogsUsed()));
  }
  Fail(detail);
}

// Load's checks of the bin chain and the cells, over pieces read in order.
void Hive::ScanWindowedBins() {
  WindowState& w = *window_;
  const std::uint32_t total = base_.binsSize;
  cellStarts_ = std::make_shared<std::vector<std::uint64_t>>(total / 512 + 1, 0);
  w.binStarts = std::make_shared<std::vector<std::uint64_t>>(total / kBinAlign / 64 + 1, 0);
  w.slotOf.assign(total / kBinAlign, WindowState::kNoSlot);
  std::vector<std::uint8_t> piece(kPiece);
  std::uint64_t pieceStart = 0, pieceEnd = 0;
  // The piece holding bins offset `at`, read when the walk reaches it (it only moves forward).
  auto bytesAt = [&](std::uint32_t at) -> const std::uint8_t* {
    while (at >= pieceEnd) {
      ThrowIfStopped();
      pieceStart = pieceEnd;
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, total - pieceStart));
      std::size_t got = 0;
      const int e = w.source->ReadAt(kBaseBlockSize + pieceStart, piece.data(), want, got);
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
    if (total - off < kBinHeaderSize) FailChain(off, "no hive bin signature", "hive bin at " + Hex(off) + " is cut short");
    if (!HasSignature(p + bin::kSignature, "hbin")) {
      FailChain(off, "no hive bin signature", "no hive bin signature at " + Hex(off) + " (the bin chain is broken)");
    }
    if (Rd32(p + bin::kOffset) != off) {
      FailChain(off, "it claims offset " + Hex(Rd32(p + bin::kOffset)),
                "hive bin at " + Hex(off) + " claims offset " + Hex(Rd32(p + bin::kOffset)));
    }
    const std::uint32_t binSize = Rd32(p + bin::kSize);
    if (binSize < kBinAlign || binSize % kBinAlign != 0 || binSize > total - off) {
      FailChain(off, "invalid size " + Hex(binSize), "hive bin at " + Hex(off) + " has an invalid size " + Hex(binSize));
    }
    (*w.binStarts)[off / kBinAlign / 64] |= std::uint64_t{1} << (off / kBinAlign % 64);
    const std::uint32_t end = off + binSize;
    for (std::uint32_t c = off + kBinHeaderSize; c < end;) {
      if (end - c < 8) Fail("cell at " + Hex(c) + " does not fit in its hive bin");
      const std::int32_t raw = static_cast<std::int32_t>(Rd32(bytesAt(c) + cell::kSize));
      const std::int64_t sz = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
      if (sz < 8 || sz % 8 != 0 || sz > end - c) Fail("cell at " + Hex(c) + " has an invalid size " + std::to_string(raw));
      if (raw < 0) {
        (*cellStarts_)[c / 512] |= std::uint64_t{1} << ((c / 8) % 64);
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

// True when the bin of `size` bytes at `b`, read again at bins offset `start`, is the one the
// first pass validated: its header, and its cells starting exactly where allocated cells started.
bool Hive::HoldsFirstPassCells(const std::uint8_t* b, std::uint32_t start, std::uint32_t size) const {
  bool same = HasSignature(b + bin::kSignature, "hbin") && Rd32(b + bin::kOffset) == start && Rd32(b + bin::kSize) == size;
  std::uint64_t starts = 0;  // cell starts of the 512 bytes at `at`
  std::uint32_t at = start;
  if (same) {
    same = ScanCells(b, start, size, [&](std::uint32_t c, std::int32_t raw) {
             for (; c - at >= 512; at += 512, starts = 0) same = same && starts == (*cellStarts_)[at / 512];
             if (raw < 0) starts |= std::uint64_t{1} << ((c - at) / 8);
           }).empty() &&
           same;
  }
  for (; same && at < start + size; at += 512, starts = 0) same = starts == (*cellStarts_)[at / 512];
  return same;
}

const std::uint8_t* Hive::WindowAt(std::uint32_t offset) const {
  WindowState& w = *window_;
  if (w.lastBytes != nullptr && offset - w.lastStart < w.lastSize) return w.lastBytes + (offset - w.lastStart);
  if (offset >= binsEnd_) Fail("no hive bin holds the offset " + Hex(offset));
  std::uint32_t slot = w.slotOf[offset / kBinAlign];
  if (slot == WindowState::kNoSlot) {
    w.lastBytes = nullptr;  // the bin it names may be let go below
    // The bin is the nearest start at or below the offset; it ends where the next one starts.
    std::size_t word = offset / kBinAlign / 64;
    std::uint64_t bits = (*w.binStarts)[word] & (~std::uint64_t{0} >> (63 - offset / kBinAlign % 64));
    while (bits == 0) bits = (*w.binStarts)[--word];  // bin 0 always starts at 0
    const std::uint32_t start = static_cast<std::uint32_t>((word * 64 + 63 - std::countl_zero(bits)) * kBinAlign);
    const std::uint32_t end = w.RunEnd(start, w.BinEnd(start, binsEnd_), binsEnd_);
    const std::uint32_t size = end - start;
    // The least recently used runs go until this one fits; the last one let go lends its slot.
    while (w.oldest != WindowState::kNoSlot && w.held + size > w.limit && w.linked > kKeepRecent) {
      const std::uint32_t victim = w.oldest;
      WindowState::Slot& v = w.slots[victim];
      w.Unlink(victim);
      --w.linked;
      std::fill_n(w.slotOf.begin() + v.start / kBinAlign, v.size / kBinAlign, WindowState::kNoSlot);
      w.held -= v.size;
      if (slot != WindowState::kNoSlot) {  // an earlier victim: its buffer goes, its slot waits
        w.slots[slot].bytes.reset();
        w.spare.push_back(slot);
      }
      slot = victim;
      if (v.size != size) v.bytes.reset();
    }
    if (slot == WindowState::kNoSlot && !w.spare.empty()) {
      slot = w.spare.back();
      w.spare.pop_back();
    }
    if (slot == WindowState::kNoSlot) {
      slot = static_cast<std::uint32_t>(w.slots.size());
      w.slots.emplace_back();
    }
    WindowState::Slot& held = w.slots[slot];
    if (!held.bytes) held.bytes.reset(new std::uint8_t[size]);
    held.start = start;
    held.size = size;
    std::size_t got = 0;
    const int e = w.source->ReadAt(kBaseBlockSize + std::uint64_t{start}, held.bytes.get(), size, got);
    if (e != 0) {
      held.bytes.reset();
      w.spare.push_back(slot);
      Fail("cannot read the file: " + HostErrorText(e));
    }
    // What was validated in the first pass is what is read now, or the file changed under the
    // reader: each bin's header, and every cell starting where one started then.
    for (std::uint32_t at = start; at < end;) {
      const std::uint32_t binEnd = w.BinEnd(at, binsEnd_);
      if (got < end - start || !HoldsFirstPassCells(held.bytes.get() + (at - start), at, binEnd - at)) {
        held.bytes.reset();
        w.spare.push_back(slot);
        Fail("the file changed while it was read (the hive bin at " + Hex(at) + ")");
      }
      at = binEnd;
    }
    w.held += size;
    std::fill_n(w.slotOf.begin() + start / kBinAlign, size / kBinAlign, slot);
    w.MakeNewest(slot);
    ++w.linked;
  } else if (slot != w.newest) {
    w.Unlink(slot);
    w.MakeNewest(slot);
  }
  const WindowState::Slot& found = w.slots[slot];
  const std::uint32_t start = found.start;
  w.lastStart = start;
  w.lastSize = found.size;
  w.lastBytes = found.bytes.get();
  return w.lastBytes + (offset - start);
}

std::optional<Hive> TryWindowed(const std::filesystem::path& file, std::size_t cacheBytes) {
  try {
    return Hive::Windowed(file, cacheBytes);
  } catch (const Stopped&) {
    throw;  // not a refusal: the whole file would only be read to stop the same way
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace hv::regf
