// The names compaction writes under: the temporary name fits wherever the target's name fits,
// and a target that exists in any form is refused and left as it was.
#include "regf/compact_hooks.h"
#include "regf/compare.h"
#include "regf/regf.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

using regf::CompactHiveFile;

std::filesystem::path g_temp;
void RecordTemp(const std::filesystem::path& temp) { g_temp = temp; }

TEST(RegfOutputNames, ALongValidTargetNameCompacts) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  const std::string name = std::string(246, 'o') + ".hvx";  // 250 characters, within every limit
  const auto s = CompactHiveFile(dir / "in.hive", dir / name);
  ASSERT_TRUE(s) << s.message;
  EXPECT_TRUE(regf::CompareTrees(regf::Hive::Load(dir / "in.hive"), regf::Hive::Load(dir / name), 5).empty());
}

TEST(RegfOutputNames, TheTemporaryNameIsNoLongerThanTheTargetsAndInItsFolder) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  regf::CompactHooks hooks;
  hooks.written = RecordTemp;
  regf::SetCompactHooksForTest(&hooks);
  for (const std::string& target : std::vector<std::string>{"a", "abc", "copy.hive", std::string(250, 'x')}) {
    g_temp.clear();
    const auto s = CompactHiveFile(dir / "in.hive", dir / target);
    EXPECT_TRUE(s) << target.size() << ": " << s.message;
    EXPECT_EQ(g_temp.parent_path(), dir.path());
    EXPECT_LE(g_temp.filename().native().size(), target.size());
    EXPECT_FALSE(std::filesystem::exists(g_temp)) << "the temporary file is left behind";
  }
  regf::SetCompactHooksForTest(nullptr);
}

TEST(RegfOutputNames, NeverTouchesAFileUnderATemporaryName) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  for (const char* taken : {"~hv1.tmp", "~hv2.tmp"}) WriteBytes(dir / taken, {'k', 'e', 'e', 'p'});
  ASSERT_TRUE(CompactHiveFile(dir / "in.hive", dir / "out.hive"));
  for (const char* taken : {"~hv1.tmp", "~hv2.tmp"}) {
    EXPECT_EQ(ReadBytes(dir / taken), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
  }
}

#ifndef _WIN32
TEST(RegfOutputNames, ADanglingSymlinkAsTargetIsRefusedAndLeftAsItWas) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "in.hive"));
  std::filesystem::create_symlink(dir / "nowhere", dir / "out.hive");
  const auto s = CompactHiveFile(dir / "in.hive", dir / "out.hive");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("already exists"), std::string::npos) << s.message;
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "out.hive"));
  EXPECT_EQ(std::filesystem::read_symlink(dir / "out.hive"), dir / "nowhere");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
}
#endif

}  // namespace
}  // namespace hv::test
