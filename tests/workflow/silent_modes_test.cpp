// The unattended modes "/Silent" and "/Scan", run from the command line
// through the main window's message loop, and the report's time stamp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app_fixture.h"
#include "workflow/scan_report.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;
using Keys = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kReport = "C:\\Reports\\scan.ini";

class SilentModesTest : public AppTest {
 protected:
  SilentModesTest() {
    AddMachine();
    fake.SetDefaultSaveSize(30000);  // every copy passes the SOFTWARE check
    fake.SetLocalTime(SystemTime{2026, 12, 1, 7, 8, 15, 30, 0});
    fake.SetDateTimeFormat(
        [](const SystemTime& t) { return std::to_string(t.wDay) + "." + std::to_string(t.wMonth) + "." + std::to_string(t.wYear); },
        [](const SystemTime& t) { return std::to_string(t.wHour) + ":" + std::to_string(t.wMinute) + ":" + std::to_string(t.wSecond); });
  }

  // Starts the program with `arguments` and runs it until it ends.
  void RunProgram(const std::string& arguments) {
    fake.SetCommandLine("\"C:\\Program Files\\Talvix Hivora\\hivora.exe\" " + arguments);
    CreateMain();
    tk.RunMain(*main);
    EXPECT_FALSE(tk.Stalled());
    EXPECT_TRUE(main->Closed());
    EXPECT_TRUE(tk.ApplicationHidden());
    EXPECT_FALSE(main->Visible());
  }
  void RejectSoftwareCopy() {
    fake.SetSaveHook([this](const std::string& hiveKey, const std::string& target) {
      fake.CreateFileOfSize(target, hiveKey.find("SOFTWARE") != std::string::npos ? 100 : 30000);
      return static_cast<LSTATUS>(err::kSuccess);
    });
  }
  Keys ReportKeys(const std::string& path = kReport) {
    const auto ini = ParseIni(fake.ReadContent(path));
    const IniSection* section = FindSection(ini, kScanResultSection);
    return section != nullptr ? section->keys : Keys{};
  }
};

// --- Failures first.

TEST_F(SilentModesTest, SilentWithRejectedSoftwareCopyShowsTheMessageAndNeitherReplacesNorRestarts) {
  RejectSoftwareCopy();
  RunProgram("/Silent");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Failed to analyze the registry!\nSOFTWARE: its copy is under a quarter of the hive"});
  EXPECT_TRUE(fake.Replaces().empty());
  EXPECT_TRUE(fake.ExitCalls().empty());
}

TEST_F(SilentModesTest, ScanToAnUnwritableReportSaysSoLeavesTheFileAndEnds) {
  fake.CreateFileWithContent(kReport, "[Keep]\r\na=1\r\n");
  fake.SetUnwritable(kReport);
  RunProgram("/Scan C:\\Reports\\scan.ini");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Unable to write to C:\\Reports\\scan.ini"});
  EXPECT_EQ(fake.ReadContent(kReport), "[Keep]\r\na=1\r\n");
}

TEST_F(SilentModesTest, ScanToAMissingFolderSaysSoAndWritesNothing) {
  RunProgram("/Scan C:\\NoSuchFolder\\scan.ini");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Unable to write to C:\\NoSuchFolder\\scan.ini"});
  EXPECT_FALSE(fake.Exists("C:\\NoSuchFolder\\scan.ini"));
  EXPECT_FALSE(fake.Exists("C:\\NoSuchFolder"));
}

TEST_F(SilentModesTest, ScanWithRejectedSoftwareCopyReportsEmptyFigures) {
  RejectSoftwareCopy();
  fake.CreateFileWithContent(kReport, "");
  RunProgram("/Scan C:\\Reports\\scan.ini");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Failed to analyze the registry!\nSOFTWARE: its copy is under a quarter of the hive"});
  EXPECT_EQ(ReportKeys(), (Keys{{"Current Size", ""}, {"New Size", ""}, {"Size Reduction", ""},
                                {"Compact Percent", ""}, {"Time", "7.12.2026 8:15:30"}}));
}

// --- Going through.

TEST_F(SilentModesTest, SilentAfterAnAcceptedAnalysisReplacesAndRestartsWithoutAnyDialog) {
  RunProgram("/sIlEnT");
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(fake.Replaces().size(), 3u);
  for (const auto& call : fake.Replaces()) EXPECT_EQ(call.result, 0);
  ASSERT_EQ(fake.ExitCalls().size(), 1u);
  // Nobody is at the desktop to answer a program that will not close.
  EXPECT_EQ(fake.ExitCalls()[0].flags, kEwxReboot | kEwxForce);
  // The pending copies are held by the system and survive the close.
  for (const auto& hive : ThreeHives()) EXPECT_TRUE(fake.Exists(hive.file + ".hvx"));
}

TEST_F(SilentModesTest, ScanWithoutReportPathAnalysesAndWritesNothing) {
  RunProgram("/Scan");
  EXPECT_EQ(fake.Saves().size(), 3u);
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(fake.Replaces().empty());
  EXPECT_TRUE(fake.ExitCalls().empty());
}

TEST_F(SilentModesTest, ScanReplacesOnlyItsSectionWithTheFiguresAsShown) {
  fake.CreateFileWithContent(kReport,
                             "[Before]\r\nx=1\r\n[Scan Result]\r\nCurrent Size=old\r\nStale=1\r\n[After]\r\ny=2\r\n");
  RunProgram("/SCAN C:\\Reports\\scan.ini ignored");

  EXPECT_TRUE(tk.MessageBoxLog().empty());
  const auto ini = ParseIni(fake.ReadContent(kReport));
  ASSERT_NE(FindSection(ini, "Before"), nullptr);
  ASSERT_NE(FindSection(ini, "After"), nullptr);
  EXPECT_EQ(FindSection(ini, "Before")->keys, (Keys{{"x", "1"}}));
  EXPECT_EQ(FindSection(ini, "After")->keys, (Keys{{"y", "2"}}));
  EXPECT_EQ(ReportKeys(), (Keys{{"Current Size", main->lCurrentRegistrySize.Caption()},
                                {"New Size", main->lNewRegistrySize.Caption()},
                                {"Size Reduction", main->lSizeReduction.Caption()},
                                {"Compact Percent", main->lCompactPercent.Caption()},
                                {"Time", "7.12.2026 8:15:30"}}));
  EXPECT_EQ(ReportKeys()[0].second, "137 KB");
  EXPECT_TRUE(fake.ExitCalls().empty());
}

TEST_F(SilentModesTest, ScanInAnotherLanguageStoresTheFiguresAsInEnglish) {
  fs::copy_file(fs::path(HIVORA_LANGUAGES_DIR) / "DLan_German.ini", fake.ProgramFolder() + "DLan_German.ini");
  std::ofstream(fake.ProgramFolder() + "options.ini") << "[Options]\r\nLan=German\r\n";
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SOFTWARE", 8000000);
  fake.SetDefaultSaveSize(2500000);
  fake.CreateFileWithContent(kReport, "");
  RunProgram("/Scan C:\\Reports\\scan.ini");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  EXPECT_EQ(main->lCurrentRegistrySize.Caption(), "7.872 KB");  // the window shows German figures
  EXPECT_EQ(main->lCompactPercent.Caption(), "6,9%");
  ASSERT_EQ(ReportKeys().size(), 5u);
  EXPECT_EQ(ReportKeys()[0].second, "7,872 KB");
  EXPECT_EQ(ReportKeys()[1].second, "7,325 KB");
  EXPECT_EQ(ReportKeys()[3].second, "6.9%");
}

TEST_F(SilentModesTest, ScanWithLowCompactPercentGivesNoAdvice) {
  // Each copy about 1% smaller than its hive.
  fake.SetSaveHook([this](const std::string& hiveKey, const std::string& target) {
    const std::uint64_t size = hiveKey.find("SOFTWARE") != std::string::npos ? 79000
                               : hiveKey.find("SYSTEM") != std::string::npos ? 39500
                                                                              : 19800;
    fake.CreateFileOfSize(target, size);
    return static_cast<LSTATUS>(err::kSuccess);
  });
  fake.CreateFileWithContent(kReport, "");
  RunProgram("/Scan C:\\Reports\\scan.ini");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  ASSERT_EQ(ReportKeys().size(), 5u);
  EXPECT_EQ(ReportKeys()[3].second, "1.2%");
}

TEST(ReportTimeStamp, LeavesTheTimeOutAtExactlyMidnight) {
  FakePlatform fake;
  ScopedPlatform scoped(&fake);
  fake.SetDateTimeFormat([](const SystemTime&) { return std::string("07/12/2026"); },
                         [](const SystemTime& t) { return std::to_string(t.wHour) + "h" + std::to_string(t.wMilliseconds); });
  EXPECT_EQ(ReportTimeStamp(SystemTime{2026, 12, 1, 7, 0, 0, 0, 0}), "07/12/2026");
  EXPECT_EQ(ReportTimeStamp(SystemTime{2026, 12, 1, 7, 0, 0, 0, 1}), "07/12/2026 0h1");
  EXPECT_EQ(ReportTimeStamp(SystemTime{2026, 12, 1, 7, 12, 0, 0, 0}), "07/12/2026 12h0");
}

}  // namespace
}  // namespace hv::test
