#include "walk.h"

#include <string_view>

#include "hex_text.h"

namespace hv::regf {

TreeWalk::TreeWalk(const Hive& hive, std::vector<std::string>* problems)
    : hive_(hive), problems_(problems), visited_(hive.Base().binsSize / 512 + 1, 0) {}

namespace {

std::string Describe(const char* what, std::uint32_t offset) {
  if (std::string_view(what) == "base block") return "the base block";
  return std::string("the ") + what + " at " + Hex(offset);
}

struct NullVisitor {
  void Enter(const KeyNode&, std::uint32_t) {}
  void Leave(const KeyNode&, std::uint32_t) {}
};

}  // namespace

void TreeWalk::MarkVisited(std::uint32_t offset, Referrer by) {
  Claim(offset, "key node", by);
  ++keys_;
}

void TreeWalk::Claim(std::uint32_t cell, const char* what, Referrer by) {
  if (findFirst_ != kNone && cell == findFirst_) throw FoundFirst{by};
  // An offset that is not a cell is reported by the reader when the cell is read.
  if (cell / 512 >= visited_.size()) return;
  std::uint64_t& word = visited_[cell / 512];
  const std::uint64_t bit = std::uint64_t{1} << ((cell / 8) % 64);
  if (word & bit) FailShared(cell, what, by);
  word |= bit;
}

// The walk is repeated, without a visitor, up to the first claim of `cell`: it follows the same
// references in the same order, so its work stays within that of the failed walk.
void TreeWalk::FailShared(std::uint32_t cell, const char* what, Referrer second) {
  std::string first = "an earlier reference";
  try {
    std::vector<std::string> ignored;  // order faults the checker lists do not stop the search
    TreeWalk again(hive_, problems_ != nullptr ? &ignored : nullptr);
    again.findFirst_ = cell;
    NullVisitor none;
    again.Run(none);
  } catch (const FoundFirst& found) {
    first = Describe(found.by.what, found.by.offset);
  } catch (const FormatError&) {
  }
  const std::string kind = std::string_view(what) == "key node" ? "key node is reached twice (a cycle or a shared subkey)"
                                                               : std::string(what) + " is reached twice";
  hive_.Fail("the " + kind + ": referred to by " + first + " and by " + Describe(second.what, second.offset), cell);
}

void TreeWalk::ClaimCells(const KeyNode& key) {
  if (key.classLen > 0) Claim(key.classCell, "class name", Referrer{"key", key.offset});
  if (key.subkeyCount > 0) {
    Claim(key.subkeyList, "subkey list", Referrer{"key", key.offset});
    const Span list = hive_.Cell(key.subkeyList, "a key's subkey list");
    if (list.size >= list::kElements && HasSignature(list.data, "ri")) {
      const std::uint32_t n = Rd16(list.data + list::kCount);
      // A count beyond the cell is reported by AppendSubkeys. The entries are taken out first: a
      // windowed hive may let the index root's cell go while its leaves are read.
      offsets_.clear();
      for (std::uint32_t i = 0; i < n && list::kElements + (i + 1) * list::kOffsetElement <= list.size; ++i) {
        offsets_.push_back(Rd32(list.data + list::kElements + i * list::kOffsetElement));
      }
      for (const std::uint32_t leaf : offsets_) {
        // An index root below an index root is reported as such by AppendSubkeys.
        if (hive_.IsAllocatedCell(leaf) && HasSignature(hive_.Cell(leaf, "an index root entry").data, "ri")) continue;
        Claim(leaf, "subkey list", Referrer{"index root", key.subkeyList});
      }
    }
  }
  if (key.valueCount == 0) return;
  Claim(key.valueList, "value list", Referrer{"key", key.offset});
  values_.clear();
  hive_.AppendValues(key, values_);
  for (const std::uint32_t at : values_) {
    Claim(at, "value", Referrer{"value list", key.valueList});
    const ValueRec v = hive_.Value(at);
    if (v.Inline() || v.Size() == 0) continue;
    Claim(v.dataOffset, "value data", Referrer{"value", at});
    if (!hive_.UsesBigData(v.Size())) continue;
    const Span cell = hive_.Cell(v.dataOffset, "a value's data");
    if (cell.size < db::kSize || !HasSignature(cell.data, "db")) continue;
    const std::uint32_t segments = Rd16(cell.data + db::kSegmentCount);
    const std::uint32_t listAt = Rd32(cell.data + db::kSegmentList);
    Claim(listAt, "big data segment list", Referrer{"big data record", v.dataOffset});
    const Span list = hive_.Cell(listAt, "a big data segment list");
    // Only the segments the data needs are followed; the reader checks the counts. Each segment
    // is a distinct cell of at least its share, so the data assembled later never outgrows the
    // bins, whatever size the value claims.
    offsets_.clear();
    for (std::uint32_t i = 0; i < segments && (i + 1) * db::kSegmentElement <= list.size; ++i) {
      offsets_.push_back(Rd32(list.data + i * db::kSegmentElement));
    }
    std::uint32_t left = v.Size();
    for (std::size_t i = 0; i < offsets_.size() && left > 0; ++i) {
      const std::uint32_t at = offsets_[i];
      Claim(at, "big data segment", Referrer{"big data segment list", listAt});
      const std::uint32_t take = left < kBigDataSegment ? left : kBigDataSegment;
      if (hive_.Cell(at, "a big data segment").size < take) hive_.Fail("big data segment shorter than its share of the data", at);
      left -= take;
    }
  }
}

void TreeWalk::CollectChildren(const KeyNode& key) {
  const std::size_t begin = children_.size();
  hive_.AppendSubkeys(key, children_);
  // The previous name is copied: a windowed hive may let its cell go while the next is read.
  NameRef previous;
  for (std::size_t i = begin; i < children_.size(); ++i) {
    const NameRef name = hive_.KeyName(children_[i]);
    if (i > begin) {
      const int c = CompareNames(previous, name);
      if (c >= 0) {
        const std::string what = c == 0 ? "a subkey list holds two keys of the same name"
                                        : "a subkey list is not in Windows' sorted order";
        if (problems_ == nullptr) hive_.Fail(what, key.subkeyList);
        problems_->push_back(hive_.Name() + ": " + what + " (subkey list of the key at offset " + std::to_string(key.offset) + ")");
      }
    }
    previousName_.assign(name.bytes, name.bytes + name.size);
    previous = NameRef{previousName_.data(), name.size, name.compressed};
  }
}

}  // namespace hv::regf
