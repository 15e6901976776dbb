#pragma once
// The records both image builders (the compact writer and the fixture builder) write: key nodes,
// value records and the security cells, so that each record is laid out by one piece of code.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cell_sink.h"
#include "hive.h"

namespace hv::regf {

// Writes `key` into the nk cell data at `p`, which has room for its name. The offset field of
// `key` is ignored; a saved file has no volatile subkeys, so their count and list are empty.
void WriteKeyNode(std::uint8_t* p, const KeyNode& key);
// Sets the subkey fields of the nk at `p`, known only once its children are written. The high
// half of the largest-name field (flags) is kept.
void SetKeySubkeys(std::uint8_t* p, std::uint32_t count, std::uint32_t list, std::uint32_t maxNameLen,
                   std::uint32_t maxClassLen);

// Writes a value record into the vk cell data at `p`, which has room for the name. `rawSize`
// and `dataOffset` come from CellSink::WriteValueData.
void WriteValueRecord(std::uint8_t* p, const NameRef& name, std::uint32_t rawSize, std::uint32_t dataOffset,
                      std::uint32_t type, std::uint16_t flags);

// The security cells of an image: one cell per distinct descriptor, shared by every key that
// uses it, with reference counts, linked into one circular list by Finish.
class SecurityWriter {
 public:
  explicit SecurityWriter(CellSink& out) : out_(out) {}

  struct Use {
    std::uint32_t cell;   // the sk cell
    std::uint32_t index;  // for ReferenceAgain
    bool created;         // the cell was allocated by this call
  };
  // The cell holding `descriptor`, allocated on its first use; counts one reference.
  Use Reference(const std::uint8_t* descriptor, std::uint32_t size);
  // Counts one more reference to a cell a Reference call returned; returns the cell.
  std::uint32_t ReferenceAgain(std::uint32_t index);
  // Links the cells into one circular list and stores their reference counts.
  void Finish();

 private:
  CellSink& out_;
  std::vector<std::uint32_t> cells_;
  std::vector<std::uint32_t> refs_;
  std::unordered_multimap<std::uint64_t, std::uint32_t> byContent_;
  std::vector<std::uint8_t> scratch_;
};

}  // namespace hv::regf
