#pragma once
// The cells of one hive bin, as the reader walks them on every path that takes
// bins in: the whole-file load, the bins read on demand and their re-reads.
#include <cstdint>
#include <string>

#include "format.h"
#include "hex_text.h"

namespace hv::regf {

// Walks the cells of the hive bin at bins offset `off` whose `size` bytes lie at `bin`, calling
// cell(offset, raw size field) for each; the problem when a cell does not fit, else empty.
template <class OnCell>
inline std::string ScanCells(const std::uint8_t* bin, std::uint32_t off, std::uint32_t size, OnCell&& cell) {
  std::uint32_t c = off + kBinHeaderSize;
  const std::uint32_t end = off + size;
  while (c < end) {
    if (end - c < 8) return "cell at " + Hex(c) + " does not fit in its hive bin";
    const std::uint8_t* p = bin + (c - off);
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p + 4096);
#endif
    const std::int32_t raw = static_cast<std::int32_t>(Rd32(p + cell::kSize));
    const std::int64_t sz = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
    if (sz < 8 || sz % 8 != 0 || sz > end - c) return "cell at " + Hex(c) + " has an invalid size " + std::to_string(raw);
    cell(c, raw);
    c += static_cast<std::uint32_t>(sz);
  }
  return {};
}

}  // namespace hv::regf
