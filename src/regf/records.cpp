#include "records.h"

namespace hv::regf {
namespace {

std::uint64_t Fnv1a(const std::uint8_t* p, std::uint32_t n) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

}  // namespace

void WriteKeyNode(std::uint8_t* p, const KeyNode& key) {
  PutSignature(p + nk::kSignature, "nk");
  Wr16(p + nk::kFlags, key.flags);
  Wr64(p + nk::kTimestamp, key.timestamp);
  Wr32(p + nk::kAccessBits, key.accessBits);
  Wr32(p + nk::kParent, key.parent);
  Wr32(p + nk::kSubkeyCount, key.subkeyCount);
  Wr32(p + nk::kVolatileSubkeyCount, 0);
  Wr32(p + nk::kSubkeyList, key.subkeyList);
  Wr32(p + nk::kVolatileSubkeyList, kNone);
  Wr32(p + nk::kValueCount, key.valueCount);
  Wr32(p + nk::kValueList, key.valueList);
  Wr32(p + nk::kSecurity, key.security);
  Wr32(p + nk::kClass, key.classCell);
  Wr32(p + nk::kMaxNameLen, key.maxNameField);
  Wr32(p + nk::kMaxClassLen, key.maxClassLen);
  Wr32(p + nk::kMaxValueNameLen, key.maxValueNameLen);
  Wr32(p + nk::kMaxValueDataLen, key.maxValueDataLen);
  Wr32(p + nk::kWorkVar, 0);
  Wr16(p + nk::kNameLen, static_cast<std::uint16_t>(key.name.size));
  Wr16(p + nk::kClassLen, key.classLen);
  if (key.name.size > 0) std::memcpy(p + nk::kName, key.name.bytes, key.name.size);
}

void SetKeySubkeys(std::uint8_t* p, std::uint32_t count, std::uint32_t list, std::uint32_t maxNameLen,
                   std::uint32_t maxClassLen) {
  Wr32(p + nk::kSubkeyCount, count);
  Wr32(p + nk::kSubkeyList, list);
  Wr32(p + nk::kMaxNameLen, (Rd32(p + nk::kMaxNameLen) & 0xFFFF0000u) | maxNameLen);
  Wr32(p + nk::kMaxClassLen, maxClassLen);
}

void WriteValueRecord(std::uint8_t* p, const NameRef& name, std::uint32_t rawSize, std::uint32_t dataOffset,
                      std::uint32_t type, std::uint16_t flags) {
  PutSignature(p + vk::kSignature, "vk");
  Wr16(p + vk::kNameLen, static_cast<std::uint16_t>(name.size));
  Wr32(p + vk::kDataSize, rawSize);
  Wr32(p + vk::kDataOffset, dataOffset);
  Wr32(p + vk::kType, type);
  Wr16(p + vk::kFlags, flags);
  Wr16(p + vk::kSpare, 0);
  if (name.size > 0) std::memcpy(p + vk::kName, name.bytes, name.size);
}

SecurityWriter::Use SecurityWriter::Reference(const std::uint8_t* descriptor, std::uint32_t size) {
  const std::uint64_t h = Fnv1a(descriptor, size);
  auto range = byContent_.equal_range(h);
  for (auto it = range.first; it != range.second; ++it) {
    const std::uint32_t known = cells_[it->second];
    if (out_.Resident(known)) {
      const std::uint8_t* p = out_.Data(known);
      if (Rd32(p + sk::kDescriptorSize) != size || std::memcmp(p + sk::kDescriptor, descriptor, size) != 0) continue;
    } else {
      // A cell the streamed image no longer holds is read back.
      std::uint8_t head[sk::kDescriptor];
      out_.ReadData(known, 0, head, sizeof head);
      if (Rd32(head + sk::kDescriptorSize) != size) continue;
      scratch_.resize(size);
      if (size > 0) out_.ReadData(known, sk::kDescriptor, scratch_.data(), size);
      if (size > 0 && std::memcmp(scratch_.data(), descriptor, size) != 0) continue;
    }
    return Use{ReferenceAgain(it->second), it->second, false};
  }
  const std::uint32_t cell = out_.Alloc(sk::kDescriptor + size);
  std::uint8_t* p = out_.Data(cell);
  PutSignature(p + sk::kSignature, "sk");
  Wr32(p + sk::kDescriptorSize, size);
  if (size > 0) std::memcpy(p + sk::kDescriptor, descriptor, size);
  const std::uint32_t index = static_cast<std::uint32_t>(cells_.size());
  cells_.push_back(cell);
  refs_.push_back(0);
  byContent_.emplace(h, index);
  return Use{ReferenceAgain(index), index, true};
}

std::uint32_t SecurityWriter::ReferenceAgain(std::uint32_t index) {
  ++refs_[index];
  return cells_[index];
}

void SecurityWriter::Finish() {
  const std::size_t n = cells_.size();
  for (std::size_t i = 0; i < n; ++i) {
    // Flink, blink and reference count lie side by side.
    std::uint8_t links[12];
    Wr32(links + sk::kFlink - sk::kFlink, cells_[(i + 1) % n]);
    Wr32(links + sk::kBlink - sk::kFlink, cells_[(i + n - 1) % n]);
    Wr32(links + sk::kRefCount - sk::kFlink, refs_[i]);
    out_.WriteData(cells_[i], sk::kFlink, links, sizeof links);
  }
}

}  // namespace hv::regf
