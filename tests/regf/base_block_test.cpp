// The copy's base block keeps what Windows keeps of its source (the transaction GUIDs, their
// signature and the flags) and records the compaction as Windows records a reorganisation.
#include <chrono>

#include "regf/regf.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

namespace base = regf::base;

std::uint64_t NowFileTime() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(ns.count() / 100) + 116444736000000000ull;
}

std::vector<std::uint8_t> Head(const std::filesystem::path& file) {
  auto bytes = ReadBytes(file);
  bytes.resize(regf::kBaseBlockSize);
  return bytes;
}

// Compares every base block field of `copy` with `source` that the copy keeps.
void ExpectKeptFields(const std::vector<std::uint8_t>& source, const std::vector<std::uint8_t>& copy,
                      std::uint64_t before, std::uint64_t after, const std::string& name) {
  SCOPED_TRACE(name);
  const auto field = [](const std::vector<std::uint8_t>& b, std::uint32_t at, std::uint32_t n) {
    return std::vector<std::uint8_t>(b.begin() + at, b.begin() + at + n);
  };
  EXPECT_EQ(field(copy, base::kSignature, 4), field(source, base::kSignature, 4));
  EXPECT_EQ(regf::Rd32(copy.data() + base::kPrimarySeq), regf::Rd32(copy.data() + base::kSecondarySeq));
  EXPECT_EQ(regf::Rd64(copy.data() + base::kLastWritten), regf::Rd64(source.data() + base::kLastWritten));
  for (std::uint32_t at : {base::kMajor, base::kMinor, base::kFileType, base::kFormat, base::kClustering}) {
    EXPECT_EQ(regf::Rd32(copy.data() + at), regf::Rd32(source.data() + at)) << "field at " << at;
  }
  EXPECT_EQ(field(copy, base::kFileName, base::kFileNameSize), field(source, base::kFileName, base::kFileNameSize));
  EXPECT_EQ(field(copy, base::kRmId, base::kGuidSize), field(source, base::kRmId, base::kGuidSize)) << "RmId";
  EXPECT_EQ(field(copy, base::kLogId, base::kGuidSize), field(source, base::kLogId, base::kGuidSize)) << "LogId";
  EXPECT_EQ(regf::Rd32(copy.data() + base::kFlags), regf::Rd32(source.data() + base::kFlags)) << "flags";
  EXPECT_EQ(field(copy, base::kTmId, base::kGuidSize), field(source, base::kTmId, base::kGuidSize)) << "TmId";
  EXPECT_EQ(field(copy, base::kGuidSignature, 4), field(source, base::kGuidSignature, 4)) << "rmtm";
  const std::uint64_t reorganized = regf::Rd64(copy.data() + base::kLastReorganized);
  const bool sourceHasIt = regf::HasSignature(source.data() + base::kGuidSignature, "rmtm") ||
                           regf::Rd64(source.data() + base::kLastReorganized) != 0;
  if (sourceHasIt) {
    EXPECT_EQ(reorganized & 3, regf::kReorganizedDefragmented);
    EXPECT_GE(reorganized, before & ~std::uint64_t{3});
    EXPECT_LE(reorganized, after);
  } else {
    EXPECT_EQ(reorganized, 0u);
  }
  EXPECT_EQ(regf::Rd32(copy.data() + base::kChecksum), regf::BaseBlockChecksum(copy.data()));
}

TEST(RegfBaseBlock, TheCopyKeepsTheSamplesFields) {
  HV_REQUIRE_SHARED_HIVES();
  ScratchDir dir;
  int compared = 0;
  bool sawFlags = false, sawRmtm = false;
  for (const auto& name : CleanHives()) {
    const auto in = SharedHivesDir() / name;
    const auto out = dir / (std::to_string(compared) + ".hive");
    const std::uint64_t before = NowFileTime();
    ASSERT_TRUE(regf::CompactHiveFile(in, out)) << name;
    const std::uint64_t after = NowFileTime();
    const auto source = Head(in);
    ExpectKeptFields(source, Head(out), before, after, name);
    sawFlags |= regf::Rd32(source.data() + base::kFlags) != 0;
    sawRmtm |= regf::HasSignature(source.data() + base::kGuidSignature, "rmtm");
    ++compared;
  }
  EXPECT_TRUE(sawFlags) << "no sample has base block flags set (SYSTEM and System_Delta should)";
  EXPECT_TRUE(sawRmtm);
}

TEST(RegfBaseBlock, TransactionFieldsOfAFixtureAreKept) {
  ScratchDir dir;
  auto image = SmallFixture().Build();
  for (std::uint32_t i = 0; i < base::kLastReorganized - base::kRmId; ++i) {
    image[base::kRmId + i] = static_cast<std::uint8_t>(i * 7 + 1);
  }
  regf::Wr32(image.data() + base::kFlags, 2);
  regf::PutSignature(image.data() + base::kGuidSignature, "rmtm");
  regf::Wr64(image.data() + base::kLastReorganized, 0);
  FixChecksum(image);
  WriteBytes(dir / "in.hive", image);
  const std::uint64_t before = NowFileTime();
  ASSERT_TRUE(regf::CompactHiveFile(dir / "in.hive", dir / "out.hive"));
  ExpectKeptFields(image, Head(dir / "out.hive"), before, NowFileTime(), "fixture");

  // Without the signature and the timestamp, as older Windows wrote hives, nothing is added.
  auto old = SmallFixture().Build();
  WriteBytes(dir / "old.hive", old);
  ASSERT_TRUE(regf::CompactHiveFile(dir / "old.hive", dir / "old-out.hive"));
  EXPECT_EQ(regf::Rd64(Head(dir / "old-out.hive").data() + base::kLastReorganized), 0u);
}

}  // namespace
}  // namespace hv::test
