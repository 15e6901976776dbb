// The benchmarks' generated hives: a tree grafted onto a fixture comes out equal to its source,
// two grafts merge, and a hive left dirty is recovered by its logs into the clean one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy_tree.h"
#include "dirty_logs.h"
#include "regf/compare.h"
#include "regf/fixture.h"
#include "regf/hive.h"
#include "regf/names.h"
#include "regf/recovery.h"
#include "regf/regf.h"
#include "support/shared_hives.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

using regf::FixtureBuilder;
using regf::Hive;

// A copy of `source` alone, built as the generator builds its hives.
Hive CopyOf(const Hive& source) {
  FixtureBuilder b(source.Base().minor);
  b.SetRootName(regf::NameToUtf8(source.Key(source.Base().rootCell).name));
  bench::CopyTree(source, b.Root());
  return Hive::FromBytes(b.Build(), "copy");
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::vector<std::uint8_t> OtherDescriptor() {
  std::vector<std::uint8_t> sd = regf::DefaultSecurityDescriptor();
  sd.back() ^= 0x01;  // another account in the last entry
  return sd;
}

TEST(CopyTreeTest, AShapedTreeComesOutEqual) {
  for (std::uint32_t minor : {3u, 5u}) {
    FixtureBuilder b(minor);
    b.SetRootName("ROOT");
    b.Root().SetString("RootValue", "r").SetTimestamp(regf::FileTimeOf(2019, 4, 1));
    auto& a = b.Root().AddKey("Alpha\\Beta");
    a.SetClass("Klasse").SetTimestamp(regf::FileTimeOf(2020, 1, 2)).SetUserFlags(0x3);
    a.SetString("", "default").SetDword("D", 7).SetQword("Q", 1ull << 40).SetBinary("Empty", {});
    a.SetMultiString("Multi", {"one", "two"}).SetBinary("Big", std::vector<std::uint8_t>(40000, 0x5C));
    a.SetValue("Caf\xC3\xA9 \xE2\x82\xAC", regf::kRegNone, {1, 2, 3});
    auto& own = b.Root().AddKey("Own");
    own.SetSecurity(OtherDescriptor());
    own.AddKey("Inherits").SetString("x", "y");  // the parent's descriptor, not the root's
    b.Root().AddKey("Link").SetFlags(regf::kKeySymLink);
    b.Root().AddKey("\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87");  // not stored as ASCII
    b.AddGarbage(0.3, 5);
    const Hive source = Hive::FromBytes(b.Build(), "source");
    EXPECT_EQ(Joined(regf::CompareTrees(source, CopyOf(source), 20)), "") << "format 1." << minor;
  }
}

TEST(CopyTreeTest, SampleHivesComeOutEqual) {
  HV_REQUIRE_SHARED_HIVES();
  // Hives whose names are stored as the fixture stores them (some of Windows' own hives keep
  // empty value names in two bytes a character) and whose root has the fixture's flags.
  for (const char* name : {"yarp/ManySubkeysHive", "yarp/UnicodeHive", "yarp/NewFlagsHive", "yarp/MultiSzHive",
                           "yarp/CompHive", "yarp/TwoOwnersHive", "hivex/special", "plaso/100_sub_keys.hiv",
                           "windows/BCD"}) {
    const Hive source = Hive::Load(test::SharedHivesDir() / name);
    EXPECT_EQ(Joined(regf::CompareTrees(source, CopyOf(source), 5)), "") << name;
  }
}

TEST(CopyTreeTest, TwoGraftsMergeAndTheLaterWins) {
  FixtureBuilder first;
  first.Root().AddKey("Shared\\FromFirst").SetDword("v", 1);
  first.Root().AddKey("shared").SetString("Both", "first").SetDword("OnlyFirst", 1);
  first.Root().SetString("Root", "first");
  FixtureBuilder second;
  second.Root().AddKey("SHARED").SetString("Both", "second");
  second.Root().AddKey("Shared\\FromSecond");
  second.Root().SetString("Root", "second");

  FixtureBuilder merged;
  bench::CopyTree(Hive::FromBytes(first.Build(), "first"), merged.Root());
  bench::CopyTree(Hive::FromBytes(second.Build(), "second"), merged.Root());

  FixtureBuilder expected;
  auto& shared = expected.Root().AddKey("Shared");
  shared.SetString("Both", "second").SetDword("OnlyFirst", 1);
  shared.AddKey("FromFirst").SetDword("v", 1);
  shared.AddKey("FromSecond");
  expected.Root().SetString("Root", "second");
  EXPECT_EQ(Joined(regf::CompareTrees(Hive::FromBytes(expected.Build(), "expected"),
                                      Hive::FromBytes(merged.Build(), "merged"), 20)),
            "");
}

TEST(CopyTreeTest, ADirtyHiveIsRecoveredByItsLogsIntoTheCleanOne) {
  test::TempDir dir;
  const std::string file = (dir.path() / "HIVE").string();
  FixtureBuilder b;
  // More than one entry of stale pages (4 MiB of bins), so that both logs hold some.
  for (int i = 0; i < 320; ++i) {
    b.Root().AddKey("K" + std::to_string(i)).SetBinary("v", std::vector<std::uint8_t>(16000, static_cast<std::uint8_t>(i)));
  }
  ASSERT_TRUE(b.WriteFile(file + ".clean"));
  ASSERT_EQ(bench::MakeDirty(file), "");

  regf::RecoveryReport report;
  std::vector<std::uint8_t> image;
  ASSERT_TRUE(regf::RecoverHiveFile(file, image, report));
  EXPECT_TRUE(report.dirty);
  EXPECT_EQ(report.used.size(), 2u) << "the entries are split across both logs";
  EXPECT_EQ(Joined(regf::CompareTrees(Hive::FromBytes(std::move(image), "recovered"), Hive::Load(file + ".clean"), 5)),
            "");
  EXPECT_THROW(Hive::Load(file), regf::FormatError) << "the primary alone is stale";
}

TEST(CopyTreeTest, MakeDirtyRefusesWhatIsNoHive) {
  test::TempDir dir;
  const std::string file = (dir.path() / "HIVE").string();
  EXPECT_NE(bench::MakeDirty(file), "") << "no clean hive";
  test::WriteWholeFile(file + ".clean", std::string(4096, 'x') + "short");
  EXPECT_NE(bench::MakeDirty(file), "") << "bins past the end";
}

}  // namespace
}  // namespace hv
