#include "copy_tree.h"

#include <cstdint>
#include <vector>

#include "regf/format.h"
#include "regf/names.h"
#include "regf/walk.h"

namespace hv::bench {
namespace {

using regf::FixtureKey;
using regf::Hive;
using regf::KeyNode;

// The flags the fixture writer sets itself.
constexpr std::uint16_t kWriterFlags = regf::kKeyCompName | regf::kKeyHiveEntry | regf::kKeyNoDelete;

class Copier {
 public:
  Copier(const Hive& source, FixtureKey& into) : source_(source), into_(into) {}

  void Enter(const KeyNode& key, std::uint32_t depth) {
    // The name first: its bytes may be gone once the values are read.
    FixtureKey* target = depth == 0 ? &into_ : &keys_[depth - 1]->AddKey(regf::NameToUtf8(key.name));
    target->SetTimestamp(key.timestamp);
    target->SetFlags(static_cast<std::uint16_t>(key.flags & ~kWriterFlags));
    target->SetUserFlags(static_cast<std::uint16_t>(key.maxNameField >> 16));
    // A descriptor is given where it differs from the parent's: the others inherit it.
    if (key.security != regf::kNone && (depth == 0 || key.security != security_[depth - 1])) {
      const regf::Span sd = source_.SecurityDescriptor(key.security);
      target->SetSecurity(std::vector<std::uint8_t>(sd.data, sd.data + sd.size));
    }
    if (const regf::Span cls = source_.ClassName(key); cls.size > 0) {
      target->SetClass(regf::Utf16ToUtf8(cls.data, cls.size));
    }
    values_.clear();
    source_.AppendValues(key, values_);
    for (const std::uint32_t offset : values_) {
      const regf::ValueRec value = source_.Value(offset);
      const std::string name = regf::NameToUtf8(value.name);
      source_.ReadData(value, data_);
      target->SetValue(name, value.type, data_);
    }
    keys_.resize(depth);
    keys_.push_back(target);
    security_.resize(depth);
    security_.push_back(key.security);
  }
  void Leave(const KeyNode&, std::uint32_t) {}

 private:
  const Hive& source_;
  FixtureKey& into_;
  std::vector<FixtureKey*> keys_;          // the copies of the keys on the walk's path
  std::vector<std::uint32_t> security_;    // and their descriptors in the source
  std::vector<std::uint32_t> values_;
  std::vector<std::uint8_t> data_;
};

}  // namespace

void CopyTree(const Hive& source, FixtureKey& into) {
  Copier copier(source, into);
  regf::TreeWalk walk(source);
  walk.Run(copier);
}

}  // namespace hv::bench
