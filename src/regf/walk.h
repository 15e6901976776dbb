#pragma once
// Depth-first walk of a hive's key tree with an explicit stack: no recursion, a depth limit, and
// every cell reached at most once. Before a key is handed to the visitor, the walk claims every
// cell the key's references lead to (its subkey lists, class name, value list, values, data,
// big-data lists and segments); a cell claimed twice is a format error naming both referrers.
// Only security cells are shared by design (counted by their reference counts) and are not
// claimed. So a visitor never reads a cell twice through the tree, and the walk's work and
// memory are bounded by the bytes of the hive bins however the references are forged.
// Subkey lists are checked for Windows' order on the way.
#include <cstdint>
#include <string>
#include <vector>

#include "hive.h"
#include "stop.h"

namespace hv::regf {

class TreeWalk {
 public:
  // With `problems` set, order faults are appended there (the checker lists them) instead of
  // failing the walk; structural faults always throw FormatError.
  explicit TreeWalk(const Hive& hive, std::vector<std::string>* problems = nullptr);

  // Visitor interface:
  //   void Enter(const KeyNode& key, std::uint32_t depth);
  //   void Leave(const KeyNode& key, std::uint32_t depth);
  // Enter is called in pre-order, Leave in post-order. Children are visited in stored order.
  template <class Visitor>
  void Run(Visitor& visitor);

  std::uint64_t KeysVisited() const { return keys_; }

 private:
  // Who refers to a cell, for messages: "the <what> at <offset>".
  struct Referrer {
    const char* what;
    std::uint32_t offset;
  };
  struct FoundFirst {
    Referrer by;
  };
  struct Frame {
    KeyNode key;
    std::size_t begin;  // children in children_[begin, end)
    std::size_t end;
    std::size_t next;
  };
  void MarkVisited(std::uint32_t offset, Referrer by);
  void Claim(std::uint32_t cell, const char* what, Referrer by);
  void ClaimCells(const KeyNode& key);
  [[noreturn]] void FailShared(std::uint32_t cell, const char* what, Referrer second);
  void CollectChildren(const KeyNode& key);

  const Hive& hive_;
  std::vector<std::string>* problems_;
  std::vector<std::uint64_t> visited_;  // one bit per 8 bytes of bins: a claimed cell starts here
  std::uint32_t findFirst_ = kNone;  // a cell whose first referrer a repeated walk looks for
  std::vector<std::uint32_t> values_;
  std::vector<std::uint32_t> offsets_;  // entries of an index root or a segment list
  std::vector<std::uint8_t> previousName_;
  std::vector<std::uint32_t> children_;
  std::vector<Frame> stack_;
  std::uint64_t keys_ = 0;
};

template <class Visitor>
void TreeWalk::Run(Visitor& visitor) {
  const KeyNode root = hive_.Key(hive_.Base().rootCell);
  MarkVisited(root.offset, Referrer{"base block", 0});
  ClaimCells(root);
  // Claiming reads the key's other cells: a windowed hive may have let the key's own cell go
  // meanwhile, so the visitor gets it read again.
  visitor.Enter(hive_.Key(root.offset), 0);
  CollectChildren(root);
  stack_.push_back(Frame{root, 0, children_.size(), 0});
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.begin + top.next < top.end) {
      ThrowIfStopped();
      const std::uint32_t childOffset = children_[top.begin + top.next];
      ++top.next;
      const std::uint32_t depth = static_cast<std::uint32_t>(stack_.size());
      if (depth >= kMaxDepth) hive_.Fail("keys nested deeper than " + std::to_string(kMaxDepth) + " levels", childOffset);
      const KeyNode child = hive_.Key(childOffset);
      MarkVisited(child.offset, Referrer{"subkey list of the key", top.key.offset});
      ClaimCells(child);
      visitor.Enter(hive_.Key(childOffset), depth);
      const std::size_t begin = children_.size();
      CollectChildren(child);
      stack_.push_back(Frame{child, begin, children_.size(), 0});  // `top` is invalid from here
    } else {
      visitor.Leave(top.key, static_cast<std::uint32_t>(stack_.size() - 1));
      children_.resize(top.begin);
      stack_.pop_back();
    }
  }
}

}  // namespace hv::regf
