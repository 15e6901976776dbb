#pragma once
// The checks Windows makes of each security descriptor when it loads a hive: a self-relative
// descriptor of revision 1 whose owner, group, SACL and DACL, where present, lie whole within it
// at aligned offsets, each SID of revision 1 with at most 15 sub-authorities, each ACL of a known
// revision whose size holds its header and whose ACEs, each of an aligned size, fit within it.
#include <cstdint>
#include <string>

namespace hv::regf {

// Empty when the `size` bytes at `descriptor` form a valid descriptor; otherwise what is wrong.
std::string SecurityDescriptorProblem(const std::uint8_t* descriptor, std::uint32_t size);

}  // namespace hv::regf
