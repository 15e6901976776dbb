#pragma once
// Marvin32, the keyed 64-bit hash that protects the entries of a hive's transaction log.
#include <cstddef>
#include <cstdint>

namespace hv::regf {

// The seed the registry keys its log entries with. Its low 32 bits are the hash's first state
// word, its high 32 bits the second.
inline constexpr std::uint64_t kLogEntrySeed = 0x82EF4D887A4E55C5ull;

// The hash of `size` bytes at `data`: the second state word in the high half, the first in the
// low half, as a log entry stores it (little-endian).
std::uint64_t Marvin32(const std::uint8_t* data, std::size_t size, std::uint64_t seed = kLogEntrySeed);

}  // namespace hv::regf
