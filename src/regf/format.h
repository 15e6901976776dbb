#pragma once
// On-disk constants of the hive format and little-endian access helpers.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hv::regf {

// Every on-disk record's layout is named here, once: the rest of the engine reads and writes
// fields only through these offsets, so a layout is checked against the format in one place.
// Record offsets are relative to the start of the record: the base block at file offset 0, a
// hive bin at its own start, a cell's record just after the cell's size field.

inline constexpr std::uint32_t kBaseBlockSize = 4096;
inline constexpr std::uint32_t kBinAlign = 4096;
inline constexpr std::uint32_t kBinHeaderSize = 32;
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// Largest data that one cell holds in hives that know big data; also the segment size.
inline constexpr std::uint32_t kBigDataSegment = 16344;
inline constexpr std::uint32_t kMaxDepth = 512;  // Windows refuses deeper key trees

// The base block: the first 4096 bytes of a hive file.
namespace base {
inline constexpr std::uint32_t kSignature = 0;        // "regf"
inline constexpr std::uint32_t kPrimarySeq = 4;       // bumped before a write
inline constexpr std::uint32_t kSecondarySeq = 8;     // set equal after it: unequal means dirty
inline constexpr std::uint32_t kLastWritten = 12;     // FILETIME
inline constexpr std::uint32_t kMajor = 20;           // 1
inline constexpr std::uint32_t kMinor = 24;           // 2 to 6
inline constexpr std::uint32_t kFileType = 28;        // 0 = primary file; 1 and 6 are logs
inline constexpr std::uint32_t kFormat = 32;          // 1 = direct memory load
inline constexpr std::uint32_t kRootCell = 36;        // offset of the root key node
inline constexpr std::uint32_t kBinsSize = 40;        // bytes of hive bins after the base block
inline constexpr std::uint32_t kClustering = 44;      // 1
inline constexpr std::uint32_t kFileName = 48;        // UTF-16, informational
inline constexpr std::uint32_t kFileNameSize = 64;
inline constexpr std::uint32_t kRmId = 112;           // GUID of the resource manager
inline constexpr std::uint32_t kLogId = 128;          // GUID of the transaction log
inline constexpr std::uint32_t kFlags = 144;          // 0x1 pending transactions, 0x2 layered keys
inline constexpr std::uint32_t kTmId = 148;           // GUID of the transaction manager
inline constexpr std::uint32_t kGuidSize = 16;
inline constexpr std::uint32_t kGuidSignature = 164;  // "rmtm" where the GUIDs above are set
inline constexpr std::uint32_t kLastReorganized = 168;  // FILETIME; bit 0 set: defragmented
inline constexpr std::uint32_t kChecksum = 508;       // XOR of the dwords before it
}  // namespace base
// Type bits of the last-reorganised timestamp.
inline constexpr std::uint64_t kReorganizedDefragmented = 0x1;
inline constexpr std::uint64_t kReorganizedAccessHistoryCleared = 0x2;

// A hive bin's header.
namespace bin {
inline constexpr std::uint32_t kSignature = 0;   // "hbin"
inline constexpr std::uint32_t kOffset = 4;      // the bin's own offset, relative to the bins
inline constexpr std::uint32_t kSize = 8;        // a multiple of 4096
inline constexpr std::uint32_t kTimestamp = 20;  // FILETIME, in the first bin only
}  // namespace bin

// A cell: its size (negative = allocated) and then its record.
namespace cell {
inline constexpr std::uint32_t kSize = 0;
inline constexpr std::uint32_t kData = 4;
inline constexpr std::uint32_t kAlign = 8;
}  // namespace cell

// Key node "nk".
namespace nk {
inline constexpr std::uint32_t kSignature = 0;
inline constexpr std::uint32_t kFlags = 2;
inline constexpr std::uint32_t kTimestamp = 4;
inline constexpr std::uint32_t kAccessBits = 12;
inline constexpr std::uint32_t kParent = 16;
inline constexpr std::uint32_t kSubkeyCount = 20;
inline constexpr std::uint32_t kVolatileSubkeyCount = 24;
inline constexpr std::uint32_t kSubkeyList = 28;
inline constexpr std::uint32_t kVolatileSubkeyList = 32;  // meaningless on disk: never followed
inline constexpr std::uint32_t kValueCount = 36;
inline constexpr std::uint32_t kValueList = 40;
inline constexpr std::uint32_t kSecurity = 44;
inline constexpr std::uint32_t kClass = 48;
inline constexpr std::uint32_t kMaxNameLen = 52;  // low 16 bits a length, high 16 bits flags
inline constexpr std::uint32_t kMaxClassLen = 56;
inline constexpr std::uint32_t kMaxValueNameLen = 60;
inline constexpr std::uint32_t kMaxValueDataLen = 64;
inline constexpr std::uint32_t kWorkVar = 68;
inline constexpr std::uint32_t kNameLen = 72;
inline constexpr std::uint32_t kClassLen = 74;
inline constexpr std::uint32_t kName = 76;  // the fixed part ends here
}  // namespace nk

// Value record "vk".
namespace vk {
inline constexpr std::uint32_t kSignature = 0;
inline constexpr std::uint32_t kNameLen = 2;
inline constexpr std::uint32_t kDataSize = 4;  // bit 31 set: the data lies in kDataOffset itself
inline constexpr std::uint32_t kDataOffset = 8;
inline constexpr std::uint32_t kType = 12;
inline constexpr std::uint32_t kFlags = 16;
inline constexpr std::uint32_t kSpare = 18;
inline constexpr std::uint32_t kName = 20;
inline constexpr std::uint32_t kInlineMax = 4;  // data up to this size lies in the record
inline constexpr std::uint32_t kDataInline = 0x80000000u;
}  // namespace vk

// Security cell "sk".
namespace sk {
inline constexpr std::uint32_t kSignature = 0;
inline constexpr std::uint32_t kReserved = 2;
inline constexpr std::uint32_t kFlink = 4;
inline constexpr std::uint32_t kBlink = 8;
inline constexpr std::uint32_t kRefCount = 12;
inline constexpr std::uint32_t kDescriptorSize = 16;
inline constexpr std::uint32_t kDescriptor = 20;
}  // namespace sk

// The self-relative security descriptor an sk cell holds, and the SIDs, ACLs and ACEs in it.
namespace sd {
inline constexpr std::uint32_t kRevision = 0;   // 1
inline constexpr std::uint32_t kControl = 2;    // SE_* flags
inline constexpr std::uint32_t kOwner = 4;      // offsets from the descriptor's start; 0 = none
inline constexpr std::uint32_t kGroup = 8;
inline constexpr std::uint32_t kSacl = 12;
inline constexpr std::uint32_t kDacl = 16;
inline constexpr std::uint32_t kHeader = 20;
inline constexpr std::uint8_t kRevision1 = 1;
inline constexpr std::uint16_t kDaclPresent = 0x0004;
inline constexpr std::uint16_t kSaclPresent = 0x0010;
inline constexpr std::uint16_t kSelfRelative = 0x8000;
}  // namespace sd
namespace sid {
inline constexpr std::uint32_t kRevision = 0;        // 1
inline constexpr std::uint32_t kSubAuthorities = 1;  // count, at most 15
inline constexpr std::uint32_t kHeader = 8;          // then 4 bytes a sub-authority
inline constexpr std::uint8_t kRevision1 = 1;
inline constexpr std::uint8_t kMaxSubAuthorities = 15;
}  // namespace sid
namespace acl {
inline constexpr std::uint32_t kRevision = 0;  // 2 to 4
inline constexpr std::uint32_t kSize = 2;      // the whole ACL with its ACEs
inline constexpr std::uint32_t kAceCount = 4;
inline constexpr std::uint32_t kHeader = 8;
inline constexpr std::uint8_t kMinRevision = 2;
inline constexpr std::uint8_t kMaxRevision = 4;
}  // namespace acl
namespace ace {
inline constexpr std::uint32_t kType = 0;
inline constexpr std::uint32_t kSize = 2;  // the whole ACE
inline constexpr std::uint32_t kHeader = 4;
inline constexpr std::uint32_t kSid = 8;   // after the access mask, in the ACE types 0 to 3
inline constexpr std::uint8_t kLastSimpleType = 3;  // allowed, denied, audit, alarm
}  // namespace ace

// Subkey lists "li", "lf", "lh" and the index root "ri": a signature, a count, then elements.
// li and ri elements are cell offsets; lf and lh elements are an offset and a name hint or hash.
namespace list {
inline constexpr std::uint32_t kSignature = 0;
inline constexpr std::uint32_t kCount = 2;
inline constexpr std::uint32_t kElements = 4;
inline constexpr std::uint32_t kOffsetElement = 4;  // li, ri
inline constexpr std::uint32_t kHashElement = 8;    // lf, lh
inline constexpr std::uint32_t kElementHash = 4;    // within an lf or lh element
}  // namespace list

// A value list: an array of vk offsets without header.
namespace valuelist {
inline constexpr std::uint32_t kElement = 4;
}  // namespace valuelist

// Big data "db": the value's data in segments of kBigDataSegment bytes, listed in a segment list
// (an array of offsets without header).
namespace db {
inline constexpr std::uint32_t kSignature = 0;
inline constexpr std::uint32_t kSegmentCount = 2;
inline constexpr std::uint32_t kSegmentList = 4;
inline constexpr std::uint32_t kSize = 8;
inline constexpr std::uint32_t kSegmentElement = 4;
}  // namespace db

inline constexpr std::uint32_t kNkFixed = nk::kName;         // nk record without its name
inline constexpr std::uint32_t kVkFixed = vk::kName;         // vk record without its name
inline constexpr std::uint32_t kSkFixed = sk::kDescriptor;   // sk record without its descriptor

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

// True when the record at `p` starts with the two- or four-character signature `sig`.
template <std::size_t N>
inline bool HasSignature(const std::uint8_t* p, const char (&sig)[N]) {
  return std::memcmp(p, sig, N - 1) == 0;
}
template <std::size_t N>
inline void PutSignature(std::uint8_t* p, const char (&sig)[N]) {
  std::memcpy(p, sig, N - 1);
}

// XOR of the 127 dwords before the checksum field, with 0 and ~0 remapped as Windows does.
inline std::uint32_t BaseBlockChecksum(const std::uint8_t* block) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i < base::kChecksum; i += 4) x ^= Rd32(block + i);
  if (x == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  if (x == 0) return 1;
  return x;
}

}  // namespace hv::regf
