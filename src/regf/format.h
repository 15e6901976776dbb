#pragma once
// On-disk constants of the hive format and little-endian access helpers.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hv::regf {

inline constexpr std::uint32_t kBaseBlockSize = 4096;
inline constexpr std::uint32_t kBinAlign = 4096;
inline constexpr std::uint32_t kBinHeaderSize = 32;
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// Largest data that one cell holds in hives that know big data; also the segment size.
inline constexpr std::uint32_t kBigDataSegment = 16344;
inline constexpr std::uint32_t kNkFixed = 76;    // nk record without its name
inline constexpr std::uint32_t kVkFixed = 20;    // vk record without its name
inline constexpr std::uint32_t kSkFixed = 20;    // sk record without its descriptor
inline constexpr std::uint32_t kMaxDepth = 512;  // Windows refuses deeper key trees

// Key node flags.
inline constexpr std::uint16_t kKeyVolatile = 0x0001;
inline constexpr std::uint16_t kKeyHiveExit = 0x0002;
inline constexpr std::uint16_t kKeyHiveEntry = 0x0004;
inline constexpr std::uint16_t kKeyNoDelete = 0x0008;
inline constexpr std::uint16_t kKeySymLink = 0x0010;
inline constexpr std::uint16_t kKeyCompName = 0x0020;
inline constexpr std::uint16_t kKeyPredefHandle = 0x0040;
inline constexpr std::uint16_t kValueCompName = 0x0001;

// Flags that describe the running system's view of a key rather than the stored tree: volatile
// keys are never written to a file, a hive exit is a mount point of another in-memory hive, and
// a predefined handle reuses the value count field for a handle. None of them means anything in
// a saved file. Every other bit is kept (including bits newer Windows may define), and the hive
// entry bit is kept on the root only, since a saved file has exactly one entry key.
inline constexpr std::uint16_t kDroppedKeyFlags = kKeyVolatile | kKeyHiveExit | kKeyPredefHandle;

inline std::uint16_t Rd16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Rd32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Rd64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(Rd32(p)) | (static_cast<std::uint64_t>(Rd32(p + 4)) << 32);
}
inline void Wr16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Wr32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void Wr64(std::uint8_t* p, std::uint64_t v) {
  Wr32(p, static_cast<std::uint32_t>(v));
  Wr32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// XOR of the 127 dwords before the checksum field, with 0 and ~0 remapped as Windows does.
inline std::uint32_t BaseBlockChecksum(const std::uint8_t* base) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i < 508; i += 4) x ^= Rd32(base + i);
  if (x == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  if (x == 0) return 1;
  return x;
}

}  // namespace hv::regf
