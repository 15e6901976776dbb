#include "compare.h"

#include "stop.h"

#include "names.h"
#include "walk.h"

namespace hv::regf {
namespace {

class ValidateVisitor {
 public:
  explicit ValidateVisitor(const Hive& h) : h_(h) {}
  void Enter(const KeyNode& key, std::uint32_t) {
    ++counts.keys;
    if (key.classLen > 0) h_.ClassName(key);
    if (key.security != kNone) h_.SecurityDescriptor(key.security);
    values_.clear();
    h_.AppendValues(key, values_);
    for (std::uint32_t off : values_) {
      const ValueRec v = h_.Value(off);
      std::uint8_t inlineBytes[4];
      Span direct;
      if (!h_.DirectData(v, inlineBytes, direct)) h_.ReadData(v, data_);
      ++counts.values;
    }
  }
  void Leave(const KeyNode&, std::uint32_t) {}
  TreeCounts counts;

 private:
  const Hive& h_;
  std::vector<std::uint32_t> values_;
  std::vector<std::uint8_t> data_;
};

std::uint16_t Meaningful(std::uint16_t flags, bool root) {
  std::uint16_t f = static_cast<std::uint16_t>(flags & ~kDroppedKeyFlags);
  if (!root) f = static_cast<std::uint16_t>(f & ~kKeyHiveEntry);
  return f;
}

bool SameBytes(const NameRef& a, const NameRef& b) {
  return a.compressed == b.compressed && a.size == b.size && std::memcmp(a.bytes, b.bytes, a.size) == 0;
}
bool SameSpan(const Span& a, const Span& b) {
  return a.size == b.size && (a.size == 0 || std::memcmp(a.data, b.data, a.size) == 0);
}

class Comparer {
 public:
  Comparer(const Hive& a, const Hive& b, std::size_t limit) : a_(a), b_(b), limit_(limit) {}

  std::vector<std::string> Run() {
    const KeyNode ra = a_.Key(a_.Base().rootCell), rb = b_.Key(b_.Base().rootCell);
    stack_.push_back(Frame{ra, rb, 0, 0, 0});
    CompareKey(ra, rb, true);
    Expand();
    while (!stack_.empty() && diffs_.size() < limit_) {
      Frame& top = stack_.back();
      if (top.next < top.count) {
        ThrowIfStopped();
        const std::uint32_t ca = childrenA_[top.begin + top.next];
        const std::uint32_t cb = childrenB_[top.begin + top.next];
        ++top.next;
        const KeyNode ka = a_.Key(ca), kb = b_.Key(cb);
        stack_.push_back(Frame{ka, kb, 0, 0, 0});
        CompareKey(ka, kb, false);
        Expand();
      } else {
        childrenA_.resize(top.begin);
        childrenB_.resize(top.begin);
        stack_.pop_back();
      }
    }
    return diffs_;
  }

 private:
  struct Frame {
    KeyNode a, b;
    std::size_t begin, count, next;
  };

  // The names are read again: a windowed hive may have let the cells of the frames' keys go.
  std::string Path() const {
    std::string p;
    for (std::size_t i = 1; i < stack_.size(); ++i) {
      if (i > 1) p += '\\';
      p += NameToUtf8(a_.KeyName(stack_[i].a.offset));
    }
    return p.empty() ? std::string("(root)") : p;
  }
  void Diff(const std::string& what) {
    if (diffs_.size() < limit_) diffs_.push_back(Path() + ": " + what);
  }

  void CompareKey(const KeyNode& ka, const KeyNode& kb, bool root) {
    if (!SameBytes(ka.name, kb.name)) {
      Diff("key name differs (" + NameToUtf8(ka.name) + " / " + NameToUtf8(kb.name) + ")");
    }
    if (ka.timestamp != kb.timestamp) Diff("timestamp differs");
    if (Meaningful(ka.flags, root) != Meaningful(kb.flags, root)) Diff("key flags differ");
    if ((ka.maxNameField >> 16) != (kb.maxNameField >> 16)) Diff("virtualisation and user flags differ");
    if (!SameSpan(a_.ClassName(ka), b_.ClassName(kb))) Diff("class name differs");
    if ((ka.security == kNone) != (kb.security == kNone)) {
      Diff("only one key has a security descriptor");
    } else if (ka.security != kNone &&
               !SameSpan(a_.SecurityDescriptor(ka.security), b_.SecurityDescriptor(kb.security))) {
      Diff("security descriptor differs");
    }
    valuesA_.clear();
    valuesB_.clear();
    a_.AppendValues(ka, valuesA_);
    b_.AppendValues(kb, valuesB_);
    if (valuesA_.size() != valuesB_.size()) {
      Diff("value count differs (" + std::to_string(valuesA_.size()) + " / " + std::to_string(valuesB_.size()) + ")");
    } else {
      for (std::size_t i = 0; i < valuesA_.size(); ++i) {
        const ValueRec va = a_.Value(valuesA_[i]), vb = b_.Value(valuesB_[i]);
        // The label is built only for a difference: this loop runs for every value of a hive.
        auto label = [&] { return "value " + std::to_string(i) + " \"" + NameToUtf8(a_.Value(valuesA_[i]).name) + "\""; };
        if (!SameBytes(va.name, vb.name)) {
          Diff(label() + ": name differs (\"" + NameToUtf8(vb.name) + "\")");
          continue;
        }
        if (va.type != vb.type) Diff(label() + ": type differs");
        if (va.flags != vb.flags) Diff(label() + ": flags differ");
        if (!SameData(va, vb)) Diff(label() + ": data differs");
      }
    }
  }

  // Data in one piece is compared where it lies; big data is assembled first.
  bool SameData(const ValueRec& va, const ValueRec& vb) {
    std::uint8_t inlineA[4], inlineB[4];
    Span da, db;
    const bool directA = a_.DirectData(va, inlineA, da);
    const bool directB = b_.DirectData(vb, inlineB, db);
    if (directA && directB) return SameSpan(da, db);
    if (!directA) {
      a_.ReadData(va, dataA_);
      da = Span{dataA_.data(), static_cast<std::uint32_t>(dataA_.size())};
    }
    if (!directB) {
      b_.ReadData(vb, dataB_);
      db = Span{dataB_.data(), static_cast<std::uint32_t>(dataB_.size())};
    }
    return SameSpan(da, db);
  }

  // Queues the children of the newest frame when both keys have the same subkey names.
  void Expand() {
    Frame& f = stack_.back();
    f.begin = childrenA_.size();
    a_.AppendSubkeys(f.a, childrenA_);
    b_.AppendSubkeys(f.b, childrenB_);
    const std::size_t na = childrenA_.size() - f.begin, nb = childrenB_.size() - f.begin;
    if (na != nb) {
      Diff("subkey count differs (" + std::to_string(na) + " / " + std::to_string(nb) + ")");
      childrenA_.resize(f.begin);
      childrenB_.resize(f.begin);
      f.count = 0;
      return;
    }
    f.count = na;
  }

  const Hive& a_;
  const Hive& b_;
  std::size_t limit_;
  std::vector<Frame> stack_;
  std::vector<std::uint32_t> childrenA_, childrenB_, valuesA_, valuesB_;
  std::vector<std::uint8_t> dataA_, dataB_;
  std::vector<std::string> diffs_;
};

}  // namespace

TreeCounts ValidateTree(const Hive& hive) {
  ValidateVisitor v(hive);
  TreeWalk walk(hive);
  walk.Run(v);
  return v.counts;
}

std::vector<std::string> CompareTrees(const Hive& a, const Hive& b, std::size_t limit) {
  Comparer c(a, b, limit);
  return c.Run();
}

}  // namespace hv::regf
