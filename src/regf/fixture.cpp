#include "fixture.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "cell_sink.h"
#include "records.h"
#include "names.h"

namespace hv::regf {
namespace {

constexpr std::uint64_t kDefaultTime = 132000000000000000ull;  // 2019-04-14

// Stored form of a name: one byte per character when every character fits, as Windows does.
struct StoredName {
  std::vector<std::uint8_t> bytes;
  bool compressed = true;
};
StoredName Store(std::string_view utf8);
NameRef RefOf(const StoredName& s) {
  return NameRef{s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size()), s.compressed};
}
StoredName Store(std::string_view utf8) {
  const std::u16string u = Utf8ToUtf16(utf8);
  StoredName s;
  s.compressed = std::all_of(u.begin(), u.end(), [](char16_t c) { return c <= 0xFF; });
  for (char16_t c : u) {
    s.bytes.push_back(static_cast<std::uint8_t>(c));
    if (!s.compressed) s.bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return s;
}
std::uint32_t Utf16Bytes(const StoredName& n) {
  return static_cast<std::uint32_t>(n.compressed ? n.bytes.size() * 2 : n.bytes.size());
}

std::vector<std::uint8_t> Utf16Bytes(std::string_view utf8) {
  const std::u16string u = Utf8ToUtf16(utf8);
  std::vector<std::uint8_t> out;
  for (char16_t c : u) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::vector<std::uint8_t> Le(std::uint64_t v, int n) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return out;
}

}  // namespace

std::vector<std::uint8_t> DefaultSecurityDescriptor() {
  std::vector<std::uint8_t> sd = {
      1, 0, 0x04, 0x80,  // revision, sbz1, control: self-relative, DACL present
      20, 0, 0, 0,       // owner at 20
      36, 0, 0, 0,       // group at 36
      0, 0, 0, 0,        // no SACL
      48, 0, 0, 0,       // DACL at 48
      1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,  // S-1-5-32-544
      1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,                 // S-1-5-18
      2, 0, 28, 0, 1, 0, 0, 0,                             // ACL: revision 2, 28 bytes, 1 ACE
      0, 2, 20, 0, 0x3F, 0, 0x0F, 0,                       // allowed, container inherit, KEY_ALL_ACCESS
      1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0,                  // S-1-1-0
  };
  return sd;
}

std::uint64_t FileTimeOf(int year, int month, int day) {
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  return static_cast<std::uint64_t>((days * 86400 + 11644473600ll) * 10000000ll);
}

std::vector<std::uint8_t> RegString(std::string_view utf8) {
  std::vector<std::uint8_t> out = Utf16Bytes(utf8);
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> RegMultiString(const std::vector<std::string>& utf8) {
  std::vector<std::uint8_t> out;
  for (const auto& s : utf8) {
    const auto one = RegString(s);
    out.insert(out.end(), one.begin(), one.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

FixtureKey::FixtureKey(std::string_view name) : name_(name), timestamp_(kDefaultTime) {}

FixtureKey* FixtureKey::Child(std::string_view name) {
  const StoredName s = Store(name);
  const NameRef want{s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size()), s.compressed};
  for (auto& c : children_) {
    if (NameMatches(want, c->name_)) return c.get();
  }
  return nullptr;
}

FixtureKey& FixtureKey::AddKey(std::string_view path) {
  FixtureKey* k = this;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    if (part.empty()) continue;
    FixtureKey* next = k->Child(part);
    if (next == nullptr) {
      k->children_.push_back(std::make_unique<FixtureKey>(part));
      next = k->children_.back().get();
    }
    k = next;
  }
  return *k;
}

FixtureKey* FixtureKey::Find(std::string_view path) {
  FixtureKey* k = this;
  while (k != nullptr && !path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    if (!part.empty()) k = k->Child(part);
  }
  return k;
}

FixtureKey& FixtureKey::SetClass(std::string_view utf8) {
  class_ = std::string(utf8);
  return *this;
}
FixtureKey& FixtureKey::SetTimestamp(std::uint64_t filetime) {
  timestamp_ = filetime;
  return *this;
}
FixtureKey& FixtureKey::SetSecurity(std::vector<std::uint8_t> descriptor) {
  security_ = std::move(descriptor);
  return *this;
}
FixtureKey& FixtureKey::SetFlags(std::uint16_t flags) {
  flags_ = flags;
  return *this;
}
FixtureKey& FixtureKey::SetUserFlags(std::uint16_t flags) {
  userFlags_ = flags;
  return *this;
}
FixtureKey& FixtureKey::SetValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  const StoredName s = Store(name);
  const NameRef want{s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size()), s.compressed};
  for (auto& v : values_) {
    if (NameMatches(want, v.name)) {
      v.type = type;
      v.data = std::move(data);
      return *this;
    }
  }
  values_.push_back(Val{std::string(name), type, std::move(data)});
  return *this;
}
FixtureKey& FixtureKey::SetString(std::string_view name, std::string_view utf8) {
  return SetValue(name, kRegSz, RegString(utf8));
}
FixtureKey& FixtureKey::SetExpandString(std::string_view name, std::string_view utf8) {
  return SetValue(name, kRegExpandSz, RegString(utf8));
}
FixtureKey& FixtureKey::SetMultiString(std::string_view name, const std::vector<std::string>& utf8) {
  return SetValue(name, kRegMultiSz, RegMultiString(utf8));
}
FixtureKey& FixtureKey::SetDword(std::string_view name, std::uint32_t v) { return SetValue(name, kRegDword, Le(v, 4)); }
FixtureKey& FixtureKey::SetQword(std::string_view name, std::uint64_t v) { return SetValue(name, kRegQword, Le(v, 8)); }
FixtureKey& FixtureKey::SetBinary(std::string_view name, std::vector<std::uint8_t> data) {
  return SetValue(name, kRegBinary, std::move(data));
}
FixtureKey& FixtureKey::AddDeletedKey(std::string_view name) {
  deletedKeys_.emplace_back(name);
  return *this;
}
FixtureKey& FixtureKey::AddDeletedValue(std::string_view name, std::vector<std::uint8_t> data) {
  deletedValues_.push_back(Val{std::string(name), kRegBinary, std::move(data)});
  return *this;
}

FixtureBuilder::FixtureBuilder(std::uint32_t minor)
    : minor_(minor < 2 ? 2 : (minor > 6 ? 6 : minor)), root_(std::make_unique<FixtureKey>("ROOT")), lastWritten_(kDefaultTime) {}

FixtureBuilder& FixtureBuilder::SetRootName(std::string_view name) {
  root_->name_ = std::string(name);
  return *this;
}
FixtureBuilder& FixtureBuilder::AddGarbage(double ratio, std::uint32_t seed) {
  garbage_ = ratio < 0 ? 0 : (ratio > 0.9 ? 0.9 : ratio);
  seed_ = seed == 0 ? 1 : seed;
  return *this;
}
FixtureBuilder& FixtureBuilder::SetFileSlack(std::uint32_t bytes) {
  slack_ = bytes / kBinAlign * kBinAlign;
  return *this;
}
FixtureBuilder& FixtureBuilder::SetSequenceNumbers(std::uint32_t primary, std::uint32_t secondary) {
  primary_ = primary;
  secondary_ = secondary;
  return *this;
}
FixtureBuilder& FixtureBuilder::SetLastWritten(std::uint64_t filetime) {
  lastWritten_ = filetime;
  return *this;
}

// Lays the tree out depth-first (recursion is fine: fixture trees are ours and shallow), with
// garbage cells interleaved after live ones in proportion to their size.
class FixtureWriter {
 public:
  FixtureWriter(const FixtureBuilder& b, CellSink& out) : b_(b), out_(out), rng_(b.seed_), security_(out) {}

  std::uint32_t Key(const FixtureKey& k, std::uint32_t parent, const std::vector<std::uint8_t>& inherited, bool root) {
    const StoredName name = Store(k.name_);
    const std::uint32_t nk = Alloc(kNkFixed + static_cast<std::uint32_t>(name.bytes.size()));
    std::uint32_t classCell = kNone;
    std::vector<std::uint8_t> cls = Utf16Bytes(k.class_);
    if (!cls.empty()) {
      classCell = Alloc(static_cast<std::uint32_t>(cls.size()));
      std::memcpy(out_.Data(classCell), cls.data(), cls.size());
    }
    const std::vector<std::uint8_t>& sd = k.security_.empty() ? inherited : k.security_;
    const std::uint32_t sk = Security(sd);

    for (const auto& v : k.deletedValues_) out_.Release(Value(v));
    std::uint32_t list = kNone, maxValueName = 0, maxData = 0;
    if (!k.values_.empty()) {
      list = Alloc(static_cast<std::uint32_t>(valuelist::kElement * k.values_.size()));
      for (std::size_t i = 0; i < k.values_.size(); ++i) {
        const std::uint32_t vk = Value(k.values_[i]);
        Wr32(out_.Data(list) + valuelist::kElement * i, vk);
        maxValueName = std::max(maxValueName, Utf16Bytes(Store(k.values_[i].name)));
        maxData = std::max(maxData, static_cast<std::uint32_t>(k.values_[i].data.size()));
      }
    }
    for (const auto& d : k.deletedKeys_) {
      const StoredName dn = Store(d);
      const std::uint32_t cell = out_.Alloc(kNkFixed + static_cast<std::uint32_t>(dn.bytes.size()));
      KeyNode deleted;
      deleted.flags = dn.compressed ? kKeyCompName : 0;
      deleted.timestamp = 0;
      deleted.parent = nk;
      deleted.subkeyList = 0;
      deleted.valueList = 0;
      deleted.security = 0;
      deleted.classCell = 0;
      deleted.name = RefOf(dn);
      WriteKeyNode(out_.Data(cell), deleted);
      Wr32(out_.Data(cell) + nk::kVolatileSubkeyList, 0);
      out_.Release(cell);
    }

    std::vector<const FixtureKey*> kids;
    for (const auto& c : k.children_) kids.push_back(c.get());
    std::sort(kids.begin(), kids.end(), [](const FixtureKey* a, const FixtureKey* c) {
      const StoredName sa = Store(a->name_), sc = Store(c->name_);
      return CompareNames(NameRef{sa.bytes.data(), static_cast<std::uint32_t>(sa.bytes.size()), sa.compressed},
                          NameRef{sc.bytes.data(), static_cast<std::uint32_t>(sc.bytes.size()), sc.compressed}) < 0;
    });
    std::vector<std::uint32_t> kidCells;
    std::uint32_t maxName = 0, maxClass = 0;
    for (const FixtureKey* c : kids) {
      kidCells.push_back(Key(*c, nk, sd, false));
      maxName = std::max(maxName, Utf16Bytes(Store(c->name_)));
      maxClass = std::max(maxClass, static_cast<std::uint32_t>(Utf16Bytes(c->class_).size()));
    }
    const std::uint32_t subkeys = out_.WriteSubkeyList(kidCells.data(), kidCells.size());
    Garbage(64);

    std::uint16_t flags = static_cast<std::uint16_t>(k.flags_ | (name.compressed ? kKeyCompName : 0));
    if (root) flags |= kKeyHiveEntry | kKeyNoDelete;
    KeyNode record;
    record.flags = flags;
    record.timestamp = k.timestamp_;
    record.parent = root ? kNone : parent;
    record.subkeyCount = static_cast<std::uint32_t>(kidCells.size());
    record.subkeyList = subkeys;
    record.valueCount = static_cast<std::uint32_t>(k.values_.size());
    record.valueList = list;
    record.security = sk;
    record.classCell = classCell;
    record.maxNameField = (static_cast<std::uint32_t>(k.userFlags_) << 16) | maxName;
    record.maxClassLen = maxClass;
    record.maxValueNameLen = maxValueName;
    record.maxValueDataLen = maxData;
    record.classLen = static_cast<std::uint16_t>(cls.size());
    record.name = RefOf(name);
    WriteKeyNode(out_.Data(nk), record);
    return nk;
  }

  void FinishSecurity() { security_.Finish(); }

 private:
  std::uint32_t Next() {
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 17;
    rng_ ^= rng_ << 5;
    return rng_;
  }

  std::uint32_t Alloc(std::uint32_t size) {
    const std::uint32_t at = out_.Alloc(size);
    Garbage(size);
    return at;
  }

  // Adds free or orphaned cells worth garbage/(1-garbage) of `liveBytes`, in pieces of 16-520.
  void Garbage(std::uint32_t liveBytes) {
    if (b_.garbage_ <= 0) return;
    debt_ += liveBytes * b_.garbage_ / (1 - b_.garbage_);
    while (debt_ > 0) {
      const std::uint32_t size = 12 + (Next() % 64) * 8;
      const std::uint32_t cell = out_.Alloc(size);
      std::uint8_t* p = out_.Data(cell);
      for (std::uint32_t i = 0; i < size; ++i) p[i] = static_cast<std::uint8_t>(Next());
      if (Next() % 4 != 0) out_.Release(cell);  // the rest stay allocated but unreferenced
      debt_ -= size + 4;
    }
  }

  std::uint32_t Security(const std::vector<std::uint8_t>& sd) {
    const std::uint32_t size = static_cast<std::uint32_t>(sd.size());
    const SecurityWriter::Use use = security_.Reference(sd.data(), size);
    if (use.created) Garbage(kSkFixed + size);
    return use.cell;
  }

  std::uint32_t Value(const FixtureKey::Val& v) {
    const StoredName name = Store(v.name);
    const std::uint32_t vk = Alloc(kVkFixed + static_cast<std::uint32_t>(name.bytes.size()));
    std::uint32_t rawSize = 0, dataOffset = 0;
    out_.WriteValueData(v.data.data(), static_cast<std::uint32_t>(v.data.size()), rawSize, dataOffset);
    Garbage(static_cast<std::uint32_t>(v.data.size() > vk::kInlineMax ? v.data.size() : 0));
    WriteValueRecord(out_.Data(vk), RefOf(name), rawSize, dataOffset, v.type, name.compressed ? kValueCompName : 0);
    return vk;
  }

  const FixtureBuilder& b_;
  CellSink& out_;
  std::uint32_t rng_;
  double debt_ = 0;
  SecurityWriter security_;
};

std::vector<std::uint8_t> FixtureBuilder::Build() const {
  CellSink out(minor_, 1 << 16);
  FixtureWriter w(*this, out);
  const std::uint32_t root = w.Key(*root_, kNone, DefaultSecurityDescriptor(), true);
  w.FinishSecurity();
  CellSink::BaseFields f;
  f.sequence = primary_;
  f.secondary = secondary_;
  f.lastWritten = lastWritten_;
  f.root = root;
  std::vector<std::uint8_t> image = out.Finish(f);
  image.resize(image.size() + slack_, 0);
  return image;
}

Status FixtureBuilder::WriteFile(const std::filesystem::path& file) const {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return Status{false, file.string() + ": already exists"};
  const std::vector<std::uint8_t> image = Build();
  std::ofstream f(file, std::ios::binary);
  f.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  f.close();
  if (!f) return Status{false, file.string() + ": cannot write the file"};
  return {};
}

}  // namespace hv::regf
