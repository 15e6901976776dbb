// Writes small seed inputs for regf_recovery_fuzz into a folder: a dirty fixture hive with
// new-format logs (one, or a chain split across two) and with an old-format log. Small seeds
// keep the fuzzer fast; the sample hives add real ones.
//   regf_recovery_seeds DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "regf/fixture.h"
#include "regf/format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes State(int n) {
  hv::regf::FixtureBuilder b(5);
  b.SetLastWritten(hv::regf::FileTimeOf(2024, 3, 1));
  b.Root().AddKey("Base").SetString("Name", "value");
  for (int i = 0; i < n; ++i) b.Root().AddKey("Key" + std::to_string(i)).SetDword("N", static_cast<std::uint32_t>(i));
  return b.Build();
}

void Le32(Bytes& out, std::size_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Seed(const std::filesystem::path& file, std::uint8_t flags, const Bytes& primary, const Bytes& log1, const Bytes& log2 = {}) {
  Bytes out{flags};
  Le32(out, primary.size());
  Le32(out, log1.size());
  out.insert(out.end(), primary.begin(), primary.end());
  out.insert(out.end(), log1.begin(), log1.end());
  out.insert(out.end(), log2.begin(), log2.end());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: regf_recovery_seeds DIR\n", stderr);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  using namespace hv::regf;
  const Bytes s0 = State(0), s1 = State(1), s2 = State(2), s3 = State(40);
  const Bytes primary = WithSequenceNumbers(s0, 11, 10);
  Bytes badBase = primary;
  badBase[base::kChecksum] ^= 1;
  const auto e1 = LogEntryBetween(s0, s1, 10), e2 = LogEntryBetween(s1, s2, 11), e3 = LogEntryBetween(s2, s3, 12);
  Seed(dir / "new-one", 0, primary, BuildNewFormatLog(s0, 10, {e1, e2, e3}));
  Seed(dir / "new-split", 0, primary, BuildNewFormatLog(s0, 10, {e1}), BuildNewFormatLog(s0, 11, {e2, e3}));
  Seed(dir / "new-badbase", 0, badBase, BuildNewFormatLog(s0, 8, {e1}), BuildNewFormatLog(s0, 10, {e1, e2}));
  Seed(dir / "old", 0, primary, BuildOldFormatLog(s0, s3, 11));
  Seed(dir / "old-second", 0, primary, BuildOldFormatLog(s1, s2, 9), BuildOldFormatLog(s0, s3, 11));
  // A chain across the wrap of the sequence numbers, split where they wrap.
  constexpr std::uint32_t kLast = 0xFFFFFFFFu;
  Seed(dir / "new-wrap", 0, WithSequenceNumbers(s0, kLast, kLast - 1),
       BuildNewFormatLog(s0, kLast - 1, {LogEntryBetween(s0, s1, kLast - 1), LogEntryBetween(s1, s2, kLast)}),
       BuildNewFormatLog(s0, 0, {LogEntryBetween(s2, s3, 0)}));
  return 0;
}
