#pragma once
// The fixture builder: hive files made from a description, for tests, the demo installation and
// the benchmark. Besides the live tree it can leave what a long-used hive carries: deleted keys
// and values in free cells, orphaned allocations, and slack after the bins.
//
//   FixtureBuilder b(5);                                  // format 1.5 (2 = 1.2, 3 = 1.3)
//   auto& k = b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion");
//   k.SetString("CurrentVersion", "6.1");
//   b.AddGarbage(0.4);
//   b.WriteFile(path);
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "regf.h"

namespace hv::regf {

enum RegType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegQword = 11,
};

// A self-relative descriptor: owner Administrators, group SYSTEM, full access for Everyone.
std::vector<std::uint8_t> DefaultSecurityDescriptor();
// A FILETIME for a calendar date (UTC midnight).
std::uint64_t FileTimeOf(int year, int month, int day);
// Encodings of registry string data: UTF-16LE with a terminating NUL (multi: a NUL after each
// string and one more at the end).
std::vector<std::uint8_t> RegString(std::string_view utf8);
std::vector<std::uint8_t> RegMultiString(const std::vector<std::string>& utf8);

class FixtureKey {
 public:
  explicit FixtureKey(std::string_view name);
  FixtureKey(const FixtureKey&) = delete;
  FixtureKey& operator=(const FixtureKey&) = delete;

  // Creates (or finds) the key at a backslash path below this one and returns the last one.
  FixtureKey& AddKey(std::string_view path);
  // nullptr when absent; names compare case-insensitively.
  FixtureKey* Find(std::string_view path);

  FixtureKey& SetClass(std::string_view utf8);
  FixtureKey& SetTimestamp(std::uint64_t filetime);
  // Keys without their own descriptor use their parent's (the root: the default one).
  FixtureKey& SetSecurity(std::vector<std::uint8_t> descriptor);
  // Extra key flags, e.g. 0x10 for a symbolic link; the name encoding bit is set by the builder.
  FixtureKey& SetFlags(std::uint16_t flags);
  // Bits 16-31 of the largest-subkey-name field (virtualisation and user flags).
  FixtureKey& SetUserFlags(std::uint16_t flags);
  // Sets or replaces a value; values keep the order in which they were first set.
  FixtureKey& SetValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
  FixtureKey& SetString(std::string_view name, std::string_view utf8);
  FixtureKey& SetExpandString(std::string_view name, std::string_view utf8);
  FixtureKey& SetMultiString(std::string_view name, const std::vector<std::string>& utf8);
  FixtureKey& SetDword(std::string_view name, std::uint32_t v);
  FixtureKey& SetQword(std::string_view name, std::uint64_t v);
  FixtureKey& SetBinary(std::string_view name, std::vector<std::uint8_t> data);
  // A key or value that was deleted: its records remain in free cells.
  FixtureKey& AddDeletedKey(std::string_view name);
  FixtureKey& AddDeletedValue(std::string_view name, std::vector<std::uint8_t> data);

  const std::string& Name() const { return name_; }
  std::size_t SubkeyCount() const { return children_.size(); }

 private:
  friend class FixtureBuilder;
  friend class FixtureWriter;
  struct Val {
    std::string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  FixtureKey* Child(std::string_view name);

  std::string name_;
  std::string class_;
  std::uint64_t timestamp_;
  std::vector<std::uint8_t> security_;
  std::uint16_t flags_ = 0;
  std::uint16_t userFlags_ = 0;
  std::vector<Val> values_;
  std::vector<std::unique_ptr<FixtureKey>> children_;
  std::vector<std::string> deletedKeys_;
  std::vector<Val> deletedValues_;
};

class FixtureBuilder {
 public:
  // `minor`: the format version 1.minor (2 to 6).
  explicit FixtureBuilder(std::uint32_t minor = 5);

  FixtureKey& Root() { return *root_; }
  FixtureBuilder& SetRootName(std::string_view name);
  // About `ratio` (0..0.9) of the bins becomes free cells and orphaned allocations scattered
  // between the live cells; `seed` makes the layout repeatable.
  FixtureBuilder& AddGarbage(double ratio, std::uint32_t seed = 1);
  // Zero bytes after the bins, as Windows leaves when it grows a file in steps.
  FixtureBuilder& SetFileSlack(std::uint32_t bytes);
  // Unequal numbers make a dirty hive.
  FixtureBuilder& SetSequenceNumbers(std::uint32_t primary, std::uint32_t secondary);
  FixtureBuilder& SetLastWritten(std::uint64_t filetime);

  std::vector<std::uint8_t> Build() const;
  // Refuses to replace an existing file.
  Status WriteFile(const std::filesystem::path& file) const;

 private:
  friend class FixtureWriter;
  std::uint32_t minor_;
  std::unique_ptr<FixtureKey> root_;
  double garbage_ = 0;
  std::uint32_t seed_ = 1;
  std::uint32_t slack_ = 0;
  std::uint32_t primary_ = 1, secondary_ = 1;
  std::uint64_t lastWritten_;
};

// Transaction logs for tests and the benchmark. A log entry is made from two whole images (as
// Build gives them): the 4 KiB pages of `to`'s hive bins that differ from `from` (or lie beyond
// it), adjacent pages merged into one reference, as Windows writes them.
struct FixtureLogEntry {
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t flags = 0;
  struct Page {
    std::uint32_t offset;  // in the hive bins
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Page> pages;
};
FixtureLogEntry LogEntryBetween(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to,
                                std::uint32_t sequence);
// A new-format log: the first 512 bytes of `hive`'s base block with file type 6 and both
// sequence numbers `baseSequence`, then the entries (hashed, each padded to 4 KiB).
std::vector<std::uint8_t> BuildNewFormatLog(const std::vector<std::uint8_t>& hive, std::uint32_t baseSequence,
                                            const std::vector<FixtureLogEntry>& entries);
// An old-format log that turns `from` into `to`: `to`'s base block with file type 1 and both
// sequence numbers `sequence`, a "DIRT" vector of the 512-byte pages that differ, the pages.
std::vector<std::uint8_t> BuildOldFormatLog(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to,
                                            std::uint32_t sequence);
// `image` with its base block's sequence numbers set (checksum recomputed): unequal numbers
// make the dirty primary file a log applies to.
std::vector<std::uint8_t> WithSequenceNumbers(std::vector<std::uint8_t> image, std::uint32_t primary,
                                              std::uint32_t secondary);

// A large generated hive of about `bytes` bytes (at least 64 KiB) with some 45% of its bins
// free or orphaned: the benchmark's input. Refuses to replace an existing file.
Status GenerateFragmentedHive(const std::filesystem::path& file, std::uint64_t bytes, std::uint32_t seed = 1);

}  // namespace hv::regf
