#include "support/fake_platform_profile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace hv::test::profile {
namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<std::string> LoadLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSection(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  std::size_t close = t.find(']');
  *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool IsKey(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return true;
}

// [begin, end) of the lines of the first section named `app` (begin is the
// header line); begin == npos when absent.
std::pair<std::size_t, std::size_t> FindSection(const std::vector<std::string>& lines,
                                                const std::string& app) {
  std::size_t begin = std::string::npos;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (!IsSection(lines[i], &name)) continue;
    if (begin != std::string::npos) return {begin, i};
    if (EqualNoCase(name, app)) begin = i;
  }
  return {begin, lines.size()};
}

// Copies a list of NUL-terminated strings with the final extra NUL; a list
// that does not fit is cut and the result is size - 2, as Windows does.
DWORD CopyList(const std::vector<std::string>& items, char* out, DWORD size) {
  std::string all;
  for (const auto& item : items) {
    all += item;
    all.push_back('\0');
  }
  if (size < 2) {
    if (size == 1) out[0] = '\0';
    return 0;
  }
  if (all.size() + 1 > size) {
    std::memcpy(out, all.data(), size - 2);
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
  }
  std::memcpy(out, all.data(), all.size());
  out[all.size()] = '\0';
  return static_cast<DWORD>(all.size());
}

}  // namespace

DWORD Read(const std::filesystem::path& file, const char* appName, const char* keyName,
           const char* defaultValue, char* returned, DWORD size) {
  if (returned == nullptr || size == 0) return 0;
  std::vector<std::string> lines = LoadLines(file);
  if (appName == nullptr) {
    std::vector<std::string> names;
    for (const auto& line : lines) {
      std::string name;
      if (IsSection(line, &name)) names.push_back(name);
    }
    return CopyList(names, returned, size);
  }
  auto [begin, end] = FindSection(lines, appName);
  if (keyName == nullptr) {
    std::vector<std::string> keys;
    if (begin != std::string::npos) {
      for (std::size_t i = begin + 1; i < end; ++i) {
        std::string key, value;
        if (IsKey(lines[i], &key, &value)) keys.push_back(key);
      }
    }
    return CopyList(keys, returned, size);
  }
  std::string result;
  bool found = false;
  if (begin != std::string::npos) {
    for (std::size_t i = begin + 1; i < end && !found; ++i) {
      std::string key, value;
      if (IsKey(lines[i], &key, &value) && EqualNoCase(key, keyName)) {
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
          value = value.substr(1, value.size() - 2);
        }
        result = value;
        found = true;
      }
    }
  }
  if (!found) {
    result = defaultValue == nullptr ? std::string() : std::string(defaultValue);
    while (!result.empty() && result.back() == ' ') result.pop_back();
  }
  std::size_t n = std::min<std::size_t>(result.size(), size - 1);
  std::memcpy(returned, result.data(), n);
  returned[n] = '\0';
  return static_cast<DWORD>(n);
}

DWORD Write(const std::filesystem::path& file, const char* appName, const char* keyName,
            const char* value) {
  if (appName == nullptr) return err::kInvalidParameter;
  std::error_code ec;
  bool exists = std::filesystem::exists(file, ec);
  if (!exists && (keyName == nullptr || value == nullptr)) return err::kSuccess;
  if (!std::filesystem::is_directory(file.parent_path(), ec)) return err::kPathNotFound;

  std::vector<std::string> lines = LoadLines(file);
  auto [begin, end] = FindSection(lines, appName);
  if (keyName == nullptr) {
    if (begin != std::string::npos) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                  lines.begin() + static_cast<std::ptrdiff_t>(end));
    }
  } else if (begin == std::string::npos) {
    if (value == nullptr) return err::kSuccess;
    lines.push_back("[" + std::string(appName) + "]");
    lines.push_back(std::string(keyName) + "=" + value);
  } else {
    std::size_t keyLine = std::string::npos;
    std::size_t lastContent = begin;
    for (std::size_t i = begin + 1; i < end; ++i) {
      std::string key, v;
      if (!Trim(lines[i]).empty()) lastContent = i;
      if (keyLine == std::string::npos && IsKey(lines[i], &key, &v) && EqualNoCase(key, keyName)) {
        keyLine = i;
      }
    }
    auto at = [&](std::size_t i) { return lines.begin() + static_cast<std::ptrdiff_t>(i); };
    if (value == nullptr) {
      if (keyLine != std::string::npos) lines.erase(at(keyLine));
    } else if (keyLine != std::string::npos) {
      lines[keyLine] = std::string(keyName) + "=" + value;
    } else {
      lines.insert(at(lastContent + 1), std::string(keyName) + "=" + value);
    }
  }

  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return err::kAccessDenied;
  for (const auto& line : lines) out << line << "\r\n";
  out.flush();
  return out ? err::kSuccess : err::kAccessDenied;
}

}  // namespace hv::test::profile
