#pragma once
// The reader: a hive file held in memory, its base block and bins validated, with bounds-checked
// access to cells and records. Any malformed structure raises FormatError, whose message names
// the file and the problem; nothing here reads outside the loaded bytes.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "byte_source.h"
#include "file_view.h"
#include "format.h"
#include "host_file.h"
#include "upcase.h"

namespace hv::regf {

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct BaseInfo {
  std::uint32_t primarySeq = 0;
  std::uint32_t secondarySeq = 0;
  std::uint64_t lastWritten = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t fileType = 0;
  std::uint32_t format = 0;
  std::uint32_t rootCell = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t clustering = 0;
  std::uint32_t storedChecksum = 0;
  std::uint32_t computedChecksum = 0;
  bool Dirty() const { return primarySeq != secondarySeq || storedChecksum != computedChecksum; }
};

struct KeyNode {
  std::uint32_t offset = 0;
  std::uint16_t flags = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t accessBits = 0;
  std::uint32_t parent = 0;
  std::uint32_t subkeyCount = 0;
  std::uint32_t subkeyList = kNone;
  std::uint32_t valueCount = 0;
  std::uint32_t valueList = kNone;
  std::uint32_t security = kNone;
  std::uint32_t classCell = kNone;
  std::uint32_t maxNameField = 0;  // low 16 bits a length, high 16 bits flags
  std::uint32_t maxClassLen = 0;
  std::uint32_t maxValueNameLen = 0;
  std::uint32_t maxValueDataLen = 0;
  std::uint16_t classLen = 0;
  NameRef name;
};

struct ValueRec {
  std::uint32_t offset = 0;
  std::uint32_t rawSize = 0;  // as stored, bit 31 included
  std::uint32_t dataOffset = 0;
  std::uint32_t type = 0;
  std::uint16_t flags = 0;
  NameRef name;
  std::uint32_t Size() const { return rawSize & 0x7FFFFFFFu; }
  bool Inline() const { return (rawSize & 0x80000000u) != 0; }
};

struct Span {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
};

// The window of bins through which a hive's whole tree is read outside compaction (the checker,
// info, diff, the check of a dirty hive's recovery): with the one bit per 8 bytes of bins that the windowed reader keeps, what such
// a read holds whatever the hive's size.
inline constexpr std::size_t kTreeWindowBytes = std::size_t{8} << 20;

// Options for Load.
struct LoadOptions {
  bool allowDirty = false;   // the checker and info look at dirty hives too
  bool tolerateBins = false;  // keep what precedes a broken bin instead of failing (checker)
};

class HiveOverlay;

class Hive {
 public:
  // Reads the file (only the base block and the hive bins it declares) and validates the base
  // block and the bin chain. Throws FormatError.
  static Hive Load(const std::filesystem::path& file, LoadOptions options = {});
  // Takes ownership of an image already in memory; `name` is used in messages.
  static Hive FromBytes(std::vector<std::uint8_t> bytes, std::string name, LoadOptions options = {});
  // Reads an image it does not own: the caller keeps the bytes alive and unchanged for the
  // Hive's lifetime.
  static Hive View(const std::uint8_t* data, std::size_t size, std::string name, LoadOptions options = {});
  // A clean hive read on demand, for a few queries: only the base block is read and validated
  // now; each hive bin is read and its cells checked when a cell in it is first asked for, so
  // reading a few keys costs the bins on their path, not the hive. Nothing claims the tree
  // sound: the full checks are the checker's and the compactor's. Data() and Size() cover the
  // base block only. Throws FormatError (a dirty hive included: LoadHive recovers one).
  static Hive OnDemand(const std::filesystem::path& file);
  // The same over a dirty hive's overlay (recovery.h, RecoverHiveOverlay): the recovered hive.
  static Hive OnDemand(std::shared_ptr<const HiveOverlay> overlay);
  // A clean hive read through a bounded window, for a walk of the whole tree in little memory:
  // the bins are read once, in order, and their chain and cells validated as Load validates
  // them (one bit of memory per 8 bytes of bins records where cells start); afterwards each bin
  // is read again when a cell in it is asked for, checked to hold the cells it held then, and
  // kept among the most recently used bins, `cacheBytes` in all (more only for one bin larger
  // than that). A Span stays valid until that many bytes of other bins, and at least four other
  // bins, were read: callers use it before they ask for much more. One thread at a time.
  // Throws FormatError.
  static Hive Windowed(const std::filesystem::path& file, std::size_t cacheBytes);
  // The same over a dirty hive's overlay (recovery.h, RecoverHiveOverlay): the recovered hive,
  // read with the same checks; a broken bin chain is refused in recovery's words.
  static Hive Windowed(std::shared_ptr<const HiveOverlay> overlay, std::size_t cacheBytes);
  // A second reader of a windowed hive, for another thread: its own cache, the same open file
  // (or overlay) and the first pass's findings shared.
  Hive WindowedTwin(std::size_t cacheBytes) const;
  // Bytes of hive bins an on-demand hive has read so far (0 for the others).
  std::uint64_t BinBytesRead() const;

  const std::string& Name() const { return name_; }
  const BaseInfo& Base() const { return base_; }
  // The base block and the hive bins read (the file's slack beyond them is never loaded); the
  // base block only for an on-demand or windowed hive.
  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  std::uint64_t FileSize() const { return fileSize_; }
  std::uint32_t BinCount() const { return binCount_; }
  std::uint64_t FreeBytes() const { return freeBytes_; }
  std::uint32_t FreeCells() const { return freeCells_; }
  std::uint32_t AllocatedCells() const { return allocatedCells_; }
  const std::string& BinProblem() const { return binProblem_; }

  // Data of the allocated cell starting at `offset` (without its size field). Throws when the
  // offset is not the start of an allocated cell. `what` names the referrer in the message.
  Span Cell(std::uint32_t offset, const char* what) const {
    if (!IsAllocatedCell(offset)) FailNotACell(offset, what);
    const std::uint32_t size = static_cast<std::uint32_t>(-static_cast<std::int32_t>(Rd32(At(offset) + cell::kSize)));
    return Span{At(offset) + cell::kData, size - cell::kData};
  }
  bool IsAllocatedCell(std::uint32_t offset) const {
    if (offset >= binsEnd_ || offset % 8 != 0) return false;
    if (onDemand_) return OnDemandCellStart(offset);
    return ((*cellStarts_)[offset / 512] >> ((offset / 8) % 64)) & 1u;
  }

  KeyNode Key(std::uint32_t offset) const;
  // Only the name of the key node at `offset`, validated as Key validates it.
  NameRef KeyName(std::uint32_t offset) const;
  ValueRec Value(std::uint32_t offset) const;
  // The raw subkey offsets of `key`, in stored order, appended to `out`. Validates list kinds,
  // the element count against the key's count, and that every element is a key node.
  void AppendSubkeys(const KeyNode& key, std::vector<std::uint32_t>& out) const;
  // Value offsets of `key`, in stored order, appended to `out`.
  void AppendValues(const KeyNode& key, std::vector<std::uint32_t>& out) const;
  // The data of a value, replacing `out`'s content (one buffer reused by callers).
  void ReadData(const ValueRec& value, std::vector<std::uint8_t>& out) const;
  // The data of a value without copying it, when it lies in one piece: in the record (copied to
  // `inlineBytes`) or in one cell. False for big data, which only ReadData assembles.
  bool DirectData(const ValueRec& value, std::uint8_t (&inlineBytes)[4], Span& out) const;
  // The descriptor bytes of the sk cell at `offset`.
  Span SecurityDescriptor(std::uint32_t offset) const;
  // The class name bytes of `key` (empty when it has none).
  Span ClassName(const KeyNode& key) const;
  // True when a value of this size is stored as big data in this hive.
  bool UsesBigData(std::uint32_t size) const { return base_.minor > 3 && size > kBigDataSegment; }

  [[noreturn]] void Fail(const std::string& what, std::uint32_t offset = kNone) const;

 private:
  Hive() = default;
  void Parse(LoadOptions options);
  void ParseBins(LoadOptions options);
  [[noreturn]] void FailNotACell(std::uint32_t offset, const char* what) const;
  const std::uint8_t* At(std::uint32_t offset) const {
    if (window_) return WindowAt(offset);
    return onDemand_ ? OnDemandAt(offset) : data_ + kBaseBlockSize + offset;
  }
  void ParseBase(LoadOptions options);
  // On demand: the bins read so far, each with its own cell starts, found by their offsets.
  struct LoadedBin {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> cellStarts;  // one bit per 8 bytes of the bin
  };
  struct OnDemandState {
    std::shared_ptr<const ByteSource> source;
    std::mutex mutex;
    std::map<std::uint32_t, LoadedBin> bins;
    std::vector<std::uint8_t> baseBlock;
  };
  static Hive OnDemandOver(Hive h, std::shared_ptr<const ByteSource> source);
  std::shared_ptr<const ByteSource> OpenFile(const std::filesystem::path& file) const;
  const LoadedBin& BinHolding(std::uint32_t offset, std::uint32_t& start) const;
  bool OnDemandCellStart(std::uint32_t offset) const;
  const std::uint8_t* OnDemandAt(std::uint32_t offset) const;

  // Windowed: the file, the bins held (most recently used first) and where each bin starts.
  struct WindowState;
  void OpenWindow(std::shared_ptr<const ByteSource> source, const HiveOverlay* overlay, std::size_t cacheBytes);
  [[noreturn]] void FailChain(std::uint32_t offset, const std::string& problem, const std::string& detail) const;
  void ScanWindowedBins();
  const std::uint8_t* WindowAt(std::uint32_t offset) const;
  bool HoldsFirstPassCells(const std::uint8_t* bin, std::uint32_t start, std::uint32_t size) const;

  std::string name_;
  // The image lives in one of these or, for View, with the caller; data_ points into it (a move
  // keeps it valid).
  FileView loaded_;
  std::vector<std::uint8_t> given_;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t fileSize_ = 0;
  BaseInfo base_;
  std::uint32_t binsEnd_ = 0;  // bytes of bins data that were validated
  std::uint32_t binCount_ = 0;
  std::uint64_t freeBytes_ = 0;
  std::uint32_t freeCells_ = 0;
  std::uint32_t allocatedCells_ = 0;
  std::string binProblem_;
  // One bit per 8 bytes: an allocated cell starts here. Shared by the twins of a windowed hive.
  std::shared_ptr<std::vector<std::uint64_t>> cellStarts_;
  std::unique_ptr<OnDemandState> onDemand_;  // set for OnDemand hives
  std::shared_ptr<WindowState> window_;       // set for Windowed hives
};

// A clean hive through a window (Hive::Windowed), or nullopt when the windowed reader refuses the
// file (dirty, a broken chain, unreadable, not a hive) and the caller reads it whole to say why in
// its own words. A stop is passed on, not taken for a refusal.
std::optional<Hive> TryWindowed(const std::filesystem::path& file, std::size_t cacheBytes);

}  // namespace hv::regf
