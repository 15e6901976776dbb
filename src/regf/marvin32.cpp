#include "marvin32.h"

#include "format.h"

namespace hv::regf {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

inline void Mix(std::uint32_t& lo, std::uint32_t& hi) {
  hi ^= lo;
  lo = Rotl(lo, 20);
  lo += hi;
  hi = Rotl(hi, 9);
  hi ^= lo;
  lo = Rotl(lo, 27);
  lo += hi;
  hi = Rotl(hi, 19);
}

}  // namespace

std::uint64_t Marvin32(const std::uint8_t* data, std::size_t size, std::uint64_t seed) {
  std::uint32_t lo = static_cast<std::uint32_t>(seed);
  std::uint32_t hi = static_cast<std::uint32_t>(seed >> 32);
  for (; size >= 4; size -= 4, data += 4) {
    lo += Rd32(data);
    Mix(lo, hi);
  }
  // The tail of 0-3 bytes, closed by a 0x80 byte, makes one last word.
  std::uint32_t last = 0x80;
  for (std::size_t i = size; i-- > 0;) last = (last << 8) | data[i];
  lo += last;
  Mix(lo, hi);
  Mix(lo, hi);
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

}  // namespace hv::regf
