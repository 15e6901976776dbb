// libFuzzer target: the reader, checker-grade walk and compact writer on arbitrary bytes. Any
// input must end in a result or in one of the refusals the tool reports (a FormatError, or the
// writer's refusal of an image beyond the format's size), never a crash, hang or stray read;
// the work on an input is bounded by its size, which scripts/fuzz-regf holds to a time and
// memory limit far below libFuzzer's own.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "regf/compare.h"
#include "regf/hive.h"
#include "regf/writer.h"

namespace {

// The on-demand reader (bins read as their cells are first asked for) on the same bytes, held in
// a memory file: the root, its subkeys' names and its values' data.
void ReadOnDemand(const std::vector<std::uint8_t>& bytes) {
  static const int fd = memfd_create("fuzz-hive", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) return;
  try {
    const hv::regf::Hive h = hv::regf::Hive::OnDemand("/proc/self/fd/" + std::to_string(fd));
    const hv::regf::KeyNode root = h.Key(h.Base().rootCell);
    std::vector<std::uint32_t> offsets;
    h.AppendSubkeys(root, offsets);
    for (std::uint32_t off : offsets) h.KeyName(off);
    offsets.clear();
    h.AppendValues(root, offsets);
    std::vector<std::uint8_t> data;
    for (std::uint32_t off : offsets) h.ReadData(h.Value(off), data);
  } catch (const hv::regf::FormatError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (8u << 20)) return 0;
  std::vector<std::uint8_t> bytes(data, data + size);
  // The fuzzer rarely guesses a checksum: make it right so the engine gets past the base block.
  if (bytes.size() >= 512) {
    hv::regf::Wr32(bytes.data() + hv::regf::base::kChecksum, hv::regf::BaseBlockChecksum(bytes.data()));
  }
  ReadOnDemand(bytes);
  try {
    const hv::regf::Hive h = hv::regf::Hive::FromBytes(std::move(bytes), "fuzz");
    hv::regf::ValidateTree(h);
    std::vector<std::uint8_t> image = hv::regf::WriteCompactImage(h);
    const hv::regf::Hive copy = hv::regf::Hive::FromBytes(std::move(image), "copy");
    if (!hv::regf::CompareTrees(h, copy, 1).empty()) __builtin_trap();  // a copy must always verify
  } catch (const hv::regf::FormatError&) {
  } catch (const std::length_error&) {
    // The compact writer's refusal of a copy that would exceed the format's 2 GiB.
  }
  return 0;
}
