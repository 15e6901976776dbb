#pragma once
// Builds a hive image in one buffer: bins of 4 KiB (larger only for a cell that needs it), cells
// allocated one after another, and the records both writers share (subkey lists, value data).
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
  // The data of the cell at `offset`. Invalidated by the next Alloc.
  std::uint8_t* Data(std::uint32_t offset) { return buf_.data() + kBaseBlockSize + offset + cell::kData; }
  std::uint32_t DataSize(std::uint32_t offset) const;

  // Writes a subkey list for the key nodes at `children` (already in the order to keep): an
  // "lh" leaf for minor versions above 4, "lf" for 3 and 4, "li" for 2, split under an "ri"
  // beyond kLeafMax.
  // Returns kNone for no children.
  std::uint32_t WriteSubkeyList(const std::uint32_t* children, std::size_t count);
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
  // hands out the image.
  std::vector<std::uint8_t> Finish(const BaseFields& fields);

  static constexpr std::size_t kLeafMax = 500;

 private:
  void CloseBin();
  void Grow(std::size_t size);
  void StopToucher();
  std::uint32_t Place(std::uint32_t cellSize);

  std::uint32_t minor_;
  std::vector<std::uint8_t> buf_;
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
