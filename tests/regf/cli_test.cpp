// Exit codes of the hivora-hive tool: 0 success, 1 refused or "no", 2 usage.
#include <cstdlib>

#include "regf_test_util.h"

namespace hv::test {
namespace {

// The tool's path is the build system's (forward slashes, and under Wine a host path without a
// drive); cmd.exe needs a native one. cmd /c also strips the first and the last quote of a line
// that holds more than two, hence the quotes around the whole line there.
// `output`: the file that receives what the tool prints (both streams); none: discarded.
int Tool(const std::string& args, const std::filesystem::path& output = {}) {
#ifdef _WIN32
  const std::string tool = std::filesystem::absolute(HIVORA_HIVE_TOOL).make_preferred().string();
  const std::string sink = output.empty() ? std::string("NUL") : "\"" + output.string() + "\"";
  const std::string cmd = "\"\"" + tool + "\" " + args + " >" + sink + " 2>&1\"";
  return std::system(cmd.c_str());
#else
  const std::string sink = output.empty() ? std::string("/dev/null") : "\"" + output.string() + "\"";
  const std::string cmd = std::string("\"") + HIVORA_HIVE_TOOL + "\" " + args + " >" + sink + " 2>&1";
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

// A dirty hive beside logs that recover it: every command works on the recovered hive; check
// calls the file itself not sound and says what the logs can do.
TEST(RegfCli, DirtyHiveWithLogs) {
  ScratchDir dir;
  const auto before = SmallFixture().Build();
  auto after = SmallFixture();
  after.Root().AddKey("Added").SetDword("New", 1);
  const auto image = after.Build();
  WriteBytes(dir / "hive", regf::WithSequenceNumbers(before, 8, 7));
  WriteBytes(dir / "hive.LOG1", regf::BuildNewFormatLog(before, 7, {regf::LogEntryBetween(before, image, 7)}));
  WriteBytes(dir / "expected", image);
  const auto out = dir / "out.txt";

  EXPECT_EQ(Tool("recover " + Q(dir / "hive") + " " + Q(dir / "recovered"), out), 0);
  EXPECT_NE(ReadWholeFile(out).find("recovered from hive.LOG1: 1 entry, sequence numbers 7"), std::string::npos)
      << ReadWholeFile(out);
  EXPECT_EQ(Tool("check " + Q(dir / "recovered")), 0);
  EXPECT_EQ(Tool("diff " + Q(dir / "recovered") + " " + Q(dir / "expected")), 0);
  EXPECT_EQ(Tool("diff " + Q(dir / "hive") + " " + Q(dir / "expected")), 0);
  EXPECT_EQ(Tool("compact " + Q(dir / "hive") + " " + Q(dir / "compact")), 0);
  EXPECT_EQ(Tool("diff " + Q(dir / "compact") + " " + Q(dir / "expected")), 0);
  EXPECT_EQ(Tool("recover " + Q(dir / "hive") + " " + Q(dir / "recovered")), 1);  // OUT exists

  EXPECT_EQ(Tool("check " + Q(dir / "hive"), out), 1);
  const std::string check = ReadWholeFile(out);
  EXPECT_NE(check.find("the hive is dirty (primary sequence number 8, secondary 7)"), std::string::npos) << check;
  EXPECT_NE(check.find("its logs recover it from hive.LOG1: 1 entry"), std::string::npos) << check;

  EXPECT_EQ(Tool("info " + Q(dir / "hive"), out), 0);
  const std::string info = ReadWholeFile(out);
  EXPECT_NE(info.find("(dirty)"), std::string::npos) << info;
  EXPECT_NE(info.find("hive.LOG1 ("), std::string::npos) << info;
  EXPECT_NE(info.find("sequence numbers 7"), std::string::npos) << info;

  EXPECT_EQ(Tool("--help", out), 0);
  EXPECT_NE(ReadWholeFile(out).find("recover IN OUT"), std::string::npos);
}

TEST(RegfCli, DirtyHiveWithoutLogsIsRefusedEverywhere) {
  ScratchDir dir;
  WriteBytes(dir / "hive", regf::WithSequenceNumbers(SmallFixture().Build(), 8, 7));
  WriteBytes(dir / "hive.LOG2", {});
  const auto out = dir / "out.txt";
  EXPECT_EQ(Tool("recover " + Q(dir / "hive") + " " + Q(dir / "r"), out), 1);
  EXPECT_NE(ReadWholeFile(out).find("no transaction log can recover it"), std::string::npos) << ReadWholeFile(out);
  EXPECT_NE(ReadWholeFile(out).find("hive.LOG2 (0 bytes): empty"), std::string::npos) << ReadWholeFile(out);
  EXPECT_EQ(Tool("check " + Q(dir / "hive"), out), 1);
  EXPECT_NE(ReadWholeFile(out).find("Recovery:           not possible"), std::string::npos) << ReadWholeFile(out);
  EXPECT_FALSE(std::filesystem::exists(dir / "r"));
}

}  // namespace
}  // namespace hv::test
