// Compaction: refusals leave nothing behind; copies are sound, smaller and equal to the source.
#include "regf/checker.h"
#include "regf/compact_hooks.h"
#include "regf/compare.h"
#include "regf/info.h"
#include "regf/regf.h"
#include "regf_test_util.h"

#include <fstream>
#include <atomic>
#include <set>

namespace hv::test {
namespace {

using regf::CompactHiveFile;
using regf::Hive;

bool OnlyFile(const std::filesystem::path& dir, const std::string& name) {
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename() != name) return false;
  }
  return true;
}

TEST(RegfCompact, RefusesAnExistingTargetAndLeavesIt) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  WriteBytes(dir / "out.hive", {'k', 'e', 'e', 'p'});
  const auto s = CompactHiveFile(dir / "in.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("already exists"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "out.hive"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST(RegfCompact, NeverTouchesAFileUnderTheTemporaryName) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  WriteBytes(dir / "out.hive.hivora-tmp", {'k', 'e', 'e', 'p'});
  const auto s = CompactHiveFile(dir / "in.hive", dir / "out.hive");
  ASSERT_TRUE(s) << s.message;
  EXPECT_EQ(ReadBytes(dir / "out.hive.hivora-tmp"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(regf::CompareTrees(Hive::Load(dir / "in.hive"), Hive::Load(dir / "out.hive"), 5).empty());
}

TEST(RegfCompact, RefusesDirtyBrokenAndMissingInputCreatingNothing) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().SetSequenceNumbers(3, 2).WriteFile(dir / "dirty.hive"));
  auto s = CompactHiveFile(dir / "dirty.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("dirty"), std::string::npos);
  EXPECT_NE(s.message.find("dirty.hive"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.hive"));

  auto image = SmallFixture().Build();
  regf::Wr32(image.data() + 4096 + 32, 7);  // the first cell's size is no multiple of 8
  WriteBytes(dir / "broken.hive", image);
  s = CompactHiveFile(dir / "broken.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.hive"));

  s = CompactHiveFile(dir / "none.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("none.hive"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.hive"));
  // No temporary file is left either.
  std::filesystem::remove(dir / "dirty.hive");
  std::filesystem::remove(dir / "none.hive");
  EXPECT_TRUE(OnlyFile(dir.path(), "broken.hive"));
}

// Each check behind the guarantee refuses what it is there to catch: a copy whose tree differs, a
// copy that does not parse, and a file on disk that does not hold the bytes written. Nothing
// is left behind, neither the target nor the temporary file.
TEST(RegfCompact, RefusesACopyThatFailsAnyCheckCreatingNothing) {
  struct Case {
    const char* what;
    regf::CompactHooks hooks;
    const char* expected;
  };
  const Case cases[] = {
      {"root timestamp changed as the copy is produced",
       {[](std::uint64_t at, std::uint8_t* bytes, std::size_t size) {
          const std::size_t stamp = CellData(regf::kBinHeaderSize) + 4;  // the root is the copy's first cell
          if (at <= stamp && stamp < at + size) ++bytes[stamp - at];
        },
        nullptr},
       "timestamp differs"},
      {"bin signature broken as the copy is produced",
       {[](std::uint64_t at, std::uint8_t* bytes, std::size_t size) {
          if (at <= regf::kBaseBlockSize && regf::kBaseBlockSize < at + size) bytes[regf::kBaseBlockSize - at] = 'x';
        },
        nullptr},
       "does not read back"},
      {"a byte of the written file changed",
       {nullptr,
        [](const std::filesystem::path& temp) {
          // In place: the compactor still holds the file open (Windows refuses a removal).
          const auto bytes = ReadBytes(temp);
          std::fstream f(temp, std::ios::binary | std::ios::in | std::ios::out);
          f.seekp(static_cast<std::streamoff>(bytes.size() / 2));
          f.put(static_cast<char>(bytes[bytes.size() / 2] ^ 0x01));
        }},
       "reads back different"},
      {"the written file grew",
       {nullptr,
        [](const std::filesystem::path& temp) {
          std::ofstream(temp, std::ios::binary | std::ios::app).put('\0');
        }},
       "reads back different"},
      {"the written file was cut short",
       {nullptr,
        [](const std::filesystem::path& temp) {
          std::filesystem::resize_file(temp, std::filesystem::file_size(temp) - 4096);
        }},
       "reads back different"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
    regf::SetCompactHooksForTest(&c.hooks);
    const auto s = CompactHiveFile(dir / "in.hive", dir / "out.hive");
    regf::SetCompactHooksForTest(nullptr);
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find(c.expected), std::string::npos) << s.message;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.hive"));
    EXPECT_TRUE(OnlyFile(dir.path(), "in.hive"));
  }
  // Without hooks the same input compacts.
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  EXPECT_TRUE(CompactHiveFile(dir / "in.hive", dir / "out.hive"));
}

// A hive large enough that the image is written in several pieces and its memory is touched
// ahead by the helper thread; the copy must still be exact.
TEST(RegfCompact, LargeGeneratedHiveCompactsEqual) {
  ScratchDir dir;
  ASSERT_TRUE(regf::GenerateFragmentedHive(dir / "in.hive", 20u << 20));
  const auto s = CompactHiveFile(dir / "in.hive", dir / "out.hive");
  ASSERT_TRUE(s) << s.message;
  const Hive in = Hive::Load(dir / "in.hive");
  const Hive out = Hive::Load(dir / "out.hive");
  EXPECT_GT(out.Size(), std::size_t{8} << 20);
  EXPECT_LT(out.Size(), in.Size());
  EXPECT_EQ(regf::ValidateTree(out).keys, regf::ValidateTree(in).keys);
  EXPECT_TRUE(regf::CompareTrees(in, out, 5).empty());
  std::filesystem::remove(dir / "out.hive");
  EXPECT_TRUE(OnlyFile(dir.path(), "in.hive"));
}

TEST(RegfCompact, FragmentedFixtureCompactsSmallerAndEqual) {
  ScratchDir dir;
  for (std::uint32_t minor : {3u, 5u}) {
    regf::FixtureBuilder b(minor);
    auto& cv = b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion");
    cv.SetString("CurrentVersion", "6.1").SetClass("ClassName").SetTimestamp(regf::FileTimeOf(2011, 2, 3));
    cv.SetMultiString("Multi", {"a", "b"}).SetQword("Q", 1).SetValue("", regf::kRegSz, regf::RegString("default"));
    cv.SetBinary("Big", std::vector<std::uint8_t>(50000, 7));   // big data in 1.5, one cell in 1.3
    cv.SetBinary("Edge", std::vector<std::uint8_t>(16344, 8));  // largest single cell
    cv.SetBinary("Four", {1, 2, 3, 4}).SetBinary("Empty", {});
    cv.AddDeletedKey("Gone").AddDeletedValue("Old", std::vector<std::uint8_t>(300, 1));
    b.Root().AddKey("Links\\L").SetFlags(regf::kKeySymLink).SetUserFlags(0x0302);
    b.Root().AddKey("Ünïcödé\\ключ\\鍵").SetSecurity({1, 0, 4, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 1200; ++i) b.Root().AddKey("Many\\Item" + std::to_string(i));
    b.AddGarbage(0.5, 9).SetFileSlack(64 * 1024);
    const std::string in = "in" + std::to_string(minor), out = "out" + std::to_string(minor);
    ASSERT_TRUE(b.WriteFile(dir / in));
    const auto s = CompactHiveFile(dir / in, dir / out);
    ASSERT_TRUE(s) << s.message;
    EXPECT_LT(std::filesystem::file_size(dir / out), std::filesystem::file_size(dir / in) * 6 / 10);
    const Hive a = Hive::Load(dir / in), c = Hive::Load(dir / out);
    EXPECT_TRUE(regf::CompareTrees(a, c, 5).empty());
    EXPECT_TRUE(regf::CheckHive(dir / out).empty());
    EXPECT_EQ(c.Base().minor, minor);
    EXPECT_EQ(std::filesystem::file_size(dir / out), 4096u + c.Base().binsSize);
    // Free space is only what bin ends leave (big cells need bins of their own).
    EXPECT_LT(c.FreeBytes(), c.Base().binsSize / 20);
  }
}

TEST(RegfCompact, SharesSecurityCellsWithExactCounts) {
  ScratchDir dir;
  regf::FixtureBuilder b(5);
  std::vector<std::uint8_t> other = regf::DefaultSecurityDescriptor();
  other.back() ^= 1;
  for (int i = 0; i < 10; ++i) b.Root().AddKey("K" + std::to_string(i)).SetSecurity(i % 2 ? other : regf::DefaultSecurityDescriptor());
  ASSERT_TRUE(b.AddGarbage(0.3).WriteFile(dir / "in"));
  ASSERT_TRUE(CompactHiveFile(dir / "in", dir / "out"));
  const Hive c = Hive::Load(dir / "out");
  std::vector<std::uint32_t> kids;
  const regf::KeyNode root = c.Key(c.Base().rootCell);
  c.AppendSubkeys(root, kids);
  std::set<std::uint32_t> cells;
  for (auto k : kids) cells.insert(c.Key(k).security);
  cells.insert(root.security);
  EXPECT_EQ(cells.size(), 2u);
  EXPECT_TRUE(regf::CheckHive(dir / "out").empty());  // counts and links
}

TEST(RegfCompact, DropsRuntimeOnlyFlagsAndKeepsMeaningfulOnes) {
  ScratchDir dir;
  regf::FixtureBuilder b(5);
  b.Root().AddKey("V").SetFlags(regf::kKeyVolatile | regf::kKeyHiveExit | regf::kKeyPredefHandle | regf::kKeySymLink | 0x0180);
  ASSERT_TRUE(b.WriteFile(dir / "in"));
  ASSERT_TRUE(CompactHiveFile(dir / "in", dir / "out"));
  const Hive c = Hive::Load(dir / "out");
  std::vector<std::uint32_t> kids;
  const regf::KeyNode root = c.Key(c.Base().rootCell);
  c.AppendSubkeys(root, kids);
  EXPECT_EQ(c.Key(kids[0]).flags, regf::kKeySymLink | regf::kKeyCompName | 0x0180);
  EXPECT_EQ(root.flags & (regf::kKeyHiveEntry | regf::kKeyNoDelete), regf::kKeyHiveEntry | regf::kKeyNoDelete);
}

TEST(RegfCompact, SplitsLongListsUnderAnIndexRoot) {
  ScratchDir dir;
  regf::FixtureBuilder b(5);
  for (int i = 0; i < 1700; ++i) b.Root().AddKey("Key" + std::to_string(i));
  ASSERT_TRUE(b.WriteFile(dir / "in"));
  ASSERT_TRUE(CompactHiveFile(dir / "in", dir / "out"));
  const Hive c = Hive::Load(dir / "out");
  const regf::KeyNode root = c.Key(c.Base().rootCell);
  const regf::Span ri = c.Cell(root.subkeyList, "test");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ri.data), 2), "ri");
  EXPECT_EQ(regf::Rd16(ri.data + 2), 4);  // 1700 keys in leaves of at most 500
  EXPECT_TRUE(regf::CheckHive(dir / "out").empty());
}

TEST(RegfCompact, EveryCleanSampleCompactsVerifiesAndChecks) {
  HV_REQUIRE_SHARED_HIVES();
  ScratchDir dir;
  int n = 0;
  for (const auto& f : SampleHives(CleanHives())) {
    const auto out = dir / ("out" + std::to_string(n++));
    const auto s = CompactHiveFile(f, out);
    ASSERT_TRUE(s) << s.message;
    const auto problems = regf::CheckHive(out);
    EXPECT_TRUE(problems.empty()) << f << ": " << (problems.empty() ? "" : problems[0]);
    const Hive a = Hive::Load(f), c = Hive::Load(out);
    EXPECT_TRUE(regf::CompareTrees(a, c, 3).empty()) << f;
    EXPECT_EQ(c.Base().minor, a.Base().minor) << f;
    // A hive Windows has just saved (SYSTEM: 4,608 bytes free in 11 MiB) cannot shrink; packing
    // cell by cell may then need one bin more than Windows' own layout, never more.
    EXPECT_LE(std::filesystem::file_size(out), std::filesystem::file_size(f) + regf::kBinAlign) << f;
    EXPECT_EQ(std::filesystem::file_size(out), 4096u + c.Base().binsSize);
  }
}

TEST(RegfCompact, RefusesEveryBrokenAndDirtySample) {
  HV_REQUIRE_SHARED_HIVES();
  ScratchDir dir;
  std::vector<std::string> all = BrokenHives();
  // The other dirty samples have logs that recover them (recovery_test.cpp).
  all.push_back("windows/SECURITY");
  for (const auto& f : SampleHives(all)) {
    const auto s = CompactHiveFile(f, dir / "out");
    EXPECT_FALSE(s) << f;
    EXPECT_NE(s.message.find(f.string()), std::string::npos) << s.message;
    EXPECT_FALSE(std::filesystem::exists(dir / "out")) << f;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(RegfCompact, DiffFindsChangedValuesAndTimestamps) {
  regf::FixtureBuilder b1 = SmallFixture(), b2 = SmallFixture();
  b2.Root().Find("A")->SetDword("Number", 8);
  b2.Root().Find("B\\C")->SetTimestamp(5);
  const Hive h1 = Hive::FromBytes(b1.Build(), "one"), h2 = Hive::FromBytes(b2.Build(), "two");
  const auto d = regf::CompareTrees(h1, h2, 10);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_NE(d[0].find("A: value 1 \"Number\": data differs"), std::string::npos) << d[0];
  EXPECT_NE(d[1].find("B\\C: timestamp"), std::string::npos) << d[1];
}

TEST(RegfInfo, CountsKeysValuesAndFreeSpace) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().AddGarbage(0.4).WriteFile(dir / "h"));
  regf::HiveInfo info;
  ASSERT_TRUE(regf::ReadHiveInfo(dir / "h", info));
  EXPECT_EQ(info.keys, 4u);
  EXPECT_EQ(info.values, 3u);
  EXPECT_GT(info.freeBytes, 0u);
  EXPECT_NE(regf::FormatHiveInfo(info).find("Format version:     1.5"), std::string::npos);
}

// Each version's copy holds the subkey lists Windows writes for it: li in 1.2, lf in 1.3 and
// 1.4, lh from 1.5, under an ri when long; and no big data before 1.4.
TEST(RegfCompact, WritesTheListsOfTheSourcesVersion) {
  ScratchDir dir;
  for (std::uint32_t minor : {2u, 3u, 4u, 5u, 6u}) {
    SCOPED_TRACE(minor);
    regf::FixtureBuilder b(minor);
    auto& many = b.Root().AddKey("Many");
    for (int i = 0; i < 600; ++i) many.AddKey("K" + std::to_string(1000 + i));
    many.SetBinary("Blob", std::vector<std::uint8_t>(40000, 7));
    const auto in = dir / ("in" + std::to_string(minor)), out = dir / ("out" + std::to_string(minor));
    ASSERT_TRUE(b.WriteFile(in));
    ASSERT_TRUE(CompactHiveFile(in, out));
    const Hive h = Hive::Load(out);
    EXPECT_EQ(h.Base().minor, minor);
    EXPECT_TRUE(regf::CheckHive(out).empty());
    const char* leaf = minor < 3 ? "li" : (minor < 5 ? "lf" : "lh");
    std::vector<std::uint32_t> kids;
    h.AppendSubkeys(h.Key(h.Base().rootCell), kids);
    const regf::KeyNode m = h.Key(kids.at(0));
    const regf::Span ri = h.Cell(m.subkeyList, "test");
    ASSERT_TRUE(regf::HasSignature(ri.data, "ri"));
    for (std::uint32_t i = 0; i < regf::Rd16(ri.data + regf::list::kCount); ++i) {
      const std::uint32_t at = regf::Rd32(ri.data + regf::list::kElements + i * regf::list::kOffsetElement);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.Cell(at, "test").data), 2), leaf) << "leaf " << i;
    }
    std::vector<std::uint32_t> values;
    h.AppendValues(m, values);
    const regf::ValueRec blob = h.Value(values.at(0));
    EXPECT_EQ(regf::HasSignature(h.Cell(blob.dataOffset, "test").data, "db"), minor > 3);
  }
}

}  // namespace
}  // namespace hv::test

namespace hv::test {
namespace {

std::atomic<bool> g_stopAtImage{false};

// Stop is answered inside a hive: set before the work, while the copy is built, or while it is
// written, the compaction ends stopped, with neither the copy nor its temporary file left.
TEST(RegfCompact, StopEndsTheWorkInsideAHiveAndLeavesNothing) {
  ScratchDir dir;
  ASSERT_TRUE(regf::GenerateFragmentedHive(dir / "in", 2u << 20));
  auto onlyTheSource = [&] {
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
  };
  std::atomic<bool> stop{true};
  regf::Status s = CompactHiveFile(dir / "in", dir / "out", nullptr, nullptr, &stop);
  EXPECT_FALSE(s.ok);
  EXPECT_TRUE(s.stopped) << s.message;
  onlyTheSource();

  g_stopAtImage = false;
  regf::CompactHooks hooks;
  hooks.piece = [](std::uint64_t, std::uint8_t*, std::size_t) { g_stopAtImage = true; };
  regf::SetCompactHooksForTest(&hooks);
  s = CompactHiveFile(dir / "in", dir / "out", nullptr, nullptr, &g_stopAtImage);
  regf::SetCompactHooksForTest(nullptr);
  EXPECT_TRUE(s.stopped) << s.message;
  onlyTheSource();

  // An unset flag changes nothing; a refusal for another reason is not a stop.
  stop = false;
  s = CompactHiveFile(dir / "in", dir / "out", nullptr, nullptr, &stop);
  EXPECT_TRUE(s.ok) << s.message;
  s = CompactHiveFile(dir / "in", dir / "out", nullptr, nullptr, &stop);
  EXPECT_FALSE(s.ok);
  EXPECT_FALSE(s.stopped);
}

}  // namespace
}  // namespace hv::test
