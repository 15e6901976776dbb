// The offline session's checks that need no installation: the switches of
// a command line, a file to write, and the JSON of a run's results.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/live_command_line.h"
#include "app/offline_session.h"
#include "app/run_results.h"
#include "support/temp_dir.h"

namespace hv::app {
namespace {

std::optional<std::string> Check(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "hivora");
  return CheckSwitches(arguments);
}

TEST(CheckSwitchesTest, OnlyTheFirstArgumentIsASwitchAndScanTakesItsFile) {
  EXPECT_FALSE(Check({}));
  EXPECT_FALSE(Check({"/silent"}));
  EXPECT_FALSE(Check({"/SCAN", "r.ini"}));
  EXPECT_FALSE(Check({"/Scan", "/tmp/-r.ini"})) << "the argument after /Scan is a path, whatever it looks like";
  EXPECT_FALSE(Check({"word"})) << "a word that is no switch is not read";

  EXPECT_EQ(Check({"/Slient"}).value_or(""), "unknown switch /Slient (the switches are /Silent and /Scan FILE)");
  EXPECT_EQ(Check({"-Scan", "r.ini"}).value_or(""), "unknown switch -Scan (the switches are /Silent and /Scan FILE)");
  EXPECT_EQ(Check({"/Scan"}).value_or(""), "/Scan needs the report file: /Scan FILE");
  EXPECT_EQ(Check({"/Scan", ""}).value_or(""), "/Scan needs the report file: /Scan FILE");
  EXPECT_EQ(Check({"word", "/Silent"}).value_or(""), "the switch /Silent must be the first argument");
  EXPECT_EQ(Check({"/Silent", "-q"}).value_or(""), "unknown argument -q");
  EXPECT_EQ(Check({"/Scan", "r.ini", "more"}).value_or(""), "unexpected argument more after /Scan");
}

TEST(CheckWritableTest, AFileIsTriedWithoutBeingLeftBehind) {
  test::TempDir dir;
  const std::string fresh = (dir / "fresh.ini").string();
  EXPECT_FALSE(CheckWritable(fresh));
  EXPECT_FALSE(std::filesystem::exists(fresh)) << "a file that was not there is not left there";
  test::WriteWholeFile(dir / "kept.ini", "[Other]\nKeep=1\n");
  EXPECT_FALSE(CheckWritable((dir / "kept.ini").string()));
  EXPECT_EQ(test::ReadWholeFile(dir / "kept.ini"), "[Other]\nKeep=1\n");
  EXPECT_NE(CheckWritable((dir / "none" / "r.ini").string()).value_or("").find("No such file or directory"),
            std::string::npos);
  EXPECT_NE(CheckWritable(dir.path().string()).value_or("").find("is a folder"), std::string::npos);
}

TEST(ResultsJsonTest, EscapesTextAndCountsAHiveNotCompactedAtItsSize) {
  HiveResult copied{"SAM", "\\REGISTRY\\MACHINE\\SAM", "/c/SAM", 100, 60, "compacted", ""};
  HiveResult failed{"DEFAULT", "\\REGISTRY\\USER\\.DEFAULT", "/c/DEF\"AULT", 50, std::nullopt, "not compacted",
                    "no \"regf\" signature\n"};
  const std::string json = ResultsJson({copied, failed}, 3);
  EXPECT_NE(json.find("\"name\": \"\\\\REGISTRY\\\\MACHINE\\\\SAM\", \"file\": \"/c/SAM\", \"currentSize\": 100, "
                      "\"newSize\": 60, \"state\": \"compacted\", \"reason\": \"\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"file\": \"/c/DEF\\\"AULT\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"newSize\": null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"reason\": \"no \\\"regf\\\" signature\\u000a\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"totals\": {\"currentSize\": 150, \"newSize\": 110}"), std::string::npos) << json;
  EXPECT_NE(json.find("\"exitCode\": 3"), std::string::npos) << json;
  EXPECT_NE(ResultsJson({}, 1).find("\"hives\": [],"), std::string::npos);
}

std::optional<LiveCommandLine> Live(std::vector<std::string> arguments, std::string* problem) {
  arguments.insert(arguments.begin(), "hivora.exe");
  return TakeLiveOptions(arguments, problem);
}

TEST(TakeLiveOptionsTest, JsonIsTakenOutWhereverItStandsAndTheRestKeepsItsOrder) {
  std::string problem;
  auto line = Live({"/Scan", "r.ini", "--json", "out.json"}, &problem);
  ASSERT_TRUE(line) << problem;
  EXPECT_EQ(line->arguments, (std::vector<std::string>{"hivora.exe", "/Scan", "r.ini"}));
  EXPECT_EQ(line->json.value_or(""), "out.json");
  line = Live({"--json=a b.json", "/Silent"}, &problem);
  ASSERT_TRUE(line) << problem;
  EXPECT_EQ(line->arguments, (std::vector<std::string>{"hivora.exe", "/Silent"}));
  EXPECT_EQ(line->json.value_or(""), "a b.json");
  line = Live({"/Scan", "r.ini", "--json"}, &problem);
  EXPECT_FALSE(line);
  EXPECT_EQ(problem, "option --json needs a value");
  line = Live({"/Silent"}, &problem);
  ASSERT_TRUE(line);
  EXPECT_FALSE(line->json);
  EXPECT_FALSE(Live({"--json="}, &problem));
  EXPECT_EQ(problem, "option --json needs a value");
  EXPECT_FALSE(Live({"--json", "a", "--json=b"}, &problem));
  EXPECT_EQ(problem, "option --json is given twice");
  line = Live({"--jsonx", "v"}, &problem);
  ASSERT_TRUE(line) << "only --json itself is taken";
  EXPECT_EQ(line->arguments.size(), 3u);
}

TEST(LiveHiveResultsTest, TheWindowsRecordBecomesEachHivesStateAndReason) {
  EXPECT_TRUE(LiveHiveResults(RunRecord{}).empty()) << "no analysis, no hives";
  RunRecord record;
  record.lastAnalysis = AnalysisRecord{true, "", {}};
  auto& hives = record.lastAnalysis->hives;
  hives.push_back({"\\REGISTRY\\MACHINE\\SAM", "\\Device\\HarddiskVolume1\\SAM", 100, 60, true, "", {}});
  hives.push_back({"\\REGISTRY\\MACHINE\\SECURITY", "S", 50, 0, false, "Access is denied", {}});
  hives.push_back({"\\REGISTRY\\MACHINE\\BCD", "B", 40, 0, false, "", {}});
  hives.push_back({"\\REGISTRY\\MACHINE\\SYSTEM", "Y", 80, 30, true, "", true});
  hives.push_back({"\\REGISTRY\\MACHINE\\SOFTWARE", "W", 90, 45, true, "", false});
  const std::vector<HiveResult> results = LiveHiveResults(record);
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[0].label, "SAM");
  EXPECT_EQ(results[0].file, "\\Device\\HarddiskVolume1\\SAM");
  EXPECT_EQ(results[0].state, "compacted");
  EXPECT_EQ(results[0].newSize, std::optional<std::int64_t>(60));
  EXPECT_EQ(results[0].reason, "");
  EXPECT_EQ(results[1].state, "not compacted");
  EXPECT_FALSE(results[1].newSize) << "a hive without a copy has no new size";
  EXPECT_EQ(results[1].reason, "Access is denied");
  EXPECT_EQ(results[2].reason, "the copy could not be made") << "a reason is never empty";
  EXPECT_EQ(results[3].state, "compacted");
  EXPECT_EQ(results[3].reason, "to be replaced at the restart");
  EXPECT_EQ(results[4].state, "left alone");
  EXPECT_EQ(results[4].reason, "the system refused to replace it at the restart");
  EXPECT_NE(ResultsJson(results, 0).find("\"totals\": {\"currentSize\": 360, \"newSize\": 225}"), std::string::npos)
      << "a hive without a copy counts at its size";
}

}  // namespace
}  // namespace hv::app
