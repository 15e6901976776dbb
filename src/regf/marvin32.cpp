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
  Marvin32Stream hash(seed);
  hash.Add(data, size);
  return hash.Value();
}

void Marvin32Stream::Add(const std::uint8_t* data, std::size_t size) {
  while (tailSize_ > 0 && tailSize_ < 4 && size > 0) {
    tail_[tailSize_++] = *data++;
    --size;
  }
  if (tailSize_ == 4) {
    lo_ += Rd32(tail_);
    Mix(lo_, hi_);
    tailSize_ = 0;
  }
  for (; size >= 4; size -= 4, data += 4) {
    lo_ += Rd32(data);
    Mix(lo_, hi_);
  }
  for (; size > 0; --size) tail_[tailSize_++] = *data++;
}

std::uint64_t Marvin32Stream::Value() const {
  std::uint32_t lo = lo_, hi = hi_;
  // The tail of 0-3 bytes, closed by a 0x80 byte, makes one last word.
  std::uint32_t last = 0x80;
  for (std::size_t i = tailSize_; i-- > 0;) last = (last << 8) | tail_[i];
  lo += last;
  Mix(lo, hi);
  Mix(lo, hi);
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

}  // namespace hv::regf
