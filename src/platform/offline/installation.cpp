#include "platform/offline/installation.h"

#include <cctype>
#include <charconv>
#include <system_error>

#include "platform/offline/held_path.h"
#include "regf/regf.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr const char* kConfig = "\\Windows\\System32\\config\\";
constexpr const char* kCurrentVersion = "Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kProfileList = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

std::unique_ptr<regf::HiveFile> OpenSoftware(const DriveMap& drives) {
  auto file = drives.ResolveNative(std::string("C:") + kConfig + "SOFTWARE");
  std::error_code ec;
  if (!file || !fs::is_regular_file(*file, ec)) return nullptr;
  std::string error;
  const HeldPath held(*file);
  if (held.error() != 0) return nullptr;
  return regf::HiveFile::Open(held.path(), &error);
}

bool FileExists(const DriveMap& drives, const std::string& windowsPath) {
  auto host = drives.ResolveNative(windowsPath);
  std::error_code ec;
  return host && fs::is_regular_file(*host, ec);
}

}  // namespace

bool HoldsWindows(const DriveMap& drives) {
  const std::string config = std::string("C:") + kConfig;
  for (const char* hive : {"SYSTEM", "SOFTWARE", "SAM", "SECURITY", "DEFAULT"}) {
    if (FileExists(drives, config + hive)) return true;
  }
  return false;
}

namespace {

// "\Device\...\rest" for a drive-letter path, if its drive is described.
std::optional<std::string> KernelPath(const DriveMap& drives, const std::string& windowsPath) {
  if (!DriveMap::IsDrivePath(windowsPath)) return std::nullopt;
  const DriveSpec* d = drives.Drive(windowsPath[0]);
  if (d == nullptr) return std::nullopt;
  std::string rest = windowsPath.substr(2);
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  if (rest.empty() || rest[0] != '\\') rest = "\\" + rest;
  return d->device + rest;
}

void AddIfPresent(const DriveMap& drives, const std::string& name, const std::string& windowsPath,
                  std::vector<HivelistValue>* list) {
  if (!FileExists(drives, windowsPath)) return;
  if (auto kernel = KernelPath(drives, windowsPath)) list->push_back({name, reg::kSz, StringData(*kernel)});
}

std::optional<unsigned> ParseUnsigned(std::string_view s) {
  unsigned value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string ExpandSystemVariables(const std::string& path) {
  static const std::pair<const char*, const char*> kVariables[] = {
      {"%SystemDrive%", "C:"}, {"%SystemRoot%", "C:\\Windows"}, {"%windir%", "C:\\Windows"}};
  std::string out = path;
  for (const auto& [variable, value] : kVariables) {
    const std::string_view v(variable);
    for (std::size_t at = 0; at + v.size() <= out.size();) {
      if (NamesEqual(std::string_view(out).substr(at, v.size()), v)) {
        out.replace(at, v.size(), value);
        at += std::string_view(value).size();
      } else {
        ++at;
      }
    }
  }
  return out;
}

ReleaseInfo ReleaseFor(const ReleaseVersion& version) {
  ReleaseInfo info;
  info.version = version;
  struct Known {
    DWORD major, minor, build;
  };
  // The build numbers of the first release of each version.
  static constexpr Known kBuilds[] = {{5, 0, 2195}, {5, 1, 2600}, {5, 2, 3790}, {6, 0, 6000},
                                      {6, 1, 7600}, {6, 2, 9200}, {6, 3, 9600}};
  info.build = 0;
  for (const Known& k : kBuilds) {
    if (k.major == version.major && k.minor == version.minor) info.build = k.build;
  }
  return info;
}

ReleaseInfo DeriveRelease(const DriveMap& drives) {
  auto software = OpenSoftware(drives);
  if (!software) return ReleaseFor({6, 2});
  // From Windows 8.1 on, programs without a manifest are told 6.2 (build 9200).
  if (software->GetValue(kCurrentVersion, "CurrentMajorVersionNumber")) return ReleaseFor({6, 2});
  auto current = software->GetString(kCurrentVersion, "CurrentVersion");
  if (!current) return ReleaseFor({6, 2});
  std::size_t dot = current->find('.');
  auto major = ParseUnsigned(std::string_view(*current).substr(0, dot));
  auto minor = dot == std::string::npos ? std::nullopt : ParseUnsigned(std::string_view(*current).substr(dot + 1));
  if (!major || !minor) return ReleaseFor({6, 2});
  if (*major > 6 || (*major == 6 && *minor >= 2)) return ReleaseFor({6, 2});
  ReleaseInfo info = ReleaseFor({*major, *minor});
  if (auto build = software->GetString(kCurrentVersion, "CurrentBuildNumber")) {
    if (auto n = ParseUnsigned(*build)) info.build = *n;
  }
  if (auto csd = software->GetString(kCurrentVersion, "CSDVersion")) {
    info.servicePack = csd->substr(0, 127);
  }
  return info;
}

std::vector<HivelistValue> SynthesizeHivelist(const DriveMap& drives) {
  std::vector<HivelistValue> list;
  list.push_back({"\\REGISTRY\\MACHINE\\HARDWARE", reg::kSz, StringData("")});
  const std::string config = std::string("C:") + kConfig;
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\SYSTEM", config + "SYSTEM", &list);
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\SOFTWARE", config + "SOFTWARE", &list);
  AddIfPresent(drives, "\\REGISTRY\\USER\\.DEFAULT", config + "DEFAULT", &list);
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\SECURITY", config + "SECURITY", &list);
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\SAM", config + "SAM", &list);
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\BCD00000000", "C:\\Boot\\BCD", &list);
  AddIfPresent(drives, "\\REGISTRY\\MACHINE\\DRIVERS", config + "DRIVERS", &list);

  auto software = OpenSoftware(drives);
  if (!software) return list;
  for (const std::string& sid : software->SubkeyNames(kProfileList)) {
    auto image = software->GetString(std::string(kProfileList) + "\\" + sid, "ProfileImagePath");
    if (!image) continue;
    std::string profile = ExpandSystemVariables(*image);
    while (!profile.empty() && (profile.back() == '\\' || profile.back() == '/')) profile.pop_back();
    if (!DriveMap::IsDrivePath(profile) || drives.Drive(profile[0]) == nullptr) continue;
    AddIfPresent(drives, "\\REGISTRY\\USER\\" + sid, profile + "\\NTUSER.DAT", &list);
    // Vista and later keep the classes hive under AppData, XP under Local Settings.
    for (const char* classes : {"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                "\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"}) {
      if (FileExists(drives, profile + classes)) {
        AddIfPresent(drives, "\\REGISTRY\\USER\\" + sid + "_Classes", profile + classes, &list);
        break;
      }
    }
  }
  return list;
}

}  // namespace hv::offline
