#include "hive_overlay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hv::regf {

HiveOverlay::HiveOverlay(std::string name, std::shared_ptr<const ByteSource> primary,
                         std::vector<std::shared_ptr<const ByteSource>> logs, std::vector<std::string> logNames)
    : name_(std::move(name)), primary_(std::move(primary)), logs_(std::move(logs)), logNames_(std::move(logNames)),
      base_(kBaseBlockSize, 0) {}

void HiveOverlay::Start(const std::uint8_t* baseBlock, std::size_t baseBytes, std::uint32_t binsSize) {
  Clear();
  std::fill(base_.begin(), base_.end(), 0);
  std::memcpy(base_.data(), baseBlock, std::min<std::size_t>(baseBytes, kBaseBlockSize));
  const std::uint64_t file = primary_->Size();
  const std::uint64_t have = file > kBaseBlockSize ? file - kBaseBlockSize : 0;
  bins_ = primaryBins_ = std::min<std::uint64_t>(have, binsSize);
}

void HiveOverlay::Clear() {
  ranges_.clear();
  bins_ = primaryBins_ = 0;
  logsUsed_.clear();
}

void HiveOverlay::Resize(std::uint32_t bins) {
  if (bins < bins_) {
    Cut(bins, static_cast<std::uint32_t>(bins_));
    primaryBins_ = std::min<std::uint64_t>(primaryBins_, bins);
  }
  bins_ = bins;
}

void HiveOverlay::Cut(std::uint32_t from, std::uint32_t to) {
  if (from >= to) return;
  auto it = ranges_.upper_bound(from);
  if (it != ranges_.begin()) {
    auto before = std::prev(it);
    if (before->second.end > from) it = before;
  }
  while (it != ranges_.end() && it->first < to) {
    const std::uint32_t start = it->first;
    const Range r = it->second;
    it = ranges_.erase(it);
    if (start < from) ranges_.emplace(start, Range{from, r.log, r.at});
    if (r.end > to) it = ranges_.emplace(to, Range{r.end, r.log, r.at + (to - start)}).first;
  }
}

void HiveOverlay::Write(std::uint32_t offset, std::uint32_t size, std::uint32_t log, std::uint64_t at) {
  if (size == 0) return;
  const std::uint32_t end = offset + size;
  Cut(offset, end);
  // A range that continues the one before it, in the hive and in the same log, joins it.
  auto next = ranges_.lower_bound(offset);
  if (next != ranges_.begin()) {
    auto before = std::prev(next);
    Range& r = before->second;
    if (r.end == offset && r.log == log && r.at + (offset - before->first) == at) {
      r.end = end;
      return;
    }
  }
  ranges_.emplace(offset, Range{end, log, at});
}

bool HiveOverlay::FromLog(std::uint32_t offset, std::uint32_t size) const {
  const std::uint64_t from = offset / 512 * 512;
  const std::uint64_t to = (std::uint64_t{offset} + size + 511) / 512 * 512;
  auto it = ranges_.upper_bound(static_cast<std::uint32_t>(std::min<std::uint64_t>(from, 0xFFFFFFFFu)));
  if (it != ranges_.begin() && std::prev(it)->second.end > from) return true;
  return it != ranges_.end() && it->first < to;
}

std::uint64_t HiveOverlay::LogBytes() const {
  std::uint64_t n = 0;
  for (const auto& [start, r] : ranges_) n += r.end - start;
  return n;
}

int HiveOverlay::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const {
  got = 0;
  const std::uint64_t total = Size();
  if (offset >= total) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, total - offset));
  if (offset < kBaseBlockSize) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kBaseBlockSize - offset));
    std::memcpy(data, base_.data() + offset, n);
    got = n;
  }
  if (got == size) return 0;
  // The bins [from, to): the primary's bytes, zeros past them, then the logs' ranges over them.
  const std::uint64_t from = offset + got - kBaseBlockSize, to = offset + size - kBaseBlockSize;
  std::uint8_t* out = data + got;
  if (from < primaryBins_) {
    const std::size_t n = static_cast<std::size_t>(std::min(to, primaryBins_) - from);
    std::size_t read = 0;
    if (const int e = primary_->ReadAt(kBaseBlockSize + from, out, n, read); e != 0) return e;
    if (read != n) return EIO;  // the primary shrank since recovery read it
  }
  if (to > primaryBins_) {
    const std::uint64_t zeroFrom = std::max(from, primaryBins_);
    std::memset(out + (zeroFrom - from), 0, static_cast<std::size_t>(to - zeroFrom));
  }
  auto it = ranges_.upper_bound(static_cast<std::uint32_t>(from));
  if (it != ranges_.begin() && std::prev(it)->second.end > from) --it;
  for (; it != ranges_.end() && it->first < to; ++it) {
    const std::uint64_t a = std::max<std::uint64_t>(from, it->first), b = std::min<std::uint64_t>(to, it->second.end);
    const std::size_t n = static_cast<std::size_t>(b - a);
    std::size_t read = 0;
    const std::uint64_t at = it->second.at + (a - it->first);
    if (const int e = logs_[it->second.log]->ReadAt(at, out + (a - from), n, read); e != 0) return e;
    if (read != n) return EIO;  // the log shrank since recovery read it
  }
  got = size;
  return 0;
}

}  // namespace hv::regf
