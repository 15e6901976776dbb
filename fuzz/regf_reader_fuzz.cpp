// libFuzzer target: the reader (in memory, on demand and windowed), checker-grade walk and compact
// writer (whole and streamed) on arbitrary bytes. Any input must end in a result or in one of the
// refusals the tool reports (a FormatError, or the writer's refusal of an image beyond the
// format's size), never a crash, hang or stray read; the work on an input is bounded by its size,
// which scripts/fuzz-regf holds to a time and memory limit far below libFuzzer's own.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/hive.h"
#include "regf/writer.h"

namespace {

// The bytes in a memory file, for the readers that read files; empty when that fails.
std::string MemoryFile(const std::vector<std::uint8_t>& bytes) {
  static const int fd = memfd_create("fuzz-hive", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) return {};
  return "/proc/self/fd/" + std::to_string(fd);
}

// A streamed copy kept in memory.
class MemoryOutput final : public hv::regf::CellSink::Output {
 public:
  void Append(std::uint8_t* bytes, std::size_t size) override { file.insert(file.end(), bytes, bytes + size); }
  void Patch(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) override {
    if (at + size > file.size()) __builtin_trap();
    std::memcpy(file.data() + at, bytes, size);
  }
  void Read(std::uint64_t at, std::uint8_t* bytes, std::size_t size) override {
    if (at + size > file.size()) __builtin_trap();
    std::memcpy(bytes, file.data() + at, size);
  }
  std::vector<std::uint8_t> file;
};

// The windowed reader with a cache of a few bins, and the copy streamed through a window of two
// pages from it: the copy must verify like the one built whole.
void ReadWindowed(const std::string& file) {
  try {
    const hv::regf::Hive h = hv::regf::Hive::Windowed(file, 3 * hv::regf::kBinAlign);
    hv::regf::ValidateTree(h);
    hv::regf::CheckTree(h);
    MemoryOutput out;
    hv::regf::WriteCompactCopy(h, out, 2 * hv::regf::kBinAlign);
    const hv::regf::Hive copy = hv::regf::Hive::FromBytes(std::move(out.file), "copy");
    if (!hv::regf::CompareTrees(h, copy, 1).empty()) __builtin_trap();
  } catch (const hv::regf::FormatError&) {
  } catch (const std::length_error&) {
  }
}

// The on-demand reader (bins read as their cells are first asked for) on the same bytes: the
// root, its subkeys' names and its values' data.
void ReadOnDemand(const std::string& file) {
  try {
    const hv::regf::Hive h = hv::regf::Hive::OnDemand(file);
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
  if (const std::string file = MemoryFile(bytes); !file.empty()) {
    ReadOnDemand(file);
    ReadWindowed(file);
  }
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
