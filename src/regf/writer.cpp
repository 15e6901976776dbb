#include "writer.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "cell_sink.h"
#include "records.h"
#include "walk.h"

namespace hv::regf {
namespace {

// Now as a FILETIME: 100 ns units since 1601.
std::uint64_t CurrentFileTime() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(since1970.count() / 100) + 116444736000000000ull;
}

std::uint32_t Utf16Bytes(const NameRef& n) { return n.compressed ? n.size * 2 : n.size; }

// Keys are laid out depth-first: each key's node, class, first-seen security cell, value list,
// values and their data sit together; a key's subkey list follows its last descendant, since it
// needs the children's new offsets.
class CompactVisitor {
 public:
  CompactVisitor(const Hive& src, CellSink& out) : src_(src), out_(out), security_(out) {}

  void Enter(const KeyNode& key, std::uint32_t depth) {
    out_.Checkpoint();
    // The names are copied first: a windowed source may let their cells go while the values and
    // their data are read.
    keyName_.assign(key.name.bytes, key.name.bytes + key.name.size);
    const std::uint32_t nk = out_.Alloc(kNkFixed + key.name.size);
    if (depth > 0) {
      Frame& parent = frames_.back();
      children_.push_back(nk);
      childHashes_.push_back(out_.ListElementHash(key.name));
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
      valueList = out_.Alloc(static_cast<std::uint32_t>(valuelist::kElement * values_.size()));
      for (std::size_t i = 0; i < values_.size(); ++i) {
        const ValueRec v = src_.Value(values_[i]);
        valueName_.assign(v.name.bytes, v.name.bytes + v.name.size);
        const NameRef name{valueName_.data(), v.name.size, v.name.compressed};
        std::uint8_t inlineBytes[4];
        Span data;
        if (!src_.DirectData(v, inlineBytes, data)) {
          src_.ReadData(v, data_);
          data = Span{data_.data(), static_cast<std::uint32_t>(data_.size())};
        }
        const std::uint32_t vk = out_.Alloc(kVkFixed + v.name.size);
        std::uint32_t rawSize = 0, dataOffset = 0;
        out_.WriteValueData(data.data, data.size, rawSize, dataOffset);
        WriteValueRecord(out_.Data(vk), name, rawSize, dataOffset, v.type, v.flags);
        Wr32(out_.Data(valueList) + valuelist::kElement * i, vk);
        if (Utf16Bytes(name) > maxValueName) maxValueName = Utf16Bytes(name);
        if (data.size > maxValueData) maxValueData = data.size;
      }
    }

    std::uint16_t flags = static_cast<std::uint16_t>(key.flags & ~kDroppedKeyFlags);
    if (depth > 0) flags = static_cast<std::uint16_t>(flags & ~kKeyHiveEntry);
    KeyNode record = key;
    record.name.bytes = keyName_.data();
    record.flags = flags;
    record.parent = parentNk;
    record.subkeyCount = 0;  // the subkey fields are set in Leave
    record.subkeyList = kNone;
    record.valueCount = static_cast<std::uint32_t>(values_.size());
    record.valueList = valueList;
    record.security = sk;
    record.classCell = classCell;
    record.maxNameField = key.maxNameField & 0xFFFF0000u;  // the Vista+ flag bits live in the high half
    record.maxClassLen = 0;
    record.maxValueNameLen = maxValueName;
    record.maxValueDataLen = maxValueData;
    WriteKeyNode(out_.Data(nk), record);
  }

  void Leave(const KeyNode&, std::uint32_t) {
    out_.Checkpoint();
    const Frame f = frames_.back();
    frames_.pop_back();
    const std::size_t n = children_.size() - f.childBegin;
    const std::uint32_t list =
        out_.WriteSubkeyList(children_.data() + f.childBegin, childHashes_.data() + f.childBegin, n);
    if (out_.Resident(f.nk)) {
      SetKeySubkeys(out_.Data(f.nk), static_cast<std::uint32_t>(n), list, f.maxName, f.maxClass);
    } else {
      // A key whose descendants pushed its node out of a streamed image's window.
      std::uint8_t node[kNkFixed];
      out_.ReadData(f.nk, 0, node, kNkFixed);
      SetKeySubkeys(node, static_cast<std::uint32_t>(n), list, f.maxName, f.maxClass);
      out_.WriteData(f.nk, 0, node, kNkFixed);
    }
    children_.resize(f.childBegin);
    childHashes_.resize(f.childBegin);
  }

  void FinishSecurity() { security_.Finish(); }

  std::uint32_t Root() const { return root_; }

 private:
  struct Frame {
    std::uint32_t nk;
    std::size_t childBegin;
    std::uint32_t maxName;
    std::uint32_t maxClass;
  };

  // One cell per distinct descriptor; a source cell already seen is not compared again.
  std::uint32_t Security(std::uint32_t srcSk) {
    auto known = bySource_.find(srcSk);
    if (known != bySource_.end()) return security_.ReferenceAgain(known->second);
    const Span sd = src_.SecurityDescriptor(srcSk);
    const SecurityWriter::Use use = security_.Reference(sd.data, sd.size);
    bySource_.emplace(srcSk, use.index);
    return use.cell;
  }

  const Hive& src_;
  CellSink& out_;
  std::uint32_t root_ = kNone;
  std::vector<Frame> frames_;
  std::vector<std::uint32_t> children_;
  std::vector<std::uint32_t> childHashes_;  // beside children_: what their subkey list stores
  std::vector<std::uint32_t> values_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> keyName_, valueName_;
  SecurityWriter security_;
  std::unordered_map<std::uint32_t, std::uint32_t> bySource_;
};

// Writes the tree of `source` into `out` and finishes it.
std::vector<std::uint8_t> WriteTree(const Hive& source, CellSink& out) {
  CompactVisitor visitor(source, out);
  TreeWalk walk(source);
  walk.Run(visitor);
  visitor.FinishSecurity();
  CellSink::BaseFields f;
  f.sequence = f.secondary = source.Base().primarySeq;
  f.lastWritten = source.Base().lastWritten;
  f.root = visitor.Root();
  f.fileName = source.Data() + base::kFileName;
  // RmId, LogId and TmId name the resource manager, log and transaction manager of the
  // registry's transactions (KTM) for this hive, and the "rmtm" signature says they are set;
  // the flags carry 0x1 (KTM transactions pending) and, from Windows 10, 0x2 (the hive supports
  // layered keys, as differencing hives do). They describe the hive rather than its layout, so
  // the copy keeps them as they are.
  f.transactionFields = source.Data() + base::kRmId;
  // Windows records when it last reorganised a hive, with bit 0 for a defragmentation; a
  // compacted copy is exactly that. Hives of a Windows too old for the field keep it unset.
  const std::uint8_t* b = source.Data();
  if (HasSignature(b + base::kGuidSignature, "rmtm") || Rd64(b + base::kLastReorganized) != 0) {
    f.lastReorganized = (CurrentFileTime() & ~std::uint64_t{3}) | kReorganizedDefragmented;
  }
  return out.Finish(f);
}

}  // namespace

std::vector<std::uint8_t> WriteCompactImage(const Hive& source) {
  // The live data never exceeds the source's bins, so this rarely regrows.
  // Memory is touched ahead up to the source's live bytes, which the image rarely exceeds by
  // much, so that little of it is touched in vain.
  const std::size_t live = source.Size() - std::min<std::size_t>(source.Size(), source.FreeBytes());
  CellSink out(source.Base().minor, source.Size() + 64 * 1024, live + 64 * 1024);
  return WriteTree(source, out);
}

std::uint64_t WriteCompactCopy(const Hive& source, CellSink::Output& out, std::size_t window) {
  CellSink sink(source.Base().minor, out, window);
  WriteTree(source, sink);
  return sink.ImageSize();
}

}  // namespace hv::regf
