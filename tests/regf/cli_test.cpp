// Exit codes of the hivora-hive tool: 0 success, 1 refused or "no", 2 usage.
#include <cstdlib>

#include "regf_test_util.h"

namespace hv::test {
namespace {

// The tool's path is the build system's (forward slashes, and under Wine a host path without a
// drive); cmd.exe needs a native one. cmd /c also strips the first and the last quote of a line
// that holds more than two, hence the quotes around the whole line there.
int Tool(const std::string& args) {
#ifdef _WIN32
  const std::string tool = std::filesystem::absolute(HIVORA_HIVE_TOOL).make_preferred().string();
  const std::string cmd = "\"\"" + tool + "\" " + args + " >NUL 2>&1\"";
  return std::system(cmd.c_str());
#else
  const std::string cmd = std::string("\"") + HIVORA_HIVE_TOOL + "\" " + args + " >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return (rc >> 8) & 0xFF;
#endif
}
std::string Q(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

TEST(RegfCli, UsageErrorsExitTwo) {
  EXPECT_EQ(Tool(""), 2);
  EXPECT_EQ(Tool("frobnicate x"), 2);
  EXPECT_EQ(Tool("compact onlyone"), 2);
  EXPECT_EQ(Tool("check"), 2);
  EXPECT_EQ(Tool("diff a"), 2);
  EXPECT_EQ(Tool("info a b"), 2);
}

TEST(RegfCli, HelpAndVersionExitZero) {
  EXPECT_EQ(Tool("--help"), 0);
  EXPECT_EQ(Tool("-h"), 0);
  EXPECT_EQ(Tool("--version"), 0);
}

TEST(RegfCli, RefusalsExitOne) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().SetSequenceNumbers(4, 3).WriteFile(dir / "dirty"));
  ASSERT_TRUE(SmallFixture().WriteFile(dir / "clean"));
  WriteBytes(dir / "existing", {1});
  EXPECT_EQ(Tool("compact " + Q(dir / "dirty") + " " + Q(dir / "out")), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
  EXPECT_EQ(Tool("compact " + Q(dir / "clean") + " " + Q(dir / "existing")), 1);
  EXPECT_EQ(ReadBytes(dir / "existing"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(Tool("check " + Q(dir / "dirty")), 1);
  EXPECT_EQ(Tool("info " + Q(dir / "missing")), 1);
  EXPECT_EQ(Tool("diff " + Q(dir / "clean") + " " + Q(dir / "dirty")), 1);
}

TEST(RegfCli, CompactCheckDiffInfoSucceed) {
  ScratchDir dir;
  ASSERT_TRUE(SmallFixture().AddGarbage(0.5).WriteFile(dir / "in"));
  auto other = SmallFixture();
  other.Root().AddKey("Extra");
  ASSERT_TRUE(other.WriteFile(dir / "other"));
  EXPECT_EQ(Tool("compact " + Q(dir / "in") + " " + Q(dir / "out")), 0);
  EXPECT_EQ(Tool("check " + Q(dir / "out")), 0);
  EXPECT_EQ(Tool("diff " + Q(dir / "in") + " " + Q(dir / "out")), 0);
  EXPECT_EQ(Tool("diff " + Q(dir / "in") + " " + Q(dir / "other")), 1);
  EXPECT_EQ(Tool("info " + Q(dir / "out")), 0);
  EXPECT_EQ(Tool("info " + Q(dir / "dirty-does-not-exist")), 1);
}

}  // namespace
}  // namespace hv::test
