#include "copy_digest.h"

#include <cstring>

namespace hv::regf {
namespace {

std::uint64_t Mix(std::uint64_t position, std::uint64_t word) {
  std::uint64_t x = word ^ (position * 0x9E3779B97F4A7C15ull);
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ull;
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ull;
  return x ^ (x >> 32);
}

std::uint64_t Sum(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    sum += Mix(at + i, word);
  }
  return sum;
}

}  // namespace

void CopyDigest::Add(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) { sum_ += Sum(at, bytes, size); }

void CopyDigest::Remove(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) { sum_ -= Sum(at, bytes, size); }

}  // namespace hv::regf
