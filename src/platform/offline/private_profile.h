#pragma once
// Private profile (INI) files with the Windows reading and writing rules, over
// a host file path. Bytes are taken as they stand: no code page conversion.
//
// Reading: section and key names match without regard to ASCII letter case;
// the first section of a name and the first key of a name count; blanks around
// names and values are dropped and one pair of matching enclosing quotes
// (single or double) is removed from a value. Lines beginning with ';' are
// comments; lines that are neither a section header nor a key line are kept
// but never read.
//
// Writing: a key is replaced where it stands, a new key goes after the last
// line of its section that is not blank (comments included), a new section
// goes at the end of the file (created when missing). Every other byte of the file is kept, line endings included.
// The file is replaced atomically (temporary file + rename), so a failed write
// leaves the old file whole.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace hv::offline {

// One line of a profile file, as parsed.
struct ProfileLine {
  enum class Kind { kBlank, kComment, kSection, kKey, kOther };
  Kind kind = Kind::kOther;
  std::size_t number = 0;  // 1-based line number
  std::string text;        // the line without its line ending
  std::string eol;         // "\r\n", "\n" or "" (last line without one)
  std::string name;        // section name or key name, blanks dropped
  std::string value;       // key value as read (blanks and quotes dropped)
};

// A whole profile file held in memory, with the operations on it.
class ProfileDocument {
 public:
  static ProfileDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  const std::vector<ProfileLine>& lines() const { return lines_; }
  // Index of the header line of the first section named `section`.
  std::optional<std::size_t> FindSection(std::string_view section) const;
  // Index of the first key line `key` in the section that starts at `header`.
  std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const;
  // The key lines of the section starting at `header`, in order.
  std::vector<std::size_t> KeysOf(std::size_t header) const;
  std::vector<std::string> SectionNames() const;
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Editing; each returns whether the document changed.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  bool EraseKey(std::string_view section, std::string_view key);
  bool EraseSection(std::string_view section);

 private:
  std::size_t EndOf(std::size_t header) const;  // one past the section's last line
  std::string NewLineEnding() const;
  void Insert(std::size_t at, ProfileLine line);

  std::vector<ProfileLine> lines_;
  bool bom_ = false;
};

// Reads a value as the Windows reading rules give it (see above).
std::string ReadProfileValue(std::string_view afterEquals);
// ASCII case-insensitive equality of two names.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

// Files larger than this are refused, as is anything but a regular file (a
// FIFO, a device, a folder): they are read as empty and never written. Files
// are opened without waiting and checked on the open descriptor; a parsed
// file is kept while its size and time stay, so a run of reads reads it once.
inline constexpr std::uintmax_t kMaxProfileFile = std::uintmax_t{1} << 20;
// Told once per file of a refusal ("<file>: not a regular file; ..."); by
// default the line goes to stderr.
void SetProfileRefusalNotice(std::function<void(const std::string& line)> notice);

// GetPrivateProfileStringA over a host file. appName null lists the section
// names, keyName null the key names of the section (each NUL-terminated, the
// list ended by one more NUL; a list that does not fit is cut and returns
// size - 2). A value that does not fit is cut to size - 1 characters and
// returns size - 1. A missing key gives `defaultValue` with trailing blanks
// removed. Returns the characters stored, without the final NUL.
DWORD GetProfileString(const char* appName, const char* keyName, const char* defaultValue,
                       char* returned, DWORD size, const std::filesystem::path& file);

// WritePrivateProfileStringA over a host file. A symbolic link is kept: its
// target is written; but in an installation (held_path.h) a link is neither
// read nor written through, and one in a state file's place is refused. The file keeps its permission bits. keyName null erases the section
// (the first section of that name only), value null deletes the key. Returns kSuccess
// or the Win32 error code of the failure; names or values holding a line
// break, and key names holding '=', are refused (kInvalidParameter) because
// they would write lines other than the one asked for.
DWORD WriteProfileString(const char* appName, const char* keyName, const char* value,
                         const std::filesystem::path& file);

}  // namespace hv::offline
