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

// The same hash over bytes that come in pieces of any size (a log entry read from its file a
// piece at a time): Add them in order, then Value gives what Marvin32 gives for them all.
class Marvin32Stream {
 public:
  explicit Marvin32Stream(std::uint64_t seed = kLogEntrySeed)
      : lo_(static_cast<std::uint32_t>(seed)), hi_(static_cast<std::uint32_t>(seed >> 32)) {}
  void Add(const std::uint8_t* data, std::size_t size);
  std::uint64_t Value() const;

 private:
  std::uint32_t lo_, hi_;
  std::uint8_t tail_[4] = {};
  std::size_t tailSize_ = 0;  // bytes waiting in tail_ for a whole word
};

}  // namespace hv::regf
