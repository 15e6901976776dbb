#pragma once
// A Windows INI file read and written one key per call through the
// platform's private-profile functions. No state is cached: every call goes
// to the file, so two IniFile objects on one path always agree.
#include <stdexcept>
#include <string>

namespace hv {

// A key or section could not be written. what() is "Unable to write to "
// followed by the file's path: the text the application's error handler shows.
class IniWriteError : public std::runtime_error {
 public:
  explicit IniWriteError(const std::string& path);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Reads an integer as the settings file stores it: decimal, or hexadecimal
// after "$", or after "0x"/"0X" when more than those two characters follow
// the sign; an optional sign; leading blanks allowed. Hexadecimal takes up to
// eight digits as the 32 bits of the number ("$FFFFFFFF" is -1); decimal must
// fit in 32 bits. False for anything else (empty text, "yes", "12a", "0x").
bool ParseIniInteger(const std::string& text, int* value);

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // The value as the platform returns it, cut to 2047 characters; `def`
  // when the file or the key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // `def` for a missing key, an empty value or a value that is not an integer.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // Any non-zero integer is true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Each throws IniWriteError when the platform refuses the write.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  // Written as "1" or "0".
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void EraseSection(const std::string& section);

 private:
  std::string path_;
};

}  // namespace hv
