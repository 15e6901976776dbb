#include "writer.h"

#include <algorithm>
#include <unordered_map>

#include "cell_sink.h"
#include "walk.h"

namespace hv::regf {
namespace {

std::uint64_t Fnv1a(const std::uint8_t* p, std::uint32_t n) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::uint32_t Utf16Bytes(const NameRef& n) { return n.compressed ? n.size * 2 : n.size; }

// Keys are laid out depth-first: each key's node, class, first-seen security cell, value list,
// values and their data sit together; a key's subkey list follows its last descendant, since it
// needs the children's new offsets.
class CompactVisitor {
 public:
  CompactVisitor(const Hive& src, CellSink& out) : src_(src), out_(out) {}

  void Enter(const KeyNode& key, std::uint32_t depth) {
    const std::uint32_t nk = out_.Alloc(kNkFixed + key.name.size);
    if (depth > 0) {
      Frame& parent = frames_.back();
      children_.push_back(nk);
      const std::uint32_t nameBytes = Utf16Bytes(key.name);
      if (nameBytes > parent.maxName) parent.maxName = nameBytes;
      if (key.classLen > parent.maxClass) parent.maxClass = key.classLen;
    } else {
      root_ = nk;
    }
    const std::uint32_t parentNk = depth > 0 ? frames_.back().nk : kNone;
    frames_.push_back(Frame{nk, children_.size(), 0, 0});

    std::uint32_t classCell = kNone;
    if (key.classLen > 0) {
      const Span cls = src_.ClassName(key);
      classCell = out_.Alloc(cls.size);
      std::memcpy(out_.Data(classCell), cls.data, cls.size);
    }
    const std::uint32_t sk = key.security == kNone ? kNone : Security(key.security);

    values_.clear();
    src_.AppendValues(key, values_);
    std::uint32_t valueList = kNone, maxValueName = 0, maxValueData = 0;
    if (!values_.empty()) {
      valueList = out_.Alloc(static_cast<std::uint32_t>(4 * values_.size()));
      for (std::size_t i = 0; i < values_.size(); ++i) {
        const ValueRec v = src_.Value(values_[i]);
        std::uint8_t inlineBytes[4];
        Span data;
        if (!src_.DirectData(v, inlineBytes, data)) {
          src_.ReadData(v, data_);
          data = Span{data_.data(), static_cast<std::uint32_t>(data_.size())};
        }
        const std::uint32_t vk = out_.Alloc(kVkFixed + v.name.size);
        std::uint32_t rawSize = 0, dataOffset = 0;
        out_.WriteValueData(data.data, data.size, rawSize, dataOffset);
        std::uint8_t* p = out_.Data(vk);
        std::memcpy(p, "vk", 2);
        Wr16(p + 2, static_cast<std::uint16_t>(v.name.size));
        Wr32(p + 4, rawSize);
        Wr32(p + 8, dataOffset);
        Wr32(p + 12, v.type);
        Wr16(p + 16, v.flags);
        std::memcpy(p + kVkFixed, v.name.bytes, v.name.size);
        Wr32(out_.Data(valueList) + 4 * i, vk);
        if (Utf16Bytes(v.name) > maxValueName) maxValueName = Utf16Bytes(v.name);
        if (data.size > maxValueData) maxValueData = data.size;
      }
    }

    std::uint16_t flags = static_cast<std::uint16_t>(key.flags & ~kDroppedKeyFlags);
    if (depth > 0) flags = static_cast<std::uint16_t>(flags & ~kKeyHiveEntry);
    std::uint8_t* p = out_.Data(nk);
    std::memcpy(p, "nk", 2);
    Wr16(p + 2, flags);
    Wr64(p + 4, key.timestamp);
    Wr32(p + 12, key.accessBits);
    Wr32(p + 16, parentNk);
    Wr32(p + 28, kNone);  // subkey list and counts: filled in Leave
    Wr32(p + 32, kNone);  // volatile subkeys are never saved
    Wr32(p + 36, static_cast<std::uint32_t>(values_.size()));
    Wr32(p + 40, valueList);
    Wr32(p + 44, sk);
    Wr32(p + 48, classCell);
    Wr32(p + 52, key.maxNameField & 0xFFFF0000u);  // the Vista+ flag bits live in the high half
    Wr32(p + 60, maxValueName);
    Wr32(p + 64, maxValueData);
    Wr16(p + 72, static_cast<std::uint16_t>(key.name.size));
    Wr16(p + 74, key.classLen);
    std::memcpy(p + kNkFixed, key.name.bytes, key.name.size);
  }

  void Leave(const KeyNode&, std::uint32_t) {
    const Frame f = frames_.back();
    frames_.pop_back();
    const std::size_t n = children_.size() - f.childBegin;
    const std::uint32_t list = out_.WriteSubkeyList(children_.data() + f.childBegin, n);
    std::uint8_t* p = out_.Data(f.nk);
    Wr32(p + 20, static_cast<std::uint32_t>(n));
    Wr32(p + 28, list);
    Wr32(p + 52, (Rd32(p + 52) & 0xFFFF0000u) | f.maxName);
    Wr32(p + 56, f.maxClass);
    children_.resize(f.childBegin);
  }

  // Links the security cells into one circular list and sets their reference counts.
  void FinishSecurity() {
    const std::size_t n = skCells_.size();
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t* p = out_.Data(skCells_[i]);
      Wr32(p + 4, skCells_[(i + 1) % n]);
      Wr32(p + 8, skCells_[(i + n - 1) % n]);
      Wr32(p + 12, skRefs_[i]);
    }
  }

  std::uint32_t Root() const { return root_; }

 private:
  struct Frame {
    std::uint32_t nk;
    std::size_t childBegin;
    std::uint32_t maxName;
    std::uint32_t maxClass;
  };

  // One cell per distinct descriptor, shared by every key that uses it.
  std::uint32_t Security(std::uint32_t srcSk) {
    std::uint32_t index;
    auto known = bySource_.find(srcSk);
    if (known != bySource_.end()) {
      index = known->second;
    } else {
      const Span sd = src_.SecurityDescriptor(srcSk);
      const std::uint64_t h = Fnv1a(sd.data, sd.size);
      index = kNone;
      auto range = byContent_.equal_range(h);
      for (auto it = range.first; it != range.second; ++it) {
        const std::uint32_t cell = skCells_[it->second];
        if (Rd32(out_.Data(cell) + 16) == sd.size && std::memcmp(out_.Data(cell) + kSkFixed, sd.data, sd.size) == 0) {
          index = it->second;
          break;
        }
      }
      if (index == kNone) {
        const std::uint32_t cell = out_.Alloc(kSkFixed + sd.size);
        std::uint8_t* p = out_.Data(cell);
        std::memcpy(p, "sk", 2);
        Wr32(p + 16, sd.size);
        std::memcpy(p + kSkFixed, sd.data, sd.size);
        index = static_cast<std::uint32_t>(skCells_.size());
        skCells_.push_back(cell);
        skRefs_.push_back(0);
        byContent_.emplace(h, index);
      }
      bySource_.emplace(srcSk, index);
    }
    ++skRefs_[index];
    return skCells_[index];
  }

  const Hive& src_;
  CellSink& out_;
  std::uint32_t root_ = kNone;
  std::vector<Frame> frames_;
  std::vector<std::uint32_t> children_;
  std::vector<std::uint32_t> values_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint32_t> skCells_;
  std::vector<std::uint32_t> skRefs_;
  std::unordered_map<std::uint32_t, std::uint32_t> bySource_;
  std::unordered_multimap<std::uint64_t, std::uint32_t> byContent_;
};

}  // namespace

std::vector<std::uint8_t> WriteCompactImage(const Hive& source) {
  // The live data never exceeds the source's bins, so this rarely regrows.
  // Memory is touched ahead up to the source's live bytes, which the image rarely exceeds by
  // much, so that little of it is touched in vain.
  const std::size_t live = source.Size() - std::min<std::size_t>(source.Size(), source.FreeBytes());
  CellSink out(source.Base().minor, source.Size() + 64 * 1024, live + 64 * 1024);
  CompactVisitor visitor(source, out);
  TreeWalk walk(source);
  walk.Run(visitor);
  visitor.FinishSecurity();
  CellSink::BaseFields f;
  f.sequence = f.secondary = source.Base().primarySeq;
  f.lastWritten = source.Base().lastWritten;
  f.root = visitor.Root();
  f.fileName = source.Data() + 48;
  return out.Finish(f);
}

}  // namespace hv::regf
