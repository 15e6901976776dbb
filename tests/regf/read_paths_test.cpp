// The checker and info read a clean hive through a window of its bins and anything else whole:
// over every sample hive and fixture, sound or not, both ways give the same answer, and a file
// the windowed reader refuses is still answered in the whole-file reader's words.
#include "regf/checker.h"
#include "regf/fixture_shapes.h"
#include "regf/info.h"
#include "regf_test_util.h"

#include <functional>
#include <optional>

namespace hv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A window of two pages lets every bin go while the walks still use cells near it; the one the
// programs use holds the small hives whole.
constexpr std::size_t kWindows[] = {2 * regf::kBinAlign, regf::kTreeWindowBytes};

regf::KeyNode Root(const Bytes& image) {
  const regf::Hive h = regf::Hive::FromBytes(image, "fixture");
  return h.Key(h.Base().rootCell);
}

Bytes Sound() { return SmallFixture().Build(); }

Bytes WithoutSecurity() {
  Bytes i = Sound();
  regf::Wr32(i.data() + CellData(Root(i).offset) + regf::nk::kSecurity, regf::kNone);
  return i;
}

Bytes WrongReferenceCount() {
  Bytes i = Sound();
  regf::Wr32(i.data() + CellData(Root(i).security) + regf::sk::kRefCount, 9);
  return i;
}

Bytes BadDescriptor() {
  Bytes i = Sound();
  i[CellData(Root(i).security) + regf::sk::kDescriptor + regf::sd::kRevision] = 9;
  return i;
}

Bytes WrongChecksum() {
  Bytes i = Sound();
  ++i[regf::base::kLastWritten];
  return i;
}

// A bin after the tree whose only cell has an impossible size: the whole-file reader keeps the
// bins before it and lists the bin; the windowed reader refuses the file.
Bytes BrokenLastBin() {
  Bytes i = Sound();
  const std::uint32_t cell = regf::AppendCells(i, {64}).at(0);
  regf::Wr32(i.data() + regf::kBaseBlockSize + cell + regf::cell::kSize, 12);
  return i;
}

Bytes Truncated() {
  Bytes i = Sound();
  i.resize(i.size() - 100);
  return i;
}

Bytes RootNotACell() {
  Bytes i = Sound();
  regf::Wr32(i.data() + regf::base::kRootCell, 0x28);
  FixChecksum(i);
  return i;
}

// Many keys and bins in an older version, with free space between the cells and slack after.
Bytes ManyKeys() {
  regf::FixtureBuilder b(3);
  for (int i = 0; i < 300; ++i) b.Root().AddKey("K" + std::to_string(i)).SetBinary("V", Bytes(900, 1));
  return b.AddGarbage(0.3).SetFileSlack(3 * regf::kBinAlign).Build();
}

struct Case {
  const char* what;
  std::function<Bytes()> image;
  bool windowed;  // the windowed reader takes the file
  bool sound;
};

std::vector<Case> Fixtures() {
  using regf::SharedShape;
  return {
      {"sound", Sound, true, true},
      {"many keys, version 1.3", ManyKeys, true, true},
      {"key without a security cell", WithoutSecurity, true, false},
      {"wrong security reference count", WrongReferenceCount, true, false},
      {"invalid descriptor", BadDescriptor, true, false},
      {"shared value list", [] { return regf::SharedCellHive(SharedShape::kValueList); }, true, false},
      {"shared subkey list", [] { return regf::SharedCellHive(SharedShape::kSubkeyList); }, true, false},
      {"shared big data segment", [] { return regf::SharedCellHive(SharedShape::kBigDataSegment); }, true, false},
      {"dirty", [] { return SmallFixture().SetSequenceNumbers(3, 2).Build(); }, false, false},
      {"dirty, tree broken", [] { return regf::WithSequenceNumbers(WithoutSecurity(), 3, 2); }, false, false},
      {"wrong checksum", WrongChecksum, false, false},
      {"broken last bin", BrokenLastBin, false, false},
      {"truncated", Truncated, false, false},
      {"root not a cell", RootNotACell, false, false},
      {"not a hive", [] { return Bytes(2 * regf::kBinAlign, 0x41); }, false, false},
      {"too short", [] { return Bytes(100, 0); }, false, false},
  };
}

// Check and info, each read both ways, and as the programs read it.
void ExpectOneAnswer(const std::filesystem::path& file, std::optional<bool> windowed) {
  const std::vector<std::string> whole = regf::CheckHiveWhole(file);
  EXPECT_EQ(regf::CheckHive(file), whole);
  regf::HiveInfo wholeInfo, info;
  const regf::Status wholeStatus = regf::ReadHiveInfoWhole(file, wholeInfo);
  const regf::Status status = regf::ReadHiveInfo(file, info);
  EXPECT_EQ(status.ok, wholeStatus.ok);
  EXPECT_EQ(status.message, wholeStatus.message);
  EXPECT_EQ(regf::FormatHiveInfo(info), regf::FormatHiveInfo(wholeInfo));
  for (const std::size_t window : kWindows) {
    SCOPED_TRACE(window);
    const auto problems = regf::CheckHiveWindowed(file, window);
    regf::HiveInfo windowedInfo;
    const auto windowedStatus = regf::ReadHiveInfoWindowed(file, window, windowedInfo);
    EXPECT_EQ(problems.has_value(), windowedStatus.has_value());
    if (windowed) {
      EXPECT_EQ(problems.has_value(), *windowed);
    }
    if (problems) {
      EXPECT_EQ(*problems, whole);
    }
    if (windowedStatus) {
      EXPECT_TRUE(windowedStatus->ok) << windowedStatus->message;
      EXPECT_EQ(windowedInfo.treeProblem, wholeInfo.treeProblem);
      EXPECT_EQ(regf::FormatHiveInfo(windowedInfo), regf::FormatHiveInfo(wholeInfo));
    }
  }
}

TEST(RegfReadPaths, FixturesAnswerTheSameWindowedAndWhole) {
  for (const Case& c : Fixtures()) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    WriteBytes(dir / "hive", c.image());
    EXPECT_EQ(regf::CheckHive(dir / "hive").empty(), c.sound);
    ExpectOneAnswer(dir / "hive", c.windowed);
  }
  ScratchDir dir;
  SCOPED_TRACE("missing file");
  ExpectOneAnswer(dir / "missing", false);
}

TEST(RegfReadPaths, SampleHivesAnswerTheSameWindowedAndWhole) {
  int seen = 0;
  for (const auto* list : {&CleanHives(), &BrokenHives(), &DirtyHives()}) {
    for (const auto& path : SampleHives(*list)) {
      if (!std::filesystem::exists(path)) continue;
      SCOPED_TRACE(path.string());
      ++seen;
      // Clean samples are read windowed and dirty ones whole; broken ones as their damage has it.
      ExpectOneAnswer(path, list == &CleanHives()   ? std::optional<bool>(true)
                            : list == &DirtyHives() ? std::optional<bool>(false)
                                                    : std::nullopt);
    }
  }
  if (seen == 0) GTEST_SKIP() << "no sample hives in " << SharedHivesDir();
}

// A generated hive of many bins, through a window of a few: the walks let bins go and read them
// again all the way.
TEST(RegfReadPaths, AFragmentedHiveAnswersTheSameThroughASmallWindow) {
  ScratchDir dir;
  ASSERT_TRUE(regf::GenerateFragmentedHive(dir / "hive", 3u << 20));
  ExpectOneAnswer(dir / "hive", true);
  EXPECT_TRUE(regf::CheckHive(dir / "hive").empty());
}

}  // namespace
}  // namespace hv::test
