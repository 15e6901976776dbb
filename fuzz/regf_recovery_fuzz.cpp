// libFuzzer target: recovery of a primary file from one or two transaction logs, then the reader
// on the result. Any input must end in a recovered image or a refusal, never a crash, hang or
// stray read, and the image never grows past the primary's bytes plus the dirty pages applied.
// Recovery into an overlay of the logs' pages must come to the same outcome, byte for byte, and
// the windowed reader over it must accept what the reader accepts of the image.
//
// Input: a flags byte, the primary's length and the first log's length (4 bytes each), the
// primary, the first log, and the second log (the rest). The flags make the checksums and entry
// hashes right, which the fuzzer would otherwise almost never guess, choose the log slots, and
// whether the primary's bytes are lent to recovery or handed over to it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "regf/compare.h"
#include "regf/format.h"
#include "regf/hive.h"
#include "regf/hive_overlay.h"
#include "regf/log_file.h"
#include "regf/marvin32.h"
#include "regf/recovery.h"

namespace {

using hv::regf::Rd32;
using hv::regf::Wr32;
using hv::regf::Wr64;
namespace entry = hv::regf::log_entry;

// Recomputes the hashes of every entry the log reader can delimit, so that their pages apply.
void Rehash(std::vector<std::uint8_t>& log) {
  std::size_t at = entry::kFirst;
  while (at + entry::kReferences <= log.size() && std::memcmp(log.data() + at, "HvLE", 4) == 0) {
    const std::uint32_t size = Rd32(log.data() + at + entry::kSize);
    if (size < entry::kReferences || size % entry::kAlign != 0 || size > log.size() - at) break;
    std::uint8_t* e = log.data() + at;
    Wr64(e + entry::kHash1, hv::regf::Marvin32(e + entry::kReferences, size - entry::kReferences));
    Wr64(e + entry::kHash2, hv::regf::Marvin32(e, entry::kHash2Span));
    at += size;
  }
}

void FixChecksum(std::vector<std::uint8_t>& b) {
  if (b.size() >= hv::regf::log_base::kSize) Wr32(b.data() + hv::regf::base::kChecksum, hv::regf::BaseBlockChecksum(b.data()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9 || size > (8u << 20)) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t rest = size - 9;
  const std::size_t primaryLen = Rd32(data + 1) % (rest + 1);
  const std::size_t log1Len = Rd32(data + 5) % (rest - primaryLen + 1);
  const std::uint8_t* p = data + 9;
  std::vector<std::uint8_t> primary(p, p + primaryLen);
  std::vector<std::uint8_t> log1(p + primaryLen, p + primaryLen + log1Len);
  std::vector<std::uint8_t> log2(p + primaryLen + log1Len, data + size);
  if (flags & 1) FixChecksum(primary);
  if (flags & 2) FixChecksum(log1), FixChecksum(log2);
  if (flags & 4) Rehash(log1), Rehash(log2);

  std::vector<hv::regf::LogImage> logs;
  const auto slot1 = (flags & 8) ? hv::regf::LogSlot::kLog : hv::regf::LogSlot::kLog1;
  if (!log1.empty()) logs.push_back({"fuzz.LOG1", slot1, log1.data(), log1.size()});
  if (!log2.empty() && !(flags & 16)) logs.push_back({"fuzz.LOG2", hv::regf::LogSlot::kLog2, log2.data(), log2.size()});

  // The overlay reads a copy of the primary's bytes, which recovery into an image may take over.
  const std::vector<std::uint8_t> primaryCopy = primary;
  std::shared_ptr<hv::regf::HiveOverlay> overlay;
  hv::regf::RecoveryReport overlayReport;
  const hv::regf::Status so = hv::regf::RecoverOverlay(primaryCopy.data(), primaryCopy.size(), logs, overlay, overlayReport);
  std::vector<std::uint8_t> overlaid;
  if (so.ok && overlay) {
    overlaid.resize(static_cast<std::size_t>(overlay->Size()));
    std::size_t got = 0;
    if (overlay->ReadAt(0, overlaid.data(), overlaid.size(), got) != 0 || got != overlaid.size()) __builtin_trap();
  }

  std::vector<std::uint8_t> image;
  hv::regf::RecoveryReport report;
  const std::size_t primarySize = primary.size();
  // Both ways in: the primary's bytes lent, or handed over to become the image.
  const hv::regf::Status s = (flags & 32) ? hv::regf::RecoverImage(std::move(primary), logs, image, report)
                                          : hv::regf::RecoverImage(primary.data(), primary.size(), logs, image, report);
  // Both ways agree; a broken bin chain the image refuses, the overlay's reader refuses.
  const bool chainFault = !s.ok && s.message.find("cannot be recovered") != std::string::npos;
  if (s.ok != so.ok && !(chainFault && so.ok)) __builtin_trap();
  if (so.ok && overlay) {
    bool windowedOk = true;
    try {
      const hv::regf::Hive w = hv::regf::Hive::Windowed(overlay, 3 * hv::regf::kBinAlign);
      hv::regf::ValidateTree(w);
    } catch (const hv::regf::FormatError&) {
      windowedOk = false;
    }
    if (chainFault && windowedOk) __builtin_trap();
    if (s.ok && overlaid != image) __builtin_trap();
  }
  if (!s.ok || image.empty()) return 0;
  const std::size_t bound = (primarySize > 4096 ? primarySize : 4096) + report.pageBytes;
  if (image.size() > bound) __builtin_trap();
  if (image.size() != hv::regf::kBaseBlockSize + Rd32(image.data() + hv::regf::base::kBinsSize)) __builtin_trap();
  try {
    const hv::regf::Hive h = hv::regf::Hive::FromBytes(std::move(image), "recovered");
    hv::regf::ValidateTree(h);
  } catch (const hv::regf::FormatError&) {
  }
  return 0;
}
