#pragma once
// Builds a hive image: bins of 4 KiB (larger only for a cell that needs it), cells allocated one
// after another, and the records both writers share (subkey lists, value data). The image is held
// in one buffer, or streamed: handed to an Output piece by piece as it grows, so that only a
// window of its newest bytes is held (see Checkpoint).
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "format.h"
#include "upcase.h"

namespace hv::regf {

class CellSink {
 public:
  // Where a streamed image goes. Bytes arrive in file order from file offset 0 (the base block
  // first, as zeros: its content comes as a Patch once the image is finished). Patch and Read
  // reach bytes appended before. Each reports failure by throwing.
  class Output {
   public:
    virtual ~Output() = default;
    virtual void Append(std::uint8_t* bytes, std::size_t size) = 0;
    virtual void Patch(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) = 0;
    virtual void Read(std::uint64_t at, std::uint8_t* bytes, std::size_t size) = 0;
  };
  // A streamed image: bytes older than `window` may be handed to `out` at each Checkpoint.
  CellSink(std::uint32_t minor, Output& out, std::size_t window);
  // `reserve` is a guess of the final image size, to avoid regrowing the buffer. With `prefault`
  // set, a helper thread touches the buffer's first `prefault` bytes ahead of the writer, so
  // that the system's work of providing fresh pages is done on another core.
  CellSink(std::uint32_t minor, std::size_t reserve, std::size_t prefault = 0);
  CellSink(const CellSink&) = delete;
  CellSink& operator=(const CellSink&) = delete;

  std::uint32_t Minor() const { return minor_; }
  // A new allocated cell holding `dataSize` bytes (zeroed); returns its offset.
  std::uint32_t Alloc(std::uint32_t dataSize);
  // A free cell of `dataSize` bytes of leftover content (fragmentation for fixtures).
  std::uint32_t AllocFree(std::uint32_t dataSize);
  // Marks an allocated cell free (it keeps its content, as a deleted record does).
  void Release(std::uint32_t offset);
  // The data of the cell at `offset`, which must be Resident. Invalidated by the next Alloc.
  std::uint8_t* Data(std::uint32_t offset) { return buf_.data() + (kBaseBlockSize + offset - windowStart_) + cell::kData; }
  std::uint32_t DataSize(std::uint32_t offset) const;
  // True while the cell at `offset` is held in memory. Cells allocated since the last Checkpoint
  // always are; a streamed image hands older ones to its Output there.
  bool Resident(std::uint32_t offset) const { return kBaseBlockSize + std::uint64_t{offset} >= windowStart_; }
  // Reads or rewrites `size` bytes of the data of the cell at `offset`, beginning `from` bytes
  // in, wherever the cell is (in memory, or already handed to the Output).
  void ReadData(std::uint32_t offset, std::uint32_t from, std::uint8_t* bytes, std::uint32_t size);
  void WriteData(std::uint32_t offset, std::uint32_t from, const std::uint8_t* bytes, std::uint32_t size);
  // A point where no pointer from Data is held: a streamed image hands the bytes beyond its
  // window to its Output (all but the open bin). Memory is thus the window plus what is
  // allocated between two checkpoints.
  void Checkpoint();

  // Writes a subkey list for the key nodes at `children` (already in the order to keep): an
  // "lh" leaf for minor versions above 4, "lf" for 3 and 4, "li" for 2, split under an "ri"
  // beyond kLeafMax.
  // Returns kNone for no children.
  std::uint32_t WriteSubkeyList(const std::uint32_t* children, std::size_t count);
  // The same with each child's name hash (lh) or hint (lf) given, as NameHash or NameHint of its
  // name computes it for this version, so that children no longer in memory are not read.
  std::uint32_t WriteSubkeyList(const std::uint32_t* children, const std::uint32_t* hashes, std::size_t count);
  // What WriteSubkeyList stores beside a child of this name: its hash, its hint, or nothing.
  std::uint32_t ListElementHash(const NameRef& name) const;
  // Stores value data; fills the vk's size and data offset fields. Data of 4 bytes or less lies
  // in the record; big data where the version has it; one cell otherwise.
  void WriteValueData(const std::uint8_t* data, std::uint32_t size, std::uint32_t& rawSize,
                      std::uint32_t& dataOffset);

  struct BaseFields {
    std::uint32_t sequence = 1;
    std::uint32_t secondary = 1;
    std::uint64_t lastWritten = 0;
    std::uint32_t root = 0;
    const std::uint8_t* fileName = nullptr;  // 64 bytes, optional
    // The transaction fields (RmId, LogId, flags, TmId and the "rmtm" signature) of a source
    // base block to carry over, optional.
    const std::uint8_t* transactionFields = nullptr;
    std::uint64_t lastReorganized = 0;  // FILETIME with its type bits; 0 = not set
  };
  // Closes the last bin (its rest becomes the one tail free cell), writes the base block and
  // hands out the image; a streamed image is handed to its Output whole and nothing is returned.
  std::vector<std::uint8_t> Finish(const BaseFields& fields);
  // Bytes of the image held in memory.
  std::size_t Held() const { return buf_.size(); }
  // The size of the finished image, base block included.
  std::uint64_t ImageSize() const { return windowStart_ + buf_.size(); }

  static constexpr std::size_t kLeafMax = 500;

 private:
  // The byte at bins offset `offset`, which must be held.
  std::uint8_t* Byte(std::uint32_t offset) { return buf_.data() + (kBaseBlockSize + offset - windowStart_); }
  const std::uint8_t* Byte(std::uint32_t offset) const {
    return buf_.data() + (kBaseBlockSize + offset - windowStart_);
  }
  void CloseBin();
  void Grow(std::size_t size);
  void StopToucher();
  std::uint32_t Place(std::uint32_t cellSize);

  std::uint32_t minor_;
  // Bytes from file offset windowStart_ on; those before it went to out_.
  std::vector<std::uint8_t> buf_;
  std::uint64_t windowStart_ = 0;
  Output* out_ = nullptr;
  std::size_t window_ = 0;
  std::uint32_t binStart_ = 0;  // bins offset of the open bin
  std::uint32_t binEnd_ = 0;    // end of the open bin
  std::uint32_t next_ = 0;      // next free byte in the open bin
  bool open_ = false;
  // Free tails of closed bins by size/8: a cell that does not fit the open bin goes into the
  // smallest tail that holds it before a new bin is started, so the image stays as dense as
  // Windows' own saves while almost every cell still follows its neighbour.
  std::vector<std::vector<std::uint32_t>> holes_;
  std::uint64_t holeSizes_[kBinAlign / 8 / 64] = {};  // bit i: holes_[i] is not empty
  std::uint32_t TakeHole(std::uint32_t cellSize);
  void AddHole(std::uint32_t offset, std::uint32_t size);
  // The helper writes only at or beyond touched_ and buf_ grows only up to it while the helper
  // runs, so the two never write the same byte. Declared last: it is stopped before buf_ goes.
  std::atomic<std::size_t> touched_{0};
  std::jthread toucher_;
};

}  // namespace hv::regf
