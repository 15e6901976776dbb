#include "compare.h"
#include "hive_overlay.h"
#include "names.h"
#include "recovery.h"
#include "regf.h"

namespace hv::regf {
namespace {

// Finds `name` among the subkeys of `key`; nullopt when absent.
std::optional<KeyNode> FindChild(const Hive& h, const KeyNode& key, std::string_view name) {
  std::vector<std::uint32_t> children;
  h.AppendSubkeys(key, children);
  for (std::uint32_t off : children) {
    const KeyNode child = h.Key(off);
    if (NameMatches(child.name, name)) return child;
  }
  return std::nullopt;
}

std::optional<KeyNode> FindKey(const Hive& h, std::string_view path) {
  try {
    KeyNode key = h.Key(h.Base().rootCell);
    while (!path.empty()) {
      const std::size_t cut = path.find('\\');
      const std::string_view part = path.substr(0, cut);
      path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
      if (part.empty()) continue;
      auto child = FindChild(h, key, part);
      if (!child) return std::nullopt;
      key = *child;
    }
    return key;
  } catch (const FormatError&) {
    return std::nullopt;
  }
}

}  // namespace

HiveFile::HiveFile(std::unique_ptr<Hive> hive) : hive_(std::move(hive)) {}
HiveFile::~HiveFile() = default;

std::unique_ptr<HiveFile> HiveFile::Open(const std::filesystem::path& file, std::string* error) {
  try {
    // The queries cost the bins on their paths: a clean hive's from its file, a dirty one's with
    // its logs' pages laid over them (its logs are read once to find where those pages lie).
    RecoveryReport report;
    std::shared_ptr<HiveOverlay> overlay;
    if (const Status s = RecoverHiveOverlay(file, overlay, report); !s) throw FormatError(s.message);
    auto hive = overlay ? std::make_unique<Hive>(Hive::OnDemand(overlay)) : std::make_unique<Hive>(Hive::OnDemand(file));
    hive->Key(hive->Base().rootCell);
    return std::unique_ptr<HiveFile>(new HiveFile(std::move(hive)));
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return nullptr;
  }
}

bool HiveFile::KeyExists(std::string_view keyPath) const { return FindKey(*hive_, keyPath).has_value(); }

std::vector<std::string> HiveFile::SubkeyNames(std::string_view keyPath) const {
  std::vector<std::string> names;
  const auto key = FindKey(*hive_, keyPath);
  if (!key) return names;
  try {
    std::vector<std::uint32_t> children;
    hive_->AppendSubkeys(*key, children);
    for (std::uint32_t off : children) names.push_back(NameToUtf8(hive_->Key(off).name));
  } catch (const FormatError&) {
  }
  return names;
}

std::vector<std::string> HiveFile::ValueNames(std::string_view keyPath) const {
  std::vector<std::string> names;
  const auto key = FindKey(*hive_, keyPath);
  if (!key) return names;
  try {
    std::vector<std::uint32_t> values;
    hive_->AppendValues(*key, values);
    for (std::uint32_t off : values) names.push_back(NameToUtf8(hive_->Value(off).name));
  } catch (const FormatError&) {
  }
  return names;
}

std::optional<HiveFile::Value> HiveFile::GetValue(std::string_view keyPath, std::string_view valueName) const {
  const auto key = FindKey(*hive_, keyPath);
  if (!key) return std::nullopt;
  try {
    std::vector<std::uint32_t> values;
    hive_->AppendValues(*key, values);
    for (std::uint32_t off : values) {
      const ValueRec v = hive_->Value(off);
      if (NameMatches(v.name, valueName)) {
        Value out{v.type, {}};
        hive_->ReadData(v, out.data);
        return out;
      }
    }
  } catch (const FormatError&) {
  }
  return std::nullopt;
}

std::optional<std::string> HiveFile::GetString(std::string_view keyPath, std::string_view valueName) const {
  auto v = GetValue(keyPath, valueName);
  if (!v || (v->type != 1 && v->type != 2)) return std::nullopt;
  std::size_t n = v->data.size() & ~std::size_t{1};
  while (n >= 2 && v->data[n - 1] == 0 && v->data[n - 2] == 0) n -= 2;
  return Utf16ToUtf8(v->data.data(), n);
}

std::string HiveFile::RootName() const { return NameToUtf8(hive_->Key(hive_->Base().rootCell).name); }

}  // namespace hv::regf
