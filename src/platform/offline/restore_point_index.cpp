#include "platform/offline/restore_point_index.h"

#include <map>
#include <set>
#include <system_error>

#include "platform/offline/private_profile.h"
#include "platform/offline/state_file_rules.h"
#include "regf/text_case.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxHives = 4096;

// "Hive<n>" with n from 1, no leading zero; 0 otherwise.
std::size_t HiveNumber(const std::string& section) {
  if (section.size() < 5 || section.size() > 9 || !SameText(section.substr(0, 4), "Hive")) return 0;
  if (section[4] == '0') return 0;
  std::size_t n = 0;
  for (std::size_t i = 4; i < section.size(); ++i) {
    if (section[i] < '0' || section[i] > '9') return 0;
    n = n * 10 + static_cast<std::size_t>(section[i] - '0');
  }
  return n;
}

}  // namespace

fs::path RestorePointCopyPlace(const std::string& windowsFile) {
  fs::path relative(std::string(1, windowsFile[0]));
  for (const std::string& part : SplitPath(windowsFile.substr(2))) relative /= part;
  return relative;
}

RestorePointIndex ReadRestorePointIndex(const fs::path& point, const DriveMap& drives,
                                        const std::function<bool(const fs::path&)>& isHive) {
  const fs::path index = point / kRestorePointIndexName;
  RestorePointIndex result;
  auto invalid = [&](std::size_t line, const std::string& reason) {
    RestorePointIndex bad;
    bad.problem = StateFileProblem(index, static_cast<int>(line), reason);
    return bad;
  };
  std::string bytes;
  bool present = false;
  std::string why;
  if (!ReadStateFile(index, &bytes, &present, &why)) return invalid(0, why);
  if (!present) return invalid(0, "is missing");
  if (bytes.find('\0') != std::string::npos) return invalid(0, "holds a NUL character");

  struct Pending {
    std::map<std::string, std::pair<std::string, std::size_t>> keys;  // upper-case key -> value, line
    std::size_t line = 0;
  };
  std::map<std::size_t, Pending> hives;
  std::map<std::string, std::pair<std::string, std::size_t>> header;
  bool sawHeader = false;
  constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
  std::size_t current = kNoSection;  // 0: [RestorePoint]; n: [Hive<n>]
  const ProfileDocument doc = ProfileDocument::Parse(bytes);
  for (const ProfileLine& line : doc.lines()) {
    if (line.text.size() > kMaxStateLineLength) return invalid(line.number, "an overlong line");
    switch (line.kind) {
      case ProfileLine::Kind::kBlank:
        continue;
      case ProfileLine::Kind::kComment:
      case ProfileLine::Kind::kOther:
        return invalid(line.number, "a line the program does not write: " + ShownField(line.text));
      case ProfileLine::Kind::kSection: {
        if (SameText(line.name, "RestorePoint")) {
          if (sawHeader) return invalid(line.number, "a second [RestorePoint] section");
          sawHeader = true;
          current = 0;
        } else if (std::size_t n = HiveNumber(line.name); n > 0 && n <= kMaxHives) {
          if (hives.count(n) != 0) return invalid(line.number, "a second [" + ShownField(line.name) + "] section");
          hives[n].line = line.number;
          current = n;
        } else {
          return invalid(line.number, "an unknown section [" + ShownField(line.name) + "]");
        }
        continue;
      }
      case ProfileLine::Kind::kKey:
        break;
    }
    if (current == kNoSection) return invalid(line.number, "a value outside any section");
    const std::string key = AsciiUpper(line.name);
    static const std::set<std::string> kHeaderKeys{"DESCRIPTION", "TIME", "SEQUENCE"};
    static const std::set<std::string> kHiveKeys{"NAME", "FILE", "COPY"};
    auto& keys = current == 0 ? header : hives[current].keys;
    if ((current == 0 ? kHeaderKeys : kHiveKeys).count(key) == 0) {
      return invalid(line.number, "an unknown key " + ShownField(line.name));
    }
    if (!keys.emplace(key, std::make_pair(line.value, line.number)).second) {
      return invalid(line.number, ShownField(line.name) + " is given twice");
    }
  }
  if (!sawHeader) return invalid(0, "has no [RestorePoint] section");
  result.time = header.count("TIME") ? header["TIME"].first : std::string();
  result.description = header.count("DESCRIPTION") ? header["DESCRIPTION"].first : std::string();

  std::size_t expected = 1;
  std::set<std::string> seen;
  for (auto& [n, hive] : hives) {
    if (n != expected++) return invalid(hive.line, "the hive sections are not numbered 1, 2, 3, ...");
    for (const char* key : {"NAME", "FILE", "COPY"}) {
      if (hive.keys.count(key) == 0) return invalid(hive.line, std::string("a hive without ") + key);
    }
    const auto& [file, fileLine] = hive.keys["FILE"];
    const auto& [copy, copyLine] = hive.keys["COPY"];
    if (auto problem = NotAnInstallationPath(drives, file)) return invalid(fileLine, *problem);
    auto host = drives.ResolveInstallation(file);
    if (!host || !isHive(*host)) return invalid(fileLine, ShownField(file) + " is not a hive of the installation");
    if (!seen.insert(AsciiUpper(file)).second) return invalid(fileLine, ShownField(file) + " is named twice");
    // Only the place the program gives the copy: inside this restore point.
    if (copy != RestorePointCopyPlace(file).generic_string()) {
      return invalid(copyLine, ShownField(copy) + " is not where the program keeps the copy of " + ShownField(file));
    }
    const fs::path copyFile = point / RestorePointCopyPlace(file);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(copyFile, ec);
    if (!fs::is_regular_file(status)) {
      return invalid(copyLine, "the copy " + ShownField(copy) + (fs::exists(status) ? " is not a plain file" : " is missing"));
    }
    const std::uintmax_t size = fs::file_size(copyFile, ec);
    result.hives.push_back({hive.keys["NAME"].first, file, *host, copyFile, ec ? 0 : static_cast<std::uint64_t>(size)});
  }
  return result;
}

}  // namespace hv::offline
