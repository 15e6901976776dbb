#include "settings/ini_file.h"

#include <cctype>
#include <cstdint>

#include "platform/platform.h"
#include "platform/shown_path.h"

namespace hv {
namespace {

// The buffer of one read; a longer value is cut to 2047 characters.
constexpr DWORD kReadBufferSize = 2048;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

IniWriteError::IniWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + ShownPath(path)), path_(path) {}

bool ParseIniInteger(const std::string& text, int* value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    i += 1;
  } else if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;

  std::uint64_t magnitude = 0;
  const std::size_t digits = text.size() - i;
  if (hex) {
    if (digits > 8) return false;
    for (; i < text.size(); ++i) {
      int d = HexDigit(text[i]);
      if (d < 0) return false;
      magnitude = magnitude * 16 + static_cast<unsigned>(d);
    }
    auto bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = ~bits + 1u;
    *value = static_cast<int>(static_cast<std::int32_t>(bits));
    return true;
  }
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    magnitude = magnitude * 10 + static_cast<unsigned>(text[i] - '0');
    if (magnitude > 0x80000000ull) return false;
  }
  if (!negative && magnitude > 0x7FFFFFFFull) return false;
  *value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<int>(magnitude);
  return true;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  char buffer[kReadBufferSize] = {};
  DWORD n = Os().GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer,
                                          kReadBufferSize, path_.c_str());
  if (n >= kReadBufferSize) n = kReadBufferSize - 1;
  return std::string(buffer, n);
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  int value = 0;
  return ParseIniInteger(ReadString(section, key, ""), &value) ? value : def;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  if (!Os().WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str())) {
    throw IniWriteError(path_);
  }
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(const std::string& section) {
  if (!Os().WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, path_.c_str())) {
    throw IniWriteError(path_);
  }
}

}  // namespace hv
