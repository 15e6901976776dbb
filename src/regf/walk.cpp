#include "walk.h"

namespace hv::regf {

TreeWalk::TreeWalk(const Hive& hive, std::vector<std::string>* problems)
    : hive_(hive), problems_(problems), visited_(hive.Base().binsSize / 512 + 1, 0) {}

void TreeWalk::MarkVisited(std::uint32_t offset) {
  std::uint64_t& word = visited_[offset / 512];
  const std::uint64_t bit = std::uint64_t{1} << ((offset / 8) % 64);
  if (word & bit) hive_.Fail("a key is reached twice (a cycle or a shared subkey)", offset);
  word |= bit;
  ++keys_;
}

void TreeWalk::CollectChildren(const KeyNode& key) {
  const std::size_t begin = children_.size();
  hive_.AppendSubkeys(key, children_);
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
    previous = name;
  }
}

}  // namespace hv::regf
