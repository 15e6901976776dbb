// The reader refuses malformed, hostile and dirty input with a message naming the file.
#include "regf/compare.h"
#include "regf/walk.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

using regf::FormatError;
using regf::Hive;

// Loads and walks an image; returns the error message, or "" when it read cleanly.
std::string ReadError(std::vector<std::uint8_t> image) {
  try {
    const Hive h = Hive::FromBytes(std::move(image), "test.hive");
    regf::ValidateTree(h);
    return "";
  } catch (const FormatError& e) {
    return e.what();
  }
}

struct Patchable {
  std::vector<std::uint8_t> image;
  regf::KeyNode root;
  regf::KeyNode a;  // root\A
  regf::KeyNode b;  // root\B
};
Patchable MakePatchable(std::uint32_t minor = 5) {
  Patchable p;
  p.image = SmallFixture(minor).Build();
  const Hive h = Hive::FromBytes(p.image, "x");
  p.root = h.Key(h.Base().rootCell);
  std::vector<std::uint32_t> kids;
  h.AppendSubkeys(p.root, kids);
  p.a = h.Key(kids.at(0));
  p.b = h.Key(kids.at(1));
  return p;
}

TEST(RegfReader, RefusesFilesThatAreNotHives) {
  EXPECT_NE(ReadError({}), "");
  EXPECT_NE(ReadError(std::vector<std::uint8_t>(4096, 0)).find("not a hive file"), std::string::npos);
  std::vector<std::uint8_t> image = SmallFixture().Build();
  image.resize(4096 + 100);  // bins cut off
  EXPECT_NE(ReadError(image).find("truncated"), std::string::npos);
}

TEST(RegfReader, RefusesDirtyHives) {
  auto image = SmallFixture().SetSequenceNumbers(5, 4).Build();
  EXPECT_NE(ReadError(image).find("dirty"), std::string::npos);
  image = SmallFixture().Build();
  image[508] ^= 1;  // checksum no longer matches
  EXPECT_NE(ReadError(image).find("checksum"), std::string::npos);
}

TEST(RegfReader, RefusesBrokenBaseBlockFields) {
  for (std::size_t at : {20u, 24u, 28u, 32u}) {
    auto image = SmallFixture().Build();
    regf::Wr32(image.data() + at, 77);
    FixChecksum(image);
    EXPECT_NE(ReadError(image), "") << "field at " << at;
  }
  auto image = SmallFixture().Build();
  regf::Wr32(image.data() + 40, 0xFFFFF000u);  // huge bins size
  FixChecksum(image);
  EXPECT_NE(ReadError(image), "");
  image = SmallFixture().Build();
  regf::Wr32(image.data() + 36, 0x12345678u);  // root outside the bins
  FixChecksum(image);
  EXPECT_NE(ReadError(image).find("root cell"), std::string::npos);
}

TEST(RegfReader, RefusesBrokenBinsAndCells) {
  auto image = SmallFixture().Build();
  image[4096] = 'X';
  EXPECT_NE(ReadError(image).find("bin"), std::string::npos);
  image = SmallFixture().Build();
  regf::Wr32(image.data() + 4096 + 8, 4096 * 50);  // bin larger than the bins
  EXPECT_NE(ReadError(image), "");
  image = SmallFixture().Build();
  regf::Wr32(image.data() + 4096 + 32, 0x80000000u);  // first cell of INT_MIN size
  EXPECT_NE(ReadError(image).find("invalid size"), std::string::npos);
  image = SmallFixture().Build();
  regf::Wr32(image.data() + 4096 + 32, 0);  // zero-size cell would loop forever
  EXPECT_NE(ReadError(image).find("invalid size"), std::string::npos);
}

TEST(RegfReader, RefusesOffsetsThatMissACell) {
  Patchable p = MakePatchable();
  regf::Wr32(p.image.data() + CellData(p.root.offset) + 28, p.root.subkeyList + 8);  // inside a cell
  EXPECT_NE(ReadError(p.image).find("not an allocated cell"), std::string::npos);
  p = MakePatchable();
  regf::Wr32(p.image.data() + CellData(p.a.offset) + 40, 0x7FFFFFF8u);  // value list far outside
  EXPECT_NE(ReadError(p.image).find("not an allocated cell"), std::string::npos);
  p = MakePatchable();
  regf::Wr32(p.image.data() + CellData(p.a.offset) + 44, p.a.offset);  // security -> a key node
  EXPECT_NE(ReadError(p.image).find("security"), std::string::npos);
}

TEST(RegfReader, RefusesHugeCounts) {
  Patchable p = MakePatchable();
  regf::Wr32(p.image.data() + CellData(p.a.offset) + 36, 0xFFFFFFFFu);  // value count
  EXPECT_NE(ReadError(p.image).find("values"), std::string::npos);
  p = MakePatchable();
  regf::Wr32(p.image.data() + CellData(p.root.offset) + 20, 1000000);  // subkey count
  EXPECT_NE(ReadError(p.image).find("subkeys"), std::string::npos);
  p = MakePatchable();
  regf::Wr16(p.image.data() + CellData(p.root.subkeyList) + 2, 0xFFFF);  // list element count
  EXPECT_NE(ReadError(p.image), "");
  p = MakePatchable();
  regf::Wr16(p.image.data() + CellData(p.a.offset) + 72, 0xFFFF);  // name length
  EXPECT_NE(ReadError(p.image).find("name runs past"), std::string::npos);
}

TEST(RegfReader, RefusesCyclesAndSharedKeys) {
  Patchable p = MakePatchable();
  // B's subkey list points back to the root: a cycle.
  const Hive h = Hive::FromBytes(p.image, "x");
  const std::size_t leaf = CellData(p.b.subkeyList);
  regf::Wr32(p.image.data() + leaf + 4, p.root.offset);
  EXPECT_NE(ReadError(p.image).find("reached twice"), std::string::npos);
  // Root's list names A twice.
  p = MakePatchable();
  const std::size_t rootLeaf = CellData(p.root.subkeyList);
  regf::Wr32(p.image.data() + rootLeaf + 12, p.a.offset);
  EXPECT_NE(ReadError(p.image), "");
}

TEST(RegfReader, RefusesIndexRootOfIndexRoot) {
  regf::FixtureBuilder b(5);
  for (int i = 0; i < 600; ++i) b.Root().AddKey("K" + std::to_string(1000 + i));
  auto image = b.Build();
  const Hive h = Hive::FromBytes(image, "x");
  const regf::KeyNode root = h.Key(h.Base().rootCell);
  const std::size_t ri = CellData(root.subkeyList);
  ASSERT_EQ(image[ri], 'r');
  regf::Wr32(image.data() + ri + 4, root.subkeyList);  // first leaf is the ri itself
  EXPECT_NE(ReadError(image).find("index root points to another index root"), std::string::npos);
}

TEST(RegfReader, RefusesWrongOrderAndDuplicates) {
  Patchable p = MakePatchable();
  const std::size_t leaf = CellData(p.root.subkeyList);
  regf::Wr32(p.image.data() + leaf + 4, p.b.offset);
  regf::Wr32(p.image.data() + leaf + 12, p.a.offset);
  EXPECT_NE(ReadError(p.image).find("sorted order"), std::string::npos);
}

TEST(RegfReader, RefusesDeepNestingWithoutRecursion) {
  regf::FixtureBuilder b(5);
  std::string path;
  for (int i = 0; i < 600; ++i) path += (i ? "\\" : "") + std::string("d");
  b.Root().AddKey(path);
  EXPECT_NE(ReadError(b.Build()).find("deeper"), std::string::npos);
}

TEST(RegfReader, RefusesBadBigData) {
  regf::FixtureBuilder b(5);
  b.Root().AddKey("K").SetBinary("Big", std::vector<std::uint8_t>(40000, 1));
  auto image = b.Build();
  const Hive h = Hive::FromBytes(image, "x");
  std::vector<std::uint32_t> kids, values;
  h.AppendSubkeys(h.Key(h.Base().rootCell), kids);
  h.AppendValues(h.Key(kids[0]), values);
  const regf::ValueRec v = h.Value(values[0]);
  regf::Wr16(image.data() + CellData(v.dataOffset) + 2, 1);  // one segment for 40000 bytes
  EXPECT_NE(ReadError(image).find("too few segments"), std::string::npos);
}

TEST(RegfReader, NamesTheFileInLoadErrors) {
  ScratchDir dir;
  try {
    Hive::Load(dir / "missing.hive");
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.hive"), std::string::npos);
  }
}

TEST(RegfReader, SurvivesRandomCorruption) {
  const auto pristine = SmallFixture().Build();
  std::mt19937 rng(42);
  for (int round = 0; round < 3000; ++round) {
    auto image = pristine;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < flips; ++i) image[4096 + rng() % (image.size() - 4096)] = static_cast<std::uint8_t>(rng());
    ReadError(image);  // must return, not crash (ASan/UBSan builds catch bad reads)
  }
}

TEST(RegfReader, ReadsEveryCleanSample) {
  HV_REQUIRE_SHARED_HIVES();
  for (const auto& f : SampleHives(CleanHives())) {
    try {
      const Hive h = Hive::Load(f);
      regf::ValidateTree(h);
    } catch (const FormatError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST(RegfReader, RefusesBrokenAndDirtySamplesNamingTheFile) {
  HV_REQUIRE_SHARED_HIVES();
  std::vector<std::string> all = BrokenHives();
  all.insert(all.end(), DirtyHives().begin(), DirtyHives().end());
  for (const auto& f : SampleHives(all)) {
    try {
      const Hive h = Hive::Load(f);
      regf::ValidateTree(h);
      ADD_FAILURE() << f << " was accepted";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(f.string()), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace hv::test
