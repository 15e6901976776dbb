#include "dirty_logs.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "regf/fixture.h"
#include "regf/format.h"

namespace hv::bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool Write(const std::string& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

std::string MakeDirty(const std::string& file) {
  std::ifstream in(file + ".clean", std::ios::binary);
  const Bytes clean{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (clean.size() < regf::kBaseBlockSize) {
    return "cannot read the hive " + file + ".clean";
  }
  const std::uint32_t bins = regf::Rd32(clean.data() + regf::base::kBinsSize);  // the file may be longer
  if (bins > clean.size() - regf::kBaseBlockSize) {
    return file + ".clean: its bins run past its end";
  }
  Bytes primary = regf::WithSequenceNumbers(clean, 101, 100);
  // Entries of 1 MiB of pages each, as Windows writes a flush of many dirty pages.
  std::vector<regf::FixtureLogEntry> entries;
  std::uint32_t seq = 100;
  for (std::uint32_t off = 0; off + regf::kBinAlign <= bins; off += 4 * regf::kBinAlign) {
    if (entries.empty() || entries.back().pages.size() == 256) {
      entries.emplace_back();
      entries.back().sequence = seq++;
      entries.back().binsSize = bins;
    }
    const std::uint8_t* page = clean.data() + regf::kBaseBlockSize + off;
    entries.back().pages.push_back({off, Bytes(page, page + regf::kBinAlign)});
    std::memset(primary.data() + regf::kBaseBlockSize + off, 0, regf::kBinAlign);
  }
  const std::size_t half = (entries.size() + 1) / 2;
  const std::vector<regf::FixtureLogEntry> first(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(half));
  const std::vector<regf::FixtureLogEntry> second(entries.begin() + static_cast<std::ptrdiff_t>(half), entries.end());
  const bool ok = Write(file, primary) && Write(file + ".LOG1", regf::BuildNewFormatLog(clean, 100, first)) &&
                  Write(file + ".LOG2", regf::BuildNewFormatLog(clean, second.empty() ? seq : second.front().sequence, second));
  return ok ? std::string() : "cannot write " + file + " and its logs";
}

}  // namespace hv::bench
