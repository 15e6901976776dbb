// The engine in bounded memory: a copy streamed through a small window, a hive read through a
// small cache of bins, and the digest that proves a streamed file reads back as written.
#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/copy_digest.h"
#include "regf/writer.h"
#include "regf_test_util.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace hv::test {
namespace {

using regf::Hive;

// An Output that keeps the streamed file in memory and counts how it was reached.
class MemoryOutput final : public regf::CellSink::Output {
 public:
  void Append(std::uint8_t* bytes, std::size_t size) override {
    EXPECT_EQ(size % regf::kBinAlign, 0u);
    file.insert(file.end(), bytes, bytes + size);
    ++appends;
  }
  void Patch(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) override {
    ASSERT_LE(at + size, file.size());
    std::memcpy(file.data() + at, bytes, size);
    ++patches;
  }
  void Read(std::uint64_t at, std::uint8_t* bytes, std::size_t size) override {
    ASSERT_LE(at + size, file.size());
    std::memcpy(bytes, file.data() + at, size);
    ++reads;
  }
  std::vector<std::uint8_t> file;
  int appends = 0, patches = 0, reads = 0;
};

std::string LoadError(const std::filesystem::path& file, bool windowed) {
  try {
    if (windowed) {
      Hive::Windowed(file, 1 << 16);
    } else {
      Hive::Load(file);
    }
  } catch (const regf::FormatError& e) {
    return e.what();
  }
  return {};
}

// A window of two pages pushes nearly every earlier cell out while the tree is still written: the
// keys' subkey fields, the security list and the base block all reach cells no longer held, and
// the copy is still the source's tree, sound by every rule.
TEST(RegfStreaming, CopyThroughATinyWindowIsTheSourceTreeAndSound) {
  for (const std::uint32_t minor : {3u, 5u}) {
    SCOPED_TRACE(minor);
    ScratchDir dir;
    regf::FixtureBuilder b(minor);
    for (int i = 0; i < 40; ++i) {
      auto& k = b.Root().AddKey("Key" + std::to_string(i) + "\\Inner\\Leaf");
      k.SetBinary("Blob", std::vector<std::uint8_t>(700 + 97 * i, static_cast<std::uint8_t>(i)));
      k.SetString("Name", "value " + std::to_string(i));
    }
    b.Root().AddKey("Big").SetBinary("Data", std::vector<std::uint8_t>(40000, 0x5A));  // big data from 1.4
    ASSERT_TRUE(b.WriteFile(dir / "in"));
    const Hive source = Hive::Load(dir / "in");

    MemoryOutput out;
    const std::uint64_t size = regf::WriteCompactCopy(source, out, 2 * regf::kBinAlign);
    ASSERT_EQ(size, out.file.size());
    EXPECT_GT(out.appends, 10);
    EXPECT_GT(out.patches, 0);
    const Hive copy = Hive::FromBytes(out.file, "copy");
    EXPECT_TRUE(regf::CompareTrees(source, copy, 5).empty());
    EXPECT_TRUE(regf::CheckTree(copy).empty());
    // The same tree as the copy built whole in memory, and no larger than a little slack.
    const Hive whole = Hive::FromBytes(regf::WriteCompactImage(source), "whole");
    EXPECT_TRUE(regf::CompareTrees(whole, copy, 5).empty());
    // A window this small loses the tails of the bins it lets go, so the copy is a little larger.
    EXPECT_LE(copy.Size(), whole.Size() + whole.Size() / 4);
  }
}

// What a streamed image holds stays near its window, also when single large cells get bins of
// their own while small cells still go into an older open bin.
TEST(RegfStreaming, StreamedImageHoldsAboutItsWindow) {
  constexpr std::size_t kWindow = 4 * regf::kBinAlign;
  MemoryOutput out;
  regf::CellSink sink(3, out, kWindow);
  std::size_t most = 0;
  for (int i = 0; i < 200; ++i) {
    sink.Alloc(24);                  // a small cell, into the open bin
    sink.Alloc(6000 + 8 * (i % 5));  // a large one, in a bin of its own
    sink.Checkpoint();
    most = std::max(most, sink.Held());
  }
  EXPECT_LE(most, 2 * kWindow + 2 * regf::kBinAlign + regf::kBaseBlockSize);
  regf::CellSink::BaseFields f;
  f.root = regf::kBinHeaderSize;
  sink.Finish(f);
  EXPECT_EQ(out.file.size(), sink.ImageSize());
  // Every bin of the streamed file is whole and holds cells that fill it.
  std::uint32_t off = 0;
  while (off < out.file.size() - regf::kBaseBlockSize) {
    const std::uint8_t* bin = out.file.data() + regf::kBaseBlockSize + off;
    ASSERT_TRUE(regf::HasSignature(bin, "hbin"));
    ASSERT_EQ(regf::Rd32(bin + regf::bin::kOffset), off);
    const std::uint32_t size = regf::Rd32(bin + regf::bin::kSize);
    std::uint32_t c = regf::kBinHeaderSize;
    while (c < size) {
      const std::int32_t raw = static_cast<std::int32_t>(regf::Rd32(bin + c));
      ASSERT_GE(raw < 0 ? -raw : raw, 8);
      c += static_cast<std::uint32_t>(raw < 0 ? -raw : raw);
    }
    ASSERT_EQ(c, size);
    off += size;
  }
}

// Through a cache of a few bins, a hive reads as the same tree as one loaded whole, for every
// reader of the engine: the walk, the checker and the comparison.
TEST(RegfStreaming, WindowedHiveReadsAsTheLoadedOne) {
  ScratchDir dir;
  ASSERT_TRUE(regf::GenerateFragmentedHive(dir / "in", 3u << 20));
  const Hive loaded = Hive::Load(dir / "in");
  // A cache of a few bins, and one large enough that a walk going forward reads runs of bins.
  for (const std::size_t cache : {std::size_t{4} * regf::kBinAlign, std::size_t{1} << 20}) {
    SCOPED_TRACE(cache);
    const Hive w = Hive::Windowed(dir / "in", cache);
    EXPECT_EQ(regf::ValidateTree(w).values, regf::ValidateTree(loaded).values);
    EXPECT_TRUE(regf::CompareTrees(loaded, w, 5).empty());
    MemoryOutput out;
    regf::WriteCompactCopy(w, out, 4 * regf::kBinAlign);
    EXPECT_TRUE(regf::CompareTrees(loaded, Hive::FromBytes(std::move(out.file), "copy"), 5).empty());
  }
  const Hive windowed = Hive::Windowed(dir / "in", 4 * regf::kBinAlign);
  EXPECT_EQ(windowed.BinCount(), loaded.BinCount());
  EXPECT_EQ(windowed.FreeBytes(), loaded.FreeBytes());
  EXPECT_EQ(windowed.AllocatedCells(), loaded.AllocatedCells());
  EXPECT_EQ(regf::ValidateTree(windowed).keys, regf::ValidateTree(loaded).keys);
  EXPECT_EQ(regf::CheckTree(windowed), regf::CheckTree(loaded));
  EXPECT_TRUE(regf::CompareTrees(loaded, windowed, 5).empty());
  EXPECT_TRUE(regf::CompareTrees(windowed, loaded, 5).empty());
  // A twin (another thread's reader of the same file) shares the first pass and reads the same.
  const Hive twin = windowed.WindowedTwin(2 * regf::kBinAlign);
  EXPECT_EQ(twin.AllocatedCells(), loaded.AllocatedCells());
  EXPECT_EQ(regf::CheckTree(twin), regf::CheckTree(loaded));
  EXPECT_TRUE(regf::CompareTrees(loaded, twin, 5).empty());

  // Shared hives of every shape read the same too, and stream the same copy, with a cache so
  // small that cells go while the walks are still at their keys.
  for (const auto& path : SampleHives(CleanHives())) {
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(path.string());
    const Hive a = Hive::Load(path);
    const Hive w = Hive::Windowed(path, 2 * regf::kBinAlign);
    EXPECT_TRUE(regf::CompareTrees(a, w, 5).empty());
    EXPECT_EQ(regf::ValidateTree(w).values, regf::ValidateTree(a).values);
    EXPECT_EQ(regf::CheckTree(w).size(), regf::CheckTree(a).size());
    MemoryOutput out;
    regf::WriteCompactCopy(w, out, 2 * regf::kBinAlign);
    EXPECT_TRUE(regf::CompareTrees(a, Hive::FromBytes(std::move(out.file), "copy"), 5).empty());
  }
}

// The first pass refuses in Load's words what Load refuses.
TEST(RegfStreaming, WindowedHiveRefusesWhatLoadRefuses) {
  struct Case {
    const char* what;
    void (*damage)(std::vector<std::uint8_t>&);
  };
  const Case cases[] = {
      {"bin signature", [](std::vector<std::uint8_t>& i) { i[regf::kBaseBlockSize] = 'x'; }},
      {"bin offset", [](std::vector<std::uint8_t>& i) { regf::Wr32(i.data() + regf::kBaseBlockSize + 4, 4096); }},
      {"bin size", [](std::vector<std::uint8_t>& i) { regf::Wr32(i.data() + regf::kBaseBlockSize + 8, 12345); }},
      {"cell size", [](std::vector<std::uint8_t>& i) { regf::Wr32(i.data() + regf::kBaseBlockSize + 32, 7); }},
      {"cell past its bin", [](std::vector<std::uint8_t>& i) { regf::Wr32(i.data() + regf::kBaseBlockSize + 32, 0xFFFF0000u); }},
      {"truncated", [](std::vector<std::uint8_t>& i) { i.resize(i.size() - 100); }},
      {"root not a cell", [](std::vector<std::uint8_t>& i) { regf::Wr32(i.data() + 36, 0x28); FixChecksum(i); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    auto image = SmallFixture().Build();
    c.damage(image);
    WriteBytes(dir / "h", image);
    const std::string expected = LoadError(dir / "h", false);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(LoadError(dir / "h", true), expected);
  }
}

// A bin read again must hold the cells it held in the first pass: a file changed or cut short in
// between is refused, never read past a cell.
TEST(RegfStreaming, WindowedHiveRefusesAFileChangedUnderIt) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "h"));
  const auto image = ReadBytes(dir / "h");
  const std::uint32_t root = regf::Rd32(image.data() + 36);
  auto expectChanged = [&](const Hive& h) {
    try {
      regf::ValidateTree(h);
      ADD_FAILURE() << "the change went unnoticed";
    } catch (const regf::FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("changed while it was read"), std::string::npos) << e.what();
    }
  };
  {
    const Hive h = Hive::Windowed(dir / "h", 1 << 16);
    auto changed = image;
    regf::Wr32(changed.data() + regf::kBaseBlockSize + root, 0x10);  // the root's cell now free
    std::fstream f(dir / "h", std::ios::binary | std::ios::in | std::ios::out);
    f.write(reinterpret_cast<const char*>(changed.data()), static_cast<std::streamsize>(changed.size()));
    f.close();
    expectChanged(h);
  }
  WriteBytes(dir / "h", image);
  {
    const Hive h = Hive::Windowed(dir / "h", 1 << 16);
    std::filesystem::resize_file(dir / "h", regf::kBaseBlockSize + 100);
    expectChanged(h);
  }
  // Bins read in one run with the bin asked for are held to the first pass too: every cell of a
  // generated hive's bins is turned free (a bin the walk reads ahead of its need), the walk
  // going forward through a cache large enough for runs.
  {
    const std::filesystem::path big = dir / "big";
    ASSERT_TRUE(regf::GenerateFragmentedHive(big, 1u << 20));
    auto bytes = ReadBytes(big);
    const Hive h = Hive::Windowed(big, 1 << 20);
    const std::uint32_t bins = regf::Rd32(bytes.data() + regf::base::kBinsSize);
    for (std::uint32_t at = bins / 2 / regf::kBinAlign * regf::kBinAlign; at < bins; at += regf::kBinAlign) {
      std::uint8_t* bin = bytes.data() + regf::kBaseBlockSize + at;
      if (!regf::HasSignature(bin, "hbin")) continue;
      for (std::uint32_t c = regf::kBinHeaderSize; c < regf::Rd32(bin + regf::bin::kSize);) {
        const std::int32_t raw = static_cast<std::int32_t>(regf::Rd32(bin + c));
        const std::uint32_t size = static_cast<std::uint32_t>(raw < 0 ? -raw : raw);
        regf::Wr32(bin + c, size);
        c += size;
      }
      break;  // one bin past the middle
    }
    WriteBytes(big, bytes);
    expectChanged(h);
  }
  // A twin opened on a file whose base block changed since the first pass.
  WriteBytes(dir / "h", image);
  {
    const Hive h = Hive::Windowed(dir / "h", 1 << 16);
    auto changed = image;
    ++changed[regf::base::kPrimarySeq];
    ++changed[regf::base::kSecondarySeq];
    FixChecksum(changed);
    WriteBytes(dir / "h", changed);
    try {
      h.WindowedTwin(1 << 16);
      ADD_FAILURE() << "the change went unnoticed";
    } catch (const regf::FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("changed while it was read"), std::string::npos) << e.what();
    }
  }
}

// The digest counts bytes as they end up, in whatever order they were written and patched, and
// tells apart files that differ in one bit or in the order of two words.
TEST(RegfStreaming, CopyDigestCountsBytesAsTheyEndUp) {
  std::vector<std::uint8_t> bytes(4096);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  regf::CopyDigest whole;
  whole.Add(0, bytes.data(), bytes.size());

  regf::CopyDigest pieces;  // the second half first, then the first half with a word patched
  pieces.Add(2048, bytes.data() + 2048, 2048);
  std::vector<std::uint8_t> early(bytes.begin(), bytes.begin() + 2048);
  early[100] ^= 0xFF;
  pieces.Add(0, early.data(), 2048);
  pieces.Remove(96, early.data() + 96, 8);
  pieces.Add(96, bytes.data() + 96, 8);
  EXPECT_EQ(pieces.Value(), whole.Value());

  auto flipped = bytes;
  flipped[4000] ^= 0x01;
  regf::CopyDigest a;
  a.Add(0, flipped.data(), flipped.size());
  EXPECT_NE(a.Value(), whole.Value());
  auto swapped = bytes;
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 8);
  regf::CopyDigest s;
  s.Add(0, swapped.data(), swapped.size());
  EXPECT_NE(s.Value(), whole.Value());
}

}  // namespace
}  // namespace hv::test
