#pragma once
// A digest of a file's bytes that does not depend on the order in which they are counted: the
// sum of a mix of each aligned 8-byte word with its position. So bytes written once and patched
// later are counted as they end up by taking the old words out and putting the new ones in,
// without holding the file; reading the file back and counting it anew must give the same sum.
// It guards against damage between writing and reading back, not against an adversary.
#include <cstddef>
#include <cstdint>

namespace hv::regf {

class CopyDigest {
 public:
  // Counts `size` bytes found at file offset `at`; both multiples of 8.
  void Add(std::uint64_t at, const std::uint8_t* bytes, std::size_t size);
  // Takes out bytes counted before at the same place.
  void Remove(std::uint64_t at, const std::uint8_t* bytes, std::size_t size);
  std::uint64_t Value() const { return sum_; }

 private:
  std::uint64_t sum_ = 0;
};

}  // namespace hv::regf
