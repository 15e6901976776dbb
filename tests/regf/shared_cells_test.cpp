// Cells reached through more than one reference (security cells aside) are refused by every
// reader of the engine, naming the shared cell and both referrers; inputs that are not regular
// files are refused without waiting.
#include <sys/stat.h>

#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/fixture_shapes.h"
#include "regf/info.h"
#include "regf/regf.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

using regf::Hive;
using regf::SharedShape;

std::string ReadError(std::vector<std::uint8_t> image) {
  try {
    const Hive h = Hive::FromBytes(std::move(image), "test.hive");
    regf::ValidateTree(h);
    return "";
  } catch (const regf::FormatError& e) {
    return e.what();
  }
}

struct ShapeCase {
  SharedShape shape;
  const char* cell;       // the shared cell as the message names it
  const char* referrer;   // what refers to it, named twice
};

class SharedCells : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SharedCells, AreRefusedNamingTheCellAndBothReferrers) {
  const ShapeCase c = GetParam();
  const std::string error = ReadError(regf::SharedCellHive(c.shape));
  EXPECT_NE(error.find(std::string("the ") + c.cell + " is reached twice"), std::string::npos) << error;
  const std::string by = std::string("by the ") + c.referrer + " at 0x";
  const std::size_t first = error.find(by);
  ASSERT_NE(first, std::string::npos) << error;
  EXPECT_NE(error.find(by, first + 1), std::string::npos) << error;
}

TEST_P(SharedCells, AreRefusedByCompactCheckAndInfo) {
  ScratchDir dir;
  WriteBytes(dir / "in.hive", regf::SharedCellHive(GetParam().shape));
  const regf::Status s = regf::CompactHiveFile(dir / "in.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("reached twice"), std::string::npos) << s.message;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.hive"));

  const auto problems = regf::CheckHive(dir / "in.hive");
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.back().find("reached twice"), std::string::npos) << problems.back();

  regf::HiveInfo info;
  ASSERT_TRUE(regf::ReadHiveInfo(dir / "in.hive", info));
  EXPECT_FALSE(info.treeRead);
  EXPECT_NE(info.treeProblem.find("reached twice"), std::string::npos) << info.treeProblem;

  // The view for reading a few keys does not walk the tree, so it opens such a hive; what its
  // queries assemble never exceeds the hive's size.
  std::string error;
  const auto view = regf::HiveFile::Open(dir / "in.hive", &error);
  ASSERT_NE(view, nullptr) << error;
  const auto size = std::filesystem::file_size(dir / "in.hive");
  for (const std::string& key : view->SubkeyNames("")) {
    for (const std::string& value : view->ValueNames(key)) {
      if (const auto v = view->GetValue(key, value)) {
        EXPECT_LE(v->data.size(), size);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SharedCells,
    ::testing::Values(ShapeCase{SharedShape::kBigDataSegment, "big data segment", "big data segment list"},
                      ShapeCase{SharedShape::kValueList, "value list", "key"},
                      ShapeCase{SharedShape::kValue, "value", "value list"},
                      ShapeCase{SharedShape::kSubkeyList, "subkey list", "key"}));

// Two values of different keys naming one data cell, and a class name shared by two keys.
TEST(RegfSharedCells, DataAndClassCellsAreReachedOnce) {
  regf::FixtureBuilder b(5);
  b.Root().AddKey("A").SetClass("cls").SetBinary("X", std::vector<std::uint8_t>(40, 1));
  b.Root().AddKey("B").SetClass("cls").SetBinary("Y", std::vector<std::uint8_t>(40, 2));
  const auto pristine = b.Build();
  const Hive h = Hive::FromBytes(pristine, "x");
  std::vector<std::uint32_t> kids, va, vb;
  h.AppendSubkeys(h.Key(h.Base().rootCell), kids);
  const regf::KeyNode a = h.Key(kids.at(0)), bk = h.Key(kids.at(1));
  h.AppendValues(a, va);
  h.AppendValues(bk, vb);

  auto data = pristine;
  regf::Wr32(data.data() + CellData(vb.at(0)) + regf::vk::kDataOffset, h.Value(va.at(0)).dataOffset);
  EXPECT_NE(ReadError(data).find("the value data is reached twice"), std::string::npos) << ReadError(data);

  auto cls = pristine;
  regf::Wr32(cls.data() + CellData(bk.offset) + regf::nk::kClass, a.classCell);
  EXPECT_NE(ReadError(cls).find("the class name is reached twice"), std::string::npos) << ReadError(cls);
}

// What references nothing is not a second reference: inline and empty data, a zero-length
// class, empty lists, and security cells shared by many keys.
TEST(RegfSharedCells, ReferencesThatAreNotFollowedAreNotShared) {
  regf::FixtureBuilder b(5);
  for (const char* k : {"A", "B", "C"}) {
    b.Root().AddKey(k).SetDword("D", 1).SetBinary("Empty", {}).SetValue("Short", regf::kRegBinary, {1, 2});
  }
  auto image = b.Build();
  const Hive h = Hive::FromBytes(image, "x");
  std::vector<std::uint32_t> kids;
  h.AppendSubkeys(h.Key(h.Base().rootCell), kids);
  const regf::KeyNode a = h.Key(kids.at(0));
  // Zero counts and lengths with stale offsets pointing at A's cells.
  for (std::size_t i = 1; i < kids.size(); ++i) {
    std::uint8_t* p = image.data() + CellData(kids[i]);
    regf::Wr32(p + regf::nk::kSubkeyList, a.valueList);
    regf::Wr32(p + regf::nk::kClass, a.valueList);
  }
  FixChecksum(image);
  EXPECT_EQ(ReadError(image), "");
}

// The larger shapes stay cheap: they are refused at the second reference.
TEST(RegfSharedCells, LargeShapesAreRefusedEarly) {
  EXPECT_NE(ReadError(regf::SharedCellHive(SharedShape::kBigDataSegment, 65535)).find("reached twice"), std::string::npos);
  EXPECT_NE(ReadError(regf::SharedCellHive(SharedShape::kValueList, 2000, 10000)).find("reached twice"), std::string::npos);
  EXPECT_NE(ReadError(regf::SharedCellHive(SharedShape::kValue, 100000, 32688)).find("reached twice"), std::string::npos);
}

// A value claiming 1 GB from distinct segment offsets that are not cells is refused at the first
// such offset, before any of the data is gathered.
TEST(RegfSharedCells, BigDataFromSegmentsThatAreNotCellsIsRefused) {
  auto image = regf::SharedCellHive(SharedShape::kBigDataSegment, 65535);
  const Hive h = Hive::FromBytes(image, "x");
  std::vector<std::uint32_t> kids, values;
  h.AppendSubkeys(h.Key(h.Base().rootCell), kids);
  h.AppendValues(h.Key(kids.at(0)), values);
  const regf::ValueRec v = h.Value(values.at(0));
  const std::uint32_t list = regf::Rd32(h.Cell(v.dataOffset, "db").data + regf::db::kSegmentList);
  for (std::uint32_t i = 1; i < 65535; ++i) {
    regf::Wr32(image.data() + CellData(list) + i * regf::db::kSegmentElement, 0x1000 + 8 * i);
  }
  const std::string error = ReadError(image);
  EXPECT_NE(error.find("big data segment"), std::string::npos) << error;
}

#ifndef _WIN32
TEST(RegfHostFiles, AFifoAsInputIsRefusedAtOnce) {
  ScratchDir dir;
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const regf::Status s = regf::CompactHiveFile(fifo, dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("not a regular file"), std::string::npos) << s.message;
  const auto problems = regf::CheckHive(fifo);
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.front().find("not a regular file"), std::string::npos);
  regf::HiveInfo info;
  EXPECT_FALSE(regf::ReadHiveInfo(fifo, info));
  std::string error;
  EXPECT_EQ(regf::HiveFile::Open(fifo, &error), nullptr);
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}
#endif

}  // namespace
}  // namespace hv::test
