// The Linux program as a user runs it: options, machine description,
// scripted analysis and exit codes, on a real offline installation.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "hive/hive_primitives.h"
#include "hivora_version.h"
#include "platform/offline/demo_machine.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

using test::ProgramRun;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(offline::EnsureDemoMachine(dir / "c", &error)) << error;
    Write(dir / "machine.ini",
          "[Machine]\nVersion=6.1\n[Drives]\nC=fixed,\\Device\\HarddiskVolume2,c\n");
  }

  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

  // Runs the program with its own settings folder; stdout and stderr together.
  ProgramRun Hivora(const std::string& arguments) const {
    const std::string command = "XDG_CONFIG_HOME='" + (dir / "config").string() + "' XDG_DATA_HOME='" +
                                (dir / "data").string() + "' '" HIVORA_PROGRAM "' " + arguments + " 2>&1";
    return test::RunShell(command);
  }

  std::int64_t SizeOf(const char* relative) const {
    return static_cast<std::int64_t>(fs::file_size(dir / "c" / relative));
  }

  test::TempDir dir;
};

TEST_F(ProgramTest, BadMachineDescriptionEndsWithItsLineAndExitCode2) {
  Write(dir / "bad.ini", "[Machine]\nVersion=6.1\n[Drives]\nC=floppy,\\Device\\HarddiskVolume2,c\n");
  const ProgramRun run = Hivora("--machine '" + (dir / "bad.ini").string() + "' --script /dev/null");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find("bad.ini:4"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("FORM"), std::string::npos) << "no window before the refusal";
}

TEST_F(ProgramTest, MissingRootEndsWithExitCode2) {
  const ProgramRun run = Hivora("--root '" + (dir / "none").string() + "' --script /dev/null");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find("none"), std::string::npos) << run.out;
}

TEST_F(ProgramTest, ScriptedAnalysisShowsTheFiguresOfTheFiles) {
  Write(dir / "script", "click bAnalyzeRegistry\nwait\ndump\n");
  // Options may stand anywhere on the line.
  const ProgramRun run = Hivora("--script '" + (dir / "script").string() + "' --machine '" +
                         (dir / "machine.ini").string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.out;

  const char* hives[] = {"Windows/System32/config/SYSTEM", "Windows/System32/config/SOFTWARE",
                         "Windows/System32/config/DEFAULT", "Windows/System32/config/SECURITY",
                         "Windows/System32/config/SAM"};
  std::int64_t total = 0;
  for (const char* hive : hives) total += SizeOf(hive);
  for (const auto& entry : fs::recursive_directory_iterator(dir / "c" / "Users")) {
    const std::string name = entry.path().filename().string();
    if (name == "NTUSER.DAT" || name == "UsrClass.dat") total += static_cast<std::int64_t>(entry.file_size());
  }
  EXPECT_NE(run.out.find("lCurrentRegistrySize \"" + SizeText(total) + "\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("lvMain[0] \"\\\\REGISTRY\\\\MACHINE\\\\SYSTEM\" \"" +
                         SizeText(SizeOf("Windows/System32/config/SYSTEM")) + "\""),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("lvMain[6] "), std::string::npos) << "seven hives, users' included";
  EXPECT_EQ(run.out.find("\"n/a\""), std::string::npos) << "every hive was compacted";

  // Closing at the end of the script deleted the copies and saved the settings.
  EXPECT_FALSE(fs::exists(dir / "c/Windows/System32/config/SYSTEM.hvx"));
  EXPECT_TRUE(fs::exists(dir / "config/talvix-hivora/options.ini"));
}

TEST_F(ProgramTest, ScanReportWritesTheFiguresIntoAHostFile) {
  const fs::path report = dir / "report.ini";
  Write(report, "[Other]\nKeep=1\n");
  const ProgramRun run = Hivora("--machine '" + (dir / "machine.ini").string() + "' /scan '" + report.string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  std::ifstream in(report);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[Other]\nKeep=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Scan Result]"), std::string::npos) << text;
  EXPECT_NE(text.find("Compact Percent="), std::string::npos) << text;
  EXPECT_NE(text.find("Time="), std::string::npos) << text;
}

TEST_F(ProgramTest, ARootWithoutHivesIsRefusedWithExitCode2) {
  fs::create_directories(dir / "nothing");
  const ProgramRun run = Hivora("--root '" + (dir / "nothing").string() + "' --script /dev/null");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find("no Windows installation"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("FORM"), std::string::npos) << "no window before the refusal";
  EXPECT_FALSE(fs::exists(dir / "nothing" / "ProgramData")) << "nothing of the program's before it is recognised";
}

TEST_F(ProgramTest, HelpAndVersionPrintToStdoutAndExitZero) {
  for (const char* option : {"--help", "-h", "--root /nowhere --help"}) {
    const ProgramRun run = Hivora(std::string(option) + " 2>/dev/null");
    EXPECT_EQ(run.exitCode, 0) << option;
    EXPECT_NE(run.out.find("Usage: hivora"), std::string::npos) << option << run.out;
    EXPECT_NE(run.out.find("Exit codes"), std::string::npos) << run.out;
  }
  const ProgramRun version = Hivora("--version 2>/dev/null");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_NE(version.out.find(std::string(" ") + HIVORA_VERSION + "\n"), std::string::npos) << version.out;
}

TEST_F(ProgramTest, AReportPathHoldingAQuoteIsUsedAsTheShellGaveIt) {
  const fs::path report = dir / "a\"b c.ini";
  const ProgramRun run = Hivora("--machine '" + (dir / "machine.ini").string() + "' /Scan '" + report.string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(fs::exists(report)) << run.out;
  EXPECT_FALSE(fs::exists(dir / "ab"));
}

}  // namespace
}  // namespace hv
