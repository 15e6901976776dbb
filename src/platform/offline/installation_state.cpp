#include "platform/offline/installation_state.h"

#include <charconv>
#include <vector>

namespace hv::offline {

namespace {

std::string Stamp(const FileStamp& s) {
  if (!s.present) return "-";
  return std::to_string(s.size) + "," + std::to_string(s.mtimeNs);
}


template <typename T>
bool Number(const std::string& s, T* value) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool ParseStamp(const std::string& text, FileStamp* stamp) {
  if (text == "-") {
    *stamp = {};
    return true;
  }
  const auto parts = SplitFields(text, ',');
  stamp->present = true;
  return parts.size() == 2 && Number(parts[0], &stamp->size) && Number(parts[1], &stamp->mtimeNs);
}

}  // namespace

std::string FormatFingerprint(const HiveFingerprint& f) {
  return Stamp(f.hive) + "," + std::to_string(f.sequence1) + "," + std::to_string(f.sequence2) + ";" +
         Stamp(f.log1) + ";" + Stamp(f.log2);
}

std::optional<HiveFingerprint> ParseFingerprint(const std::string& text) {
  const auto parts = SplitFields(text, ';');
  if (parts.size() != 3) return std::nullopt;
  const auto hive = SplitFields(parts[0], ',');
  HiveFingerprint f;
  if (hive.size() != 4 || !Number(hive[0], &f.hive.size) || !Number(hive[1], &f.hive.mtimeNs) ||
      !Number(hive[2], &f.sequence1) || !Number(hive[3], &f.sequence2)) {
    return std::nullopt;
  }
  f.hive.present = true;
  if (!ParseStamp(parts[1], &f.log1) || !ParseStamp(parts[2], &f.log2)) return std::nullopt;
  return f;
}

std::vector<std::string> SplitFields(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = text.find(separator, at);
    parts.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    if (next == std::string::npos) return parts;
    at = next + 1;
  }
}

}  // namespace hv::offline
