#include "hive/hive_catalogue.h"

#include <algorithm>
#include <cstring>

#include "platform/file_queries.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "regf/text_case.h"

namespace hv {
namespace {

constexpr const char* kHivelistKey = "SYSTEM\\CurrentControlSet\\Control\\hivelist";

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return AsciiUpper(text).find(AsciiUpper(part)) != std::string::npos;
}

// The first string of QueryDosDeviceA's answer for `name`; empty when the
// query fails. The buffer grows when the answer does not fit.
std::string FirstDosDevice(const std::string& name, DWORD initialSize) {
  std::vector<char> buffer(initialSize);
  for (;;) {
    DWORD n = Os().QueryDosDeviceA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n != 0) return std::string(buffer.data(), strnlen(buffer.data(), std::min<std::size_t>(n, buffer.size())));
    if (Os().GetLastError() != err::kInsufficientBuffer || buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// The drive roots ("C:\") in the order the system lists them.
std::vector<std::string> LogicalDriveRoots() {
  // Room for all 26 roots of four characters and the final NUL.
  std::vector<char> buffer(105);
  DWORD n = Os().GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n > buffer.size()) {
    buffer.assign(n, '\0');
    n = Os().GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n >= buffer.size()) return {};
  }
  std::vector<std::string> roots;
  for (std::size_t i = 0; i < n;) {
    std::string root(buffer.data() + i, strnlen(buffer.data() + i, n - i));
    if (root.empty()) break;
    roots.push_back(root);
    i += root.size() + 1;
  }
  return roots;
}

// Every value name of `key`, in enumeration order.
std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  std::vector<char> name(256);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LSTATUS status = Os().RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr);
    if (status == static_cast<LSTATUS>(err::kMoreData) && name.size() < 32768) {
      name.resize(name.size() * 2);
      --index;
      continue;
    }
    if (status != 0) break;
    names.emplace_back(name.data(), std::min<std::size_t>(length, name.size()));
  }
  return names;
}

// The data of a REG_SZ or REG_EXPAND_SZ value as stored, up to its first
// NUL; false for another type or a value that cannot be read.
bool ReadStringValue(HKEY key, const std::string& name, std::string* text) {
  DWORD type = 0, size = 0;
  if (Os().RegQueryValueExA(key, name.c_str(), &type, nullptr, &size) != 0) return false;
  if (type != reg::kSz && type != reg::kExpandSz) return false;
  std::vector<BYTE> data(std::max<DWORD>(size, 1));
  for (int attempt = 0; attempt < 8; ++attempt) {
    size = static_cast<DWORD>(data.size());
    LSTATUS status = Os().RegQueryValueExA(key, name.c_str(), &type, data.data(), &size);
    if (status == static_cast<LSTATUS>(err::kMoreData)) {
      data.resize(std::max<std::size_t>(size, data.size() * 2));
      continue;
    }
    if (status != 0 || (type != reg::kSz && type != reg::kExpandSz)) return false;
    const char* chars = reinterpret_cast<const char*>(data.data());
    *text = std::string(chars, strnlen(chars, std::min<std::size_t>(size, data.size())));
    return true;
  }
  return false;
}

// Position just past the `count`-th backslash found from `from` on.
std::size_t NthBackslash(const std::string& s, std::size_t from, int count) {
  std::size_t pos = from;
  for (int i = 0; i < count; ++i) {
    pos = s.find('\\', i == 0 ? pos : pos + 1);
    if (pos == std::string::npos) return pos;
  }
  return pos;
}

}  // namespace

std::vector<std::string> HiveCatalogue::HiveNames() const {
  std::vector<std::string> names;
  names.reserve(Hives.size());
  for (const HiveRecord& hive : Hives) names.push_back(hive.Name);
  return names;
}

std::vector<std::string> HiveCatalogue::HiveFiles() const {
  std::vector<std::string> files;
  files.reserve(Hives.size());
  for (const HiveRecord& hive : Hives) files.push_back(hive.File);
  return files;
}

void HiveCatalogue::MeasureHives() {
  for (HiveRecord& hive : Hives) {
    hive.CurrentSize = HiveFileSize(hive.File);
    const bool copied = FileExists(hive.Copy());
    hive.State = copied ? HiveState::kCopied : HiveState::kNotCopied;
    hive.NewSize = copied ? HiveFileSize(hive.Copy()) : 0;
  }
}

HiveTotals HiveCatalogue::Totals() const {
  HiveTotals totals;
  for (const HiveRecord& hive : Hives) {
    totals.Current += hive.CurrentSize;
    totals.New += hive.State == HiveState::kNotCopied ? hive.CurrentSize : hive.NewSize;
  }
  return totals;
}

bool HiveCatalogue::AnyCopied() const {
  return std::any_of(Hives.begin(), Hives.end(), [](const HiveRecord& hive) {
    return hive.State != HiveState::kListed && hive.State != HiveState::kNotCopied;
  });
}

void HiveCatalogue::BuildHiveTable() {
  Hives.clear();
  UniqueHkey key;
  if (Os().RegOpenKeyExA(HkeyLocalMachine(), kHivelistKey, 0, access::kKeyAllAccess, key.put()) != 0) {
    key.release();
    return;
  }
  for (const std::string& name : ValueNames(key.get())) {
    std::string data;
    if (!ReadStringValue(key.get(), name, &data) || data.empty()) continue;
    std::string file = MapHiveFile(data);
    if (file.empty()) continue;
    Hives.push_back({name, file});
  }
}

std::string HiveCatalogue::MapHiveFile(const std::string& data) const {
  std::string result;
  if (ContainsNoCase(data, "Device\\Harddisk")) {
    std::string candidate = MapThroughFixedDrives(data);
    if (IsWow64Flag) candidate = ToSysnative(candidate);
    if (FileExists(candidate)) result = candidate;
  }
  if (result.empty()) {
    std::string candidate = MapThroughDosDevices(data);
    if (IsWow64Flag) candidate = ToSysnative(candidate);
    if (FileExists(candidate)) result = candidate;
  }
  return result;
}

std::string HiveCatalogue::MapThroughFixedDrives(const std::string& data) const {
  const std::string upperData = AsciiUpper(data);
  for (const std::string& root : LogicalDriveRoots()) {
    if (root.size() < 2 || Os().GetDriveTypeA(root.c_str()) != drive::kFixed) continue;
    const std::string device = AsciiUpper(FirstDosDevice(root.substr(0, 2), 127));
    if (device.empty()) continue;
    for (std::size_t pos = upperData.find(device); pos != std::string::npos;
         pos = upperData.find(device, pos + 1)) {
      const std::size_t end = pos + device.size();
      if (end == data.size() || data[end] == '\\') return root.substr(0, 2) + data.substr(end);
    }
  }
  return {};
}

std::string MapThroughDosDevices(const std::string& data) {
  std::string path = data;
  if ((path.empty() || path[0] != '\\') && AsciiUpper(path.substr(0, 6)) == "DEVICE") path = "\\" + path;

  std::string device = path, rest;
  int backslashes = 0;
  if (ContainsNoCase(path, "Device\\HarddiskVolume")) {
    backslashes = 2;
  } else if (ContainsNoCase(path, "Device\\Harddisk")) {
    backslashes = 3;
  }
  if (backslashes != 0) {
    std::size_t split = NthBackslash(path, 1, backslashes);
    if (split != std::string::npos) {
      device = path.substr(0, split);
      rest = path.substr(split);
    }
  }

  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::string answer = FirstDosDevice(std::string(1, letter) + ":", 1000);
    if (answer.empty()) continue;
    if (SameText(device, answer) || SameText(device, "\\" + answer)) {
      return std::string(1, letter) + ":" + rest;
    }
  }
  return {};
}

std::string HiveCatalogue::ToSysnative(const std::string& path) const {
  const std::size_t pos = AsciiLower(path).find("system32");
  if (pos == std::string::npos) return path;
  std::string candidate = path.substr(0, pos) + "sysnative" + path.substr(pos + 8);
  return FileExists(candidate) ? candidate : path;
}

}  // namespace hv
