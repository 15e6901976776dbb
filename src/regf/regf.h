#pragma once
// Public interface of the hive-file engine: compaction of a hive file into a
// fresh, verified copy, and a read-only view of a clean hive file.
// All names are UTF-8. No function here throws; failures come back as values.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv::regf {

// Result of an operation: ok, or a message that names the file and the problem.
struct Status {
  bool ok = true;
  std::string message;
  bool stopped = false;  // not ok because the caller's stop flag was set
  explicit operator bool() const { return ok; }
};

// Writes the verified compacted copy of the hive file `in` to `out`. A dirty `in` is first
// recovered in memory from the transaction logs beside it (see recovery.h); neither it nor its
// logs are written. Refuses (ok=false, out not created) a dirty hive that no log recovers, a
// broken or unreadable `in`, and an `out` that already exists in any form, a dangling symbolic
// link included (left untouched).
// The copy is written under a temporary name in out's folder as it is built, forced to disk, and
// given the name only after it read back exactly as written and its tree, read back with all the
// reader's checks, was verified equal to the source's. A clean `in` is read through a window of
// its bins, so memory stays bounded whatever the hive's size (a recovered one is held whole).
Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out);
// The same; `prepare` is given the new, still empty file before any byte is written to it (to give
// it the source's protection), and a refusal from it ends the compaction with nothing written.
using PrepareNewFile = std::function<Status(const std::filesystem::path& emptyFile)>;
Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare);
// How far a compaction has come, as the size its copy has reached: it grows from 0 while the
// source is read, the copy built, written and read back, and ends at the copy's size. Another
// thread may read it while the compaction runs (a progress bar).
using CompactProgress = std::atomic<std::int64_t>;
Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare, CompactProgress* progress);
// The same, answering `stop` (may be null): once another thread sets it, the compaction ends
// within a hive bin or a key of its work (or, at worst, once a write to disk under way is
// forced through), removes its partial copy and comes back not ok with `stopped` set.
using StopFlag = std::atomic<bool>;
Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare, CompactProgress* progress, const StopFlag* stop);

// CompactHiveFile's contract, but the copy is the hive as it stands once recovered from its
// transaction logs (a clean hive: its base block and bins as they are), not compacted.
Status WriteRecoveredHiveFile(const std::filesystem::path& in, const std::filesystem::path& out);

class Hive;

// A read-only view of a hive file (a dirty one recovered from its logs in memory) for reading a
// few keys. Opening checks the base block and the root key; each query reads and checks the
// hive bins on its path, and answers a malformed cell on it as absent (nullopt, empty). Whether
// the whole tree is sound is CheckHive's question, not this view's.
class HiveFile {
 public:
  // nullptr and *error set (naming the file) when the file is unreadable, broken, or dirty
  // without a log that recovers it.
  static std::unique_ptr<HiveFile> Open(const std::filesystem::path& file, std::string* error);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  struct Value {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  // Keys are given by a backslash path below the root ("" = the root); names compare
  // case-insensitively by Windows' upper-case rules.
  bool KeyExists(std::string_view keyPath) const;
  std::vector<std::string> SubkeyNames(std::string_view keyPath) const;  // in stored order
  std::vector<std::string> ValueNames(std::string_view keyPath) const;   // in stored order
  // "" = the default value; nullopt when the key or the value is absent.
  std::optional<Value> GetValue(std::string_view keyPath, std::string_view valueName) const;
  // REG_SZ / REG_EXPAND_SZ decoded from UTF-16LE, trailing NULs dropped; nullopt for other types.
  std::optional<std::string> GetString(std::string_view keyPath, std::string_view valueName) const;
  // The root key's name as stored.
  std::string RootName() const;

 private:
  explicit HiveFile(std::unique_ptr<Hive> hive);
  std::unique_ptr<Hive> hive_;
};

}  // namespace hv::regf
