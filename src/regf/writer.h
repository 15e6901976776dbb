#pragma once
// The compact writer: a fresh image holding exactly the tree of a clean source hive.
#include <cstdint>
#include <vector>

#include "hive.h"

namespace hv::regf {

// Throws FormatError when the source is malformed (the walk validates it on the way).
std::vector<std::uint8_t> WriteCompactImage(const Hive& source);

}  // namespace hv::regf
