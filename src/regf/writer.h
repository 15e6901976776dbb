#pragma once
// The compact writer: a fresh image holding exactly the tree of a clean source hive.
#include <cstdint>
#include <vector>

#include "cell_sink.h"
#include "hive.h"

namespace hv::regf {

// Throws FormatError when the source is malformed (the walk validates it on the way).
std::vector<std::uint8_t> WriteCompactImage(const Hive& source);
// The same image streamed to `out`, holding about twice `window` bytes of it (plus the records
// of the key at hand); returns its size.
std::uint64_t WriteCompactCopy(const Hive& source, CellSink::Output& out, std::size_t window);

}  // namespace hv::regf
