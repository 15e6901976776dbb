#include "platform/offline/machine_description.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>

#include "platform/offline/host_io.h"
#include "platform/offline/private_profile.h"
#include "regf/text_case.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<unsigned long long> ParseNumber(std::string_view text, unsigned long long max) {
  if (text.empty()) return std::nullopt;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned long long value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (value > max) return std::nullopt;
  }
  return value;
}

std::optional<std::vector<BYTE>> ParseHexBytes(std::string_view text) {
  std::vector<BYTE> bytes;
  int pending = -1;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == '\t') {
      if (pending >= 0) return std::nullopt;  // a lone digit between separators
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                            : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (pending < 0) {
      pending = digit;
    } else {
      bytes.push_back(static_cast<BYTE>(pending * 16 + digit));
      pending = -1;
    }
  }
  if (pending >= 0) return std::nullopt;
  return bytes;
}

std::optional<UINT> DriveType(std::string_view name) {
  static const std::map<std::string, UINT> kTypes = {
      {"FIXED", drive::kFixed},   {"REMOVABLE", drive::kRemovable}, {"REMOTE", drive::kRemote},
      {"CDROM", drive::kCdrom},   {"RAMDISK", drive::kRamdisk}};
  auto it = kTypes.find(AsciiUpper(name));
  if (it == kTypes.end()) return std::nullopt;
  return it->second;
}

class Reader {
 public:
  Reader(fs::path file, std::string* error) : file_(std::move(file)), error_(error) {}

  bool Fail(std::size_t line, const std::string& problem) {
    *error_ = file_.string() + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  }

  bool Machine(const ProfileLine& line, MachineDescription* d) {
    std::string key = AsciiUpper(line.name);
    if (key == "VERSION") {
      std::size_t dot = line.value.find('.');
      auto major = ParseNumber(line.value.substr(0, dot), 0xFFFFFFFFu);
      auto minor = dot == std::string::npos ? std::nullopt
                                            : ParseNumber(line.value.substr(dot + 1), 0xFFFFFFFFu);
      if (!major || !minor || line.value.rfind("0x", 0) == 0) {
        return Fail(line.number, "Version must be major.minor (for example 6.1), not \"" + line.value + "\"");
      }
      d->version = ReleaseVersion{static_cast<DWORD>(*major), static_cast<DWORD>(*minor)};
    } else if (key == "PLATFORMID") {
      auto id = ParseNumber(line.value, 0xFFFFFFFFu);
      if (!id) return Fail(line.number, "PlatformId must be a number, not \"" + line.value + "\"");
      d->platformId = static_cast<DWORD>(*id);
    } else if (key == "WOW64") {
      if (line.value != "0" && line.value != "1") {
        return Fail(line.number, "Wow64 must be 0 or 1, not \"" + line.value + "\"");
      }
      d->wow64 = line.value == "1";
    } else if (key == "RESTOREPOINT") {
      std::string v = AsciiUpper(line.value);
      if (v != "FAIL" && v != "OK") {
        return Fail(line.number, "RestorePoint must be fail or ok, not \"" + line.value + "\"");
      }
      d->restorePointFails = v == "FAIL";
    } else {
      return Fail(line.number, "unknown key \"" + line.name + "\" in [Machine]");
    }
    return true;
  }

  bool Drive(const ProfileLine& line, MachineDescription* d) {
    if (line.name.size() != 1 || !std::isalpha(static_cast<unsigned char>(line.name[0]))) {
      return Fail(line.number, "drive \"" + line.name + "\" is not a single letter");
    }
    const std::string& v = line.value;
    std::size_t c1 = v.find(',');
    std::size_t c2 = c1 == std::string::npos ? c1 : v.find(',', c1 + 1);
    if (c2 == std::string::npos) {
      return Fail(line.number, "drive line must be letter=type,device,folder");
    }
    DriveSpec entry;
    entry.letter = AsciiUpper(line.name[0]);
    std::string_view type = Trim(std::string_view(v).substr(0, c1));
    auto t = DriveType(type);
    if (!t) {
      return Fail(line.number, "unknown drive type \"" + std::string(type) +
                                   "\" (fixed, removable, remote, cdrom or ramdisk)");
    }
    entry.type = *t;
    entry.device = std::string(Trim(std::string_view(v).substr(c1 + 1, c2 - c1 - 1)));
    if (entry.device.empty() || entry.device[0] != '\\') {
      return Fail(line.number, "device \"" + entry.device + "\" must be a kernel name such as \\Device\\HarddiskVolume1");
    }
    std::string folder(Trim(std::string_view(v).substr(c2 + 1)));
    if (folder.empty()) return Fail(line.number, "drive " + line.name + ": has no folder");
    entry.folder = fs::path(folder);
    if (entry.folder.is_relative()) entry.folder = file_.parent_path() / entry.folder;
    std::error_code ec;
    if (!fs::is_directory(entry.folder, ec)) {
      return Fail(line.number, "folder " + entry.folder.string() + " of drive " + line.name + ": does not exist");
    }
    entry.folder = fs::absolute(entry.folder, ec).lexically_normal();
    for (const DriveSpec& other : d->drives) {
      if (other.letter == entry.letter) return Fail(line.number, "drive " + line.name + ": is described twice");
    }
    d->drives.push_back(std::move(entry));
    return true;
  }

  bool Hive(const ProfileLine& line, std::vector<HivelistValue>* list) {
    std::size_t colon = line.value.find(':');
    if (line.name.empty()) return Fail(line.number, "hivelist value without a name");
    if (colon == std::string::npos) {
      return Fail(line.number, "hivelist value must be name=type:data, for example REG_SZ:\\Device\\...");
    }
    HivelistValue value;
    value.name = line.name;
    std::string type = AsciiUpper(Trim(std::string_view(line.value).substr(0, colon)));
    std::string data = line.value.substr(colon + 1);
    if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
      value.type = type == "REG_SZ" ? reg::kSz : reg::kExpandSz;
      value.data = StringData(data);
    } else if (type == "REG_DWORD") {
      auto n = ParseNumber(Trim(data), 0xFFFFFFFFu);
      if (!n) return Fail(line.number, "REG_DWORD data \"" + data + "\" is not a 32-bit number");
      value.type = reg::kDword;
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(*n >> (8 * i)));
    } else if (type == "REG_BINARY") {
      auto bytes = ParseHexBytes(data);
      if (!bytes) return Fail(line.number, "REG_BINARY data \"" + data + "\" is not a list of hex bytes");
      value.type = reg::kBinary;
      value.data = std::move(*bytes);
    } else {
      return Fail(line.number, "unknown value type \"" + type +
                                   "\" (REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY)");
    }
    for (const HivelistValue& other : *list) {
      if (ProfileNamesEqual(other.name, value.name)) {
        return Fail(line.number, "hivelist value " + value.name + " is given twice");
      }
    }
    list->push_back(std::move(value));
    return true;
  }

 private:
  fs::path file_;
  std::string* error_;
};

}  // namespace

std::vector<BYTE> StringData(const std::string& text) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

const DriveSpec* MachineDescription::Drive(char letter) const {
  letter = AsciiUpper(letter);
  for (const DriveSpec& d : drives) {
    if (d.letter == letter) return &d;
  }
  return nullptr;
}

std::optional<MachineDescription> DescribeRoot(const fs::path& root, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = root.string() + ": not a folder (--root needs the folder of a Windows system drive)";
    return std::nullopt;
  }
  MachineDescription d;
  d.drives.push_back({'C', drive::kFixed, "\\Device\\HarddiskVolume1", fs::absolute(root, ec).lexically_normal()});
  return d;
}

std::optional<MachineDescription> LoadMachineDescription(const fs::path& file, std::string* error) {
  Reader reader(file, error);
  std::string bytes;
  if (DWORD e = host::ReadFile(file, &bytes); e != err::kSuccess) {
    reader.Fail(0, "cannot read the machine description (error " + std::to_string(e) + ")");
    return std::nullopt;
  }
  ProfileDocument doc = ProfileDocument::Parse(bytes);
  MachineDescription d;
  d.file = file;
  d.wow64 = false;
  std::vector<HivelistValue> hivelist;
  std::map<std::string, std::size_t> seenSections;
  std::map<std::string, std::size_t> seenMachineKeys;
  std::string section;
  for (const ProfileLine& line : doc.lines()) {
    switch (line.kind) {
      case ProfileLine::Kind::kBlank:
      case ProfileLine::Kind::kComment:
        continue;
      case ProfileLine::Kind::kSection: {
        section = AsciiUpper(line.name);
        if (section != "MACHINE" && section != "DRIVES" && section != "HIVELIST") {
          reader.Fail(line.number, "unknown section [" + line.name + "] (Machine, Drives or Hivelist)");
          return std::nullopt;
        }
        auto [it, fresh] = seenSections.emplace(section, line.number);
        if (!fresh) {
          reader.Fail(line.number, "section [" + line.name + "] appears again (first at line " +
                                       std::to_string(it->second) + ")");
          return std::nullopt;
        }
        if (section == "HIVELIST") d.hivelist.emplace();
        continue;
      }
      case ProfileLine::Kind::kOther:
        reader.Fail(line.number, "not a name=value line");
        return std::nullopt;
      case ProfileLine::Kind::kKey:
        break;
    }
    bool ok;
    if (section.empty()) {
      ok = reader.Fail(line.number, "value outside any section");
    } else if (section == "MACHINE") {
      auto [it, fresh] = seenMachineKeys.emplace(AsciiUpper(line.name), line.number);
      ok = fresh ? reader.Machine(line, &d)
                 : reader.Fail(line.number, line.name + " is given twice (first at line " +
                                                std::to_string(it->second) + ")");
    } else if (section == "DRIVES") {
      ok = reader.Drive(line, &d);
    } else {
      ok = reader.Hive(line, &hivelist);
    }
    if (!ok) return std::nullopt;
  }
  if (d.drives.empty()) {
    reader.Fail(0, "no drives: a [Drives] section with at least C= is needed");
    return std::nullopt;
  }
  std::sort(d.drives.begin(), d.drives.end(),
            [](const DriveSpec& a, const DriveSpec& b) { return a.letter < b.letter; });
  if (d.hivelist) {
    d.hivelist = std::move(hivelist);
  } else if (d.Drive('C') == nullptr) {
    reader.Fail(0, "no drive C: to find the hives on (give C= in [Drives] or a [Hivelist])");
    return std::nullopt;
  }
  return d;
}

}  // namespace hv::offline
