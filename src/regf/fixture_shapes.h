#pragma once
// Malformed hives of the shapes that make a careless reader amplify: one cell reached through
// many references. Made from fixture images for the tests, the fuzz corpus and the measurements
// of what reading them costs (scripts/measure-amplification).
#include <cstdint>
#include <vector>

namespace hv::regf {

// Appends one hive bin holding allocated cells of the given data sizes (zeroed) to a built image
// without slack, updates the base block's bins size and checksum, and returns the cells' offsets.
std::vector<std::uint32_t> AppendCells(std::vector<std::uint8_t>& image, const std::vector<std::uint32_t>& dataSizes);

enum class SharedShape {
  kBigDataSegment,  // a big-data list naming one 16,344-byte segment `count` times (<= 65535)
  kValueList,       // `count` keys sharing one value list of `count2` values
  kValue,           // one key whose value list names one value of `count2` bytes `count` times
  kSubkeyList,      // `count` keys sharing the subkey list of a key with one subkey
};

// A version 1.5 hive of the shape; `count`/`count2` as described above (0 picks a small size).
std::vector<std::uint8_t> SharedCellHive(SharedShape shape, std::uint32_t count = 0, std::uint32_t count2 = 0);

}  // namespace hv::regf
