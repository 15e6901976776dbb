// hivora-gen-hive FILE MIB [SEED] [--dirty]: writes a heavily fragmented generated hive of about
// MIB MiB. With --dirty, FILE is left dirty as a crashed system leaves it: every fourth 4 KiB page
// of its bins is stale (zeroed) and FILE.LOG1/FILE.LOG2 hold the entries that rewrite those pages
// (a quarter of the hive), split across the two logs; FILE.clean is the hive they recover.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "regf/fixture.h"
#include "regf/format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool Write(const std::string& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int MakeDirty(const std::string& file) {
  std::ifstream in(file + ".clean", std::ios::binary);
  const Bytes clean{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::uint32_t bins = hv::regf::Rd32(clean.data() + hv::regf::base::kBinsSize);  // the file may be longer
  Bytes primary = hv::regf::WithSequenceNumbers(clean, 101, 100);
  // Entries of 1 MiB of pages each, as Windows writes a flush of many dirty pages.
  std::vector<hv::regf::FixtureLogEntry> entries;
  std::uint32_t seq = 100;
  for (std::uint32_t off = 0; off < bins; off += 4 * hv::regf::kBinAlign) {
    if (entries.empty() || entries.back().pages.size() == 256) {
      entries.emplace_back();
      entries.back().sequence = seq++;
      entries.back().binsSize = bins;
    }
    const std::uint8_t* page = clean.data() + hv::regf::kBaseBlockSize + off;
    entries.back().pages.push_back({off, Bytes(page, page + hv::regf::kBinAlign)});
    std::memset(primary.data() + hv::regf::kBaseBlockSize + off, 0, hv::regf::kBinAlign);
  }
  const std::size_t half = (entries.size() + 1) / 2;
  const std::vector<hv::regf::FixtureLogEntry> first(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(half));
  const std::vector<hv::regf::FixtureLogEntry> second(entries.begin() + static_cast<std::ptrdiff_t>(half), entries.end());
  const bool ok = Write(file, primary) && Write(file + ".LOG1", hv::regf::BuildNewFormatLog(clean, 100, first)) &&
                  Write(file + ".LOG2", hv::regf::BuildNewFormatLog(clean, second.empty() ? seq : second.front().sequence, second));
  if (!ok) {
    std::fprintf(stderr, "hivora-gen-hive: cannot write %s and its logs\n", file.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool dirty = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--dirty") dirty = true;
    else args.push_back(argv[i]);
  }
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: hivora-gen-hive FILE MIB [SEED] [--dirty]\n");
    return 2;
  }
  const double mib = std::atof(args[1].c_str());
  if (mib <= 0) {
    std::fprintf(stderr, "hivora-gen-hive: size must be positive\n");
    return 2;
  }
  const unsigned seed = args.size() > 2 ? static_cast<unsigned>(std::strtoul(args[2].c_str(), nullptr, 10)) : 1u;
  const std::string target = dirty ? args[0] + ".clean" : args[0];
  const auto s = hv::regf::GenerateFragmentedHive(target, static_cast<std::uint64_t>(mib * 1024 * 1024), seed);
  if (!s) {
    std::fprintf(stderr, "hivora-gen-hive: %s\n", s.message.c_str());
    return 1;
  }
  return dirty ? MakeDirty(args[0]) : 0;
}
