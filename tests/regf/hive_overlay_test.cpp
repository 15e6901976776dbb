// The overlay of log ranges on a primary's bins, against a plain byte image given the same
// writes, cuts and growths; and its refusal to read past what its files still hold.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "overlay_agreement.h"
#include "regf/hive_overlay.h"

namespace hv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 9));
  return b;
}

// The image a recovery would hold, changed as the overlay is.
struct Model {
  Bytes image;
  void Resize(std::uint32_t bins) { image.resize(regf::kBaseBlockSize + std::size_t{bins}, 0); }
  void Write(std::uint32_t offset, const Bytes& log, std::uint64_t at, std::uint32_t size) {
    std::memcpy(image.data() + regf::kBaseBlockSize + offset, log.data() + at, size);
  }
};

TEST(RegfHiveOverlay, ReadsAsTheImageTheSameWritesWouldMake) {
  const Bytes primary = Pattern(regf::kBaseBlockSize + 40960, 1);
  const Bytes log1 = Pattern(70000, 50), log2 = Pattern(70000, 99);
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    regf::HiveOverlay o("h", std::make_shared<regf::MemoryBytes>(primary.data(), primary.size()),
                        {std::make_shared<regf::MemoryBytes>(log1.data(), log1.size()),
                         std::make_shared<regf::MemoryBytes>(log2.data(), log2.size())},
                        {"h.LOG1", "h.LOG2"});
    // Starts from a shorter run of the primary's bins than it holds, as a declared size may ask.
    const std::uint32_t start = 4096 * (1 + pick(10));
    o.Start(primary.data(), regf::kBaseBlockSize, start);
    Model m{Bytes(primary.begin(), primary.begin() + regf::kBaseBlockSize + start)};
    for (int step = 0; step < 60; ++step) {
      if (pick(8) == 0) {
        const std::uint32_t bins = 4096 * (1 + pick(16));  // cuts, or grows with zeros
        o.Resize(bins);
        m.Resize(bins);
        continue;
      }
      const std::uint32_t bins = static_cast<std::uint32_t>(o.Bins());
      const std::uint32_t offset = pick(bins);
      const std::uint32_t size = 1 + pick(std::min<std::uint32_t>(bins - offset, 9000));
      const std::uint32_t which = pick(2);
      const Bytes& log = which == 0 ? log1 : log2;
      const std::uint64_t at = pick(static_cast<std::uint32_t>(log.size() - size));
      o.Write(offset, size, which, at);
      m.Write(offset, log, at, size);
    }
    for (std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{1000}, std::size_t{7}}) {
      EXPECT_TRUE(OverlayBytes(o, piece) == m.image) << "read in pieces of " << piece;
    }
  }
}

TEST(RegfHiveOverlay, TellsWhichPagesALogWrote) {
  const Bytes primary = Pattern(regf::kBaseBlockSize + 16384, 3), log = Pattern(8192, 4);
  regf::HiveOverlay o("h", std::make_shared<regf::MemoryBytes>(primary.data(), primary.size()),
                      {std::make_shared<regf::MemoryBytes>(log.data(), log.size())}, {"h.LOG1"});
  o.Start(primary.data(), regf::kBaseBlockSize, 16384);
  o.Write(4096, 4096, 0, 0);
  o.Write(8192, 100, 0, 4096);  // joins the range before it in the hive and in the log
  EXPECT_EQ(o.Ranges(), 1u);
  EXPECT_EQ(o.LogBytes(), 4196u);
  EXPECT_FALSE(o.FromLog(0, 32));
  EXPECT_TRUE(o.FromLog(4096, 32));
  EXPECT_TRUE(o.FromLog(8192 + 400, 32));  // the 512-byte page the range ends in
  EXPECT_FALSE(o.FromLog(8192 + 512, 32));
  o.Resize(6000);  // cut: the rest of the range is gone, and stays gone when the bins grow again
  o.Resize(16384);
  EXPECT_FALSE(o.FromLog(8192, 32));
  EXPECT_EQ(o.LogBytes(), 6000u - 4096u);
}

// A file that shrank after recovery read it: an error, never bytes it does not hold.
TEST(RegfHiveOverlay, AShrunkenFileIsAnErrorNotZeros) {
  const Bytes primary = Pattern(regf::kBaseBlockSize + 8192, 5), log = Pattern(4096, 6);
  auto shrunkPrimary = std::make_shared<regf::MemoryBytes>(primary.data(), primary.size() - 4096);
  struct Claims final : regf::ByteSource {  // says it holds more than it reads
    std::shared_ptr<regf::MemoryBytes> inner;
    std::uint64_t size;
    std::uint64_t Size() const override { return size; }
    int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t n, std::size_t& got) const override {
      return inner->ReadAt(offset, data, n, got);
    }
  };
  auto claims = std::make_shared<Claims>();
  claims->inner = shrunkPrimary;
  claims->size = primary.size();
  regf::HiveOverlay o("h", claims, {std::make_shared<regf::MemoryBytes>(log.data(), 100)}, {"h.LOG1"});
  o.Start(primary.data(), regf::kBaseBlockSize, 8192);
  Bytes buffer(8192);
  std::size_t got = 0;
  EXPECT_EQ(o.ReadAt(regf::kBaseBlockSize, buffer.data(), 4096, got), 0);  // still there
  EXPECT_NE(o.ReadAt(regf::kBaseBlockSize + 4096, buffer.data(), 4096, got), 0);
  o.Write(0, 4096, 0, 0);  // the log holds only 100 of these bytes now
  EXPECT_NE(o.ReadAt(regf::kBaseBlockSize, buffer.data(), 4096, got), 0);
}

}  // namespace
}  // namespace hv::test
