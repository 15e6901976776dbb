#include "byte_source.h"

#include <cstring>

namespace hv::regf {

int MemoryBytes::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const {
  got = 0;
  if (offset >= size_) return 0;
  const std::uint64_t left = size_ - offset;
  got = left < size ? static_cast<std::size_t>(left) : size;
  if (got > 0) std::memcpy(data, data_ + offset, got);
  return 0;
}

}  // namespace hv::regf
