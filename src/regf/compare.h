#pragma once
// Tree comparison: the verifier behind compaction and the diff command.
#include <cstddef>
#include <string>
#include <vector>

#include "hive.h"

namespace hv::regf {

// Walks every key, value, class, security cell and big data chain of `hive`; throws FormatError
// on the first malformed structure. Returns the number of keys and values seen.
struct TreeCounts {
  std::uint64_t keys = 0;
  std::uint64_t values = 0;
};
TreeCounts ValidateTree(const Hive& hive);

// The first differences (at most `limit`) between two validated trees: key names (bytes and
// encoding), timestamps, meaningful flags, classes, security descriptors, values in order
// (name, type, data). Empty when the trees are equal.
std::vector<std::string> CompareTrees(const Hive& a, const Hive& b, std::size_t limit);

}  // namespace hv::regf
