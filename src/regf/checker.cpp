#include "checker.h"

#include <unordered_map>
#include <utility>

#include "hex_text.h"
#include "hive.h"
#include "stop.h"
#include "walk.h"

namespace hv::regf {
namespace {

// Windows' hint for a name whose first characters lie beyond ASCII follows a rule of its own
// (a sample it wrote holds 0x81 for the name 0x9F), so only an ASCII start is held to the hint.
bool AsciiStart(const NameRef& name) {
  for (std::uint32_t i = 0; i < name.Units() && i < 4; ++i) {
    if (name.Unit(i) >= 0x80) return false;
  }
  return true;
}

class CheckVisitor {
 public:
  CheckVisitor(const Hive& h, std::vector<std::string>& problems) : h_(h), problems_(problems) {}

  void Enter(const KeyNode& key, std::uint32_t) {
    if (problems_.size() > 200) h_.Fail("too many problems; stopping");
    if (key.classLen > 0) h_.ClassName(key);
    if (key.security == kNone) {
      Problem("key without a security cell", key.offset);
    } else {
      h_.SecurityDescriptor(key.security);
      ++refs_[key.security];
    }
    values_.clear();
    h_.AppendValues(key, values_);
    std::uint32_t maxValueName = 0, maxData = 0;
    for (std::uint32_t off : values_) {
      const ValueRec v = h_.Value(off);
      const std::uint32_t nameBytes = v.name.compressed ? v.name.size * 2 : v.name.size;
      h_.ReadData(v, data_);
      if (nameBytes > maxValueName) maxValueName = nameBytes;
      if (data_.size() > maxData) maxData = static_cast<std::uint32_t>(data_.size());
    }
    if (maxValueName > key.maxValueNameLen) Problem("largest value name length is too small", key.offset);
    if (maxData > key.maxValueDataLen) Problem("largest value data size is too small", key.offset);
    CheckLists(key);
  }
  void Leave(const KeyNode&, std::uint32_t) {}

  void CheckSecurityList() {
    if (refs_.empty()) return;
    // Walk the circular list from any referenced cell; a bounded number of steps guards a loop
    // that does not return to its start.
    const std::uint32_t start = refs_.begin()->first;
    std::unordered_map<std::uint32_t, bool> seen;
    std::uint32_t cur = start;
    const std::uint64_t bound = static_cast<std::uint64_t>(h_.AllocatedCells()) + 1;
    for (std::uint64_t steps = 0;; ++steps) {
      if (steps > bound || seen.count(cur)) {
        Problem("the security cells do not form one circular list", cur);
        break;
      }
      seen[cur] = true;
      h_.SecurityDescriptor(cur);
      const std::uint8_t* p = h_.Cell(cur, "a security list link").data;
      const std::uint32_t next = Rd32(p + sk::kFlink);
      if (!h_.IsAllocatedCell(next)) {
        Problem("security cell forward link points outside the cells", cur);
        break;
      }
      h_.SecurityDescriptor(next);
      if (Rd32(h_.Cell(next, "a security list link").data + sk::kBlink) != cur) {
        Problem("security list back link does not match", next);
      }
      const std::uint32_t count = Rd32(p + sk::kRefCount);
      auto it = refs_.find(cur);
      const std::uint32_t used = it == refs_.end() ? 0 : it->second;
      if (count != used) {
        Problem("security reference count " + std::to_string(count) + " but " + std::to_string(used) + " keys use it", cur);
      }
      cur = next;
      if (cur == start) break;
    }
    for (const auto& [cell, n] : refs_) {
      if (!seen.count(cell)) Problem("a security cell used by " + std::to_string(n) + " keys is not in the list", cell);
    }
  }

 private:
  void Problem(const std::string& what, std::uint32_t at) {
    problems_.push_back(h_.Name() + ": " + what + " (cell " + Hex(at) + ")");
  }

  void CheckLeaf(const KeyNode& key, std::uint32_t at) {
    const Span leaf = h_.Cell(at, "a subkey list");
    if (leaf.size < list::kElements) return;
    const std::uint8_t* p = leaf.data;
    const bool lh = HasSignature(p, "lh"), lf = HasSignature(p, "lf"), li = HasSignature(p, "li");
    if (!lh && !lf && !li) return;
    const std::uint32_t n = Rd16(p + list::kCount);
    const std::uint32_t stride = li ? list::kOffsetElement : list::kHashElement;
    if (list::kElements + static_cast<std::uint64_t>(n) * stride > leaf.size) return;
    if (lh && h_.Base().minor < 5) Problem("hash leaf in a hive of version 1." + std::to_string(h_.Base().minor), at);
    if (lf && h_.Base().minor < 3) Problem("fast leaf in a hive of version 1." + std::to_string(h_.Base().minor), at);
    // The elements are taken out first: a windowed hive may let the leaf's cell go while the
    // children are read.
    elements_.clear();
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* element = p + list::kElements + i * stride;
      elements_.push_back({Rd32(element), li ? 0u : Rd32(element + list::kElementHash)});
    }
    for (const auto& [offset, stored] : elements_) {
      const KeyNode child = h_.Key(offset);
      if (child.parent != key.offset) Problem("key's parent link does not point to its parent", child.offset);
      if (li) continue;
      if (lh && stored != NameHash(child.name)) Problem("wrong name hash in a hash leaf", at);
      if (lf && AsciiStart(child.name)) {
        const std::uint32_t hint = NameHint(child.name);
        if (hint != 0 && stored != hint) Problem("wrong name hint in a fast leaf", at);
      }
    }
  }

  void CheckLists(const KeyNode& key) {
    children_.clear();
    h_.AppendSubkeys(key, children_);  // validates kinds and counts
    if (key.subkeyCount == 0) return;
    std::uint32_t maxName = 0, maxClass = 0;
    for (std::uint32_t off : children_) {
      const KeyNode c = h_.Key(off);
      const std::uint32_t nameBytes = c.name.compressed ? c.name.size * 2 : c.name.size;
      if (nameBytes > maxName) maxName = nameBytes;
      if (c.classLen > maxClass) maxClass = c.classLen;
    }
    if (maxName > (key.maxNameField & 0xFFFF)) Problem("largest subkey name length is too small", key.offset);
    if (maxClass > key.maxClassLen) Problem("largest subkey class length is too small", key.offset);
    const Span list = h_.Cell(key.subkeyList, "a subkey list");
    if (HasSignature(list.data, "ri")) {
      const std::uint32_t n = Rd16(list.data + list::kCount);
      std::vector<std::uint32_t> leaves(n);
      for (std::uint32_t i = 0; i < n; ++i) leaves[i] = Rd32(list.data + list::kElements + list::kOffsetElement * i);
      for (const std::uint32_t leaf : leaves) CheckLeaf(key, leaf);
    } else {
      CheckLeaf(key, key.subkeyList);
    }
  }

  const Hive& h_;
  std::vector<std::string>& problems_;
  std::unordered_map<std::uint32_t, std::uint32_t> refs_;
  std::vector<std::uint32_t> values_, children_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> elements_;  // a leaf's (key, hash or hint)
  std::vector<std::uint8_t> data_;
};

// The problems of a hive read either way, appended to `problems`: its base block, its bins, then
// its tree.
void CheckRead(const Hive& h, std::vector<std::string>& problems) {
  const BaseInfo& b = h.Base();
  if (b.primarySeq != b.secondarySeq) {
    problems.push_back(h.Name() + ": the hive is dirty (primary sequence number " + std::to_string(b.primarySeq) +
                       ", secondary " + std::to_string(b.secondarySeq) + ")");
  }
  if (b.storedChecksum != b.computedChecksum) {
    problems.push_back(h.Name() + ": the base block checksum is wrong (stored " + Hex(b.storedChecksum) +
                       ", computed " + Hex(b.computedChecksum) + ")");
  }
  if (!h.BinProblem().empty()) problems.push_back(h.Name() + ": " + h.BinProblem());
  const std::vector<std::string> tree = CheckTree(h);
  problems.insert(problems.end(), tree.begin(), tree.end());
}

}  // namespace

std::vector<std::string> CheckHiveWhole(const std::filesystem::path& file) {
  std::vector<std::string> problems;
  try {
    CheckRead(Hive::Load(file, LoadOptions{true, true}), problems);
  } catch (const std::exception& e) {
    problems.push_back(e.what());
  }
  return problems;
}

std::optional<std::vector<std::string>> CheckHiveWindowed(const std::filesystem::path& file,
                                                          std::size_t windowBytes) {
  std::vector<std::string> problems;
  try {
    const std::optional<Hive> h = TryWindowed(file, windowBytes);
    if (!h) return std::nullopt;
    CheckRead(*h, problems);
  } catch (const std::exception& e) {
    problems.push_back(e.what());
  }
  return problems;
}

std::vector<std::string> CheckHive(const std::filesystem::path& file) {
  if (std::optional<std::vector<std::string>> problems = CheckHiveWindowed(file, kTreeWindowBytes)) return std::move(*problems);
  return CheckHiveWhole(file);
}

std::vector<std::string> CheckTree(const Hive& h) {
  std::vector<std::string> problems;
  try {
    CheckVisitor visitor(h, problems);
    TreeWalk walk(h, &problems);
    walk.Run(visitor);
    visitor.CheckSecurityList();
  } catch (const FormatError& e) {
    problems.push_back(e.what());
  }
  return problems;
}

}  // namespace hv::regf
