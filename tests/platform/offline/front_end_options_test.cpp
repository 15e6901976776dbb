#include "platform/offline/front_end_options.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

std::optional<FrontEndOptions> Parse(std::vector<const char*> args, std::string* error) {
  return ParseFrontEndOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(FrontEndOptionsTest, BadCommandLinesAreRefused) {
  std::string error;
  EXPECT_FALSE(Parse({"hivora", "--root"}, &error));
  EXPECT_EQ(error, "option --root needs a value");
  EXPECT_FALSE(Parse({"hivora", "--machine="}, &error));
  EXPECT_FALSE(Parse({"hivora", "--colour", "x"}, &error));
  EXPECT_NE(error.find("unknown option --colour"), std::string::npos);
  EXPECT_FALSE(Parse({"hivora", "--root", "a", "--root=b"}, &error));
  EXPECT_FALSE(Parse({"hivora", "--root", "a", "--machine", "m.ini"}, &error));
  EXPECT_EQ(error, "give --root or --machine, not both");
}

TEST(FrontEndOptionsTest, OptionsAnywhereAreTakenOut) {
  std::string error;
  auto o = Parse({"hivora", "/Scan", "--root=/mnt/win", "report.ini", "--script", "s.txt", "--", "--root"}, &error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->root, std::filesystem::path("/mnt/win"));
  EXPECT_EQ(o->script, std::filesystem::path("s.txt"));
  EXPECT_EQ(o->arguments, (std::vector<std::string>{"/Scan", "report.ini", "--root"}));
  EXPECT_EQ(o->programName, "hivora");
}

TEST(FrontEndOptionsTest, HelpAndVersionAreOptionsBeforeTheEndMarkerOnly) {
  std::string error;
  auto o = Parse({"hivora", "--root", "r", "-h"}, &error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->help);
  EXPECT_TRUE(o->arguments.empty());
  o = Parse({"hivora", "--version"}, &error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->version);
  EXPECT_FALSE(o->help);
  o = Parse({"hivora", "--", "-h", "--help"}, &error);
  ASSERT_TRUE(o) << error;
  EXPECT_FALSE(o->help);
  EXPECT_EQ(o->arguments, (std::vector<std::string>{"-h", "--help"}));
  const std::string usage = UsageText("hivora");
  for (const char* item : {"--root", "--machine", "--script", "--help", "-h", "--version", "/Silent", "/Scan",
                           "Exit codes", "  0 ", "  1 ", "  2 "}) {
    EXPECT_NE(usage.find(item), std::string::npos) << item;
  }
}

TEST(FrontEndOptionsTest, FactoryReportsBadMachinesAndBuildsGoodOnes) {
  test::TempDir dir;
  FrontEndOptions o;
  o.programName = "hivora";
  o.machine = dir / "m.ini";
  test::WriteWholeFile(*o.machine, "[Drives]\nC=fixed,\\Device\\HarddiskVolume1,nowhere\n");
  std::string error;
  EXPECT_FALSE(MakeOfflinePlatform(o, &error));
  EXPECT_EQ(error.find((dir / "m.ini").string() + ":2: folder"), 0u) << error;
  o.machine.reset();
  o.root = dir / "none";
  EXPECT_FALSE(MakeOfflinePlatform(o, &error));
  EXPECT_NE(error.find("not a folder"), std::string::npos);

  // Neither option: the demo machine, made on first use.
  o.root.reset();
  o.demoFolder = dir / "demo";
  o.programFolder = dir / "config";
  o.arguments = {"/Scan", "my report.ini"};
  auto os = MakeOfflinePlatform(o, &error);
  ASSERT_TRUE(os) << error;
  EXPECT_TRUE(std::filesystem::exists(dir / "demo" / "Windows" / "System32" / "config" / "SOFTWARE"));
  EXPECT_EQ(os->GetCommandLineA(), "hivora /Scan \"my report.ini\"");
  // The shell split them already: they reach the program as they are.
  o.arguments = {"/Scan", "a\"b c.ini"};
  os = MakeOfflinePlatform(o, &error);
  ASSERT_TRUE(os) << error;
  EXPECT_EQ(os->CommandLineArguments(), (std::vector<std::string>{"hivora", "/Scan", "a\"b c.ini"}));
  EXPECT_EQ(os->hivelist().size(), 8u);
}

}  // namespace
}  // namespace hv::offline
