// Recovery of dirty hives from their transaction logs: the real samples, with what Windows
// itself made of two of them, and the refusals.
#include <gtest/gtest.h>

#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/recovery.h"
#include "overlay_agreement.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

using regf::Hive;
using regf::RecoveryReport;

struct DirtySample {
  const char* path;
  std::uint32_t entries, first, last;
  std::vector<std::string> used;
};

TEST(RegfRecovery, RecoversEveryDirtySampleWithLogs) {
  HV_REQUIRE_SHARED_HIVES();
  const DirtySample samples[] = {
      {"windows/SYSTEM_B", 24, 2107, 2130, {"SYSTEM_B.LOG1", "SYSTEM_B.LOG2"}},
      {"windows/UsrClass.dat", 14, 287, 300, {"UsrClass.dat.LOG1", "UsrClass.dat.LOG2"}},
      {"windows/transactions_NTUSER.DAT", 23, 566, 588, {"transactions_ntuser.dat.log1"}},
      {"yarp/NewDirtyHive1/NewDirtyHive", 4, 2, 5, {"NewDirtyHive.LOG1", "NewDirtyHive.LOG2"}},
  };
  for (const DirtySample& s : samples) {
    SCOPED_TRACE(s.path);
    const auto file = SharedHivesDir() / s.path;
    RecoveryReport r;
    const Hive h = regf::LoadHive(file, &r);
    ExpectOverlayAgreesWithImage(file);
    EXPECT_TRUE(r.dirty);
    EXPECT_TRUE(r.newFormat);
    EXPECT_EQ(r.entries, s.entries);
    EXPECT_EQ(r.firstSeq, s.first);
    EXPECT_EQ(r.lastSeq, s.last);
    EXPECT_EQ(r.used, s.used);
    EXPECT_EQ(h.Base().primarySeq, s.last);
    EXPECT_EQ(h.Base().secondarySeq, s.last);
    EXPECT_FALSE(h.Base().Dirty());
    regf::ValidateTree(h);
    // The logs changed something the primary file alone does not hold.
    const Hive raw = Hive::Load(file, regf::LoadOptions{true, false});
    EXPECT_FALSE(regf::CompareTrees(raw, h, 1).empty());
  }
}

// The recovered tree is what compaction copies, and the copy's sequence numbers never fall below
// the last entry applied, so no entry of the old logs can ever apply to it.
TEST(RegfRecovery, DirtySamplesCompactAndRecoverIntoSoundFiles) {
  HV_REQUIRE_SHARED_HIVES();
  const std::pair<const char*, std::uint32_t> samples[] = {{"windows/UsrClass.dat", 300},
                                                           {"windows/transactions_NTUSER.DAT", 588},
                                                           {"yarp/NewDirtyHive1/NewDirtyHive", 5},
                                                           {"yarp/OldDirtyHive/OldDirtyHive", 5},
                                                           {"windows/SYSTEM_B", 2130}};
  for (const auto& [path, seq] : samples) {
    SCOPED_TRACE(path);
    ScratchDir dir;
    const auto file = SharedHivesDir() / path;
    ASSERT_TRUE(regf::CompactHiveFile(file, dir / "compact")) << path;
    ASSERT_TRUE(regf::WriteRecoveredHiveFile(file, dir / "recovered")) << path;
    EXPECT_EQ(regf::CheckHive(dir / "compact"), std::vector<std::string>{});
    EXPECT_EQ(regf::CheckHive(dir / "recovered"), std::vector<std::string>{});
    const Hive compact = Hive::Load(dir / "compact");
    const Hive recovered = Hive::Load(dir / "recovered");
    EXPECT_EQ(compact.Base().primarySeq, seq);
    EXPECT_EQ(recovered.Base().primarySeq, seq);
    EXPECT_EQ(regf::CompareTrees(compact, regf::LoadHive(file), 3), std::vector<std::string>{});
    EXPECT_EQ(regf::CompareTrees(recovered, compact, 3), std::vector<std::string>{});
  }
}

TEST(RegfRecovery, RefusedDirtyHiveLeavesNoOutput) {
  HV_REQUIRE_SHARED_HIVES();
  ScratchDir dir;
  const auto file = SharedHivesDir() / "windows/SECURITY";
  const auto s = regf::WriteRecoveredHiveFile(file, dir / "out");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message.find("no transaction log was found beside it"), std::string::npos) << s.message;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// What Windows 10 made of the new-format sample and Windows 7 of the old-format one.
TEST(RegfRecovery, MatchesWhatWindowsRecovered) {
  HV_REQUIRE_SHARED_HIVES();
  const std::pair<const char*, const char*> pairs[] = {
      {"yarp/NewDirtyHive1/NewDirtyHive", "yarp/NewDirtyHive1/RecoveredHive_Windows10"},
      {"yarp/OldDirtyHive/OldDirtyHive", "yarp/OldDirtyHive/RecoveredHive_Windows7"},
  };
  for (const auto& [dirty, windows] : pairs) {
    SCOPED_TRACE(dirty);
    RecoveryReport r;
    const Hive ours = regf::LoadHive(SharedHivesDir() / dirty, &r);
    ExpectOverlayAgreesWithImage(SharedHivesDir() / dirty);
    const Hive theirs = Hive::Load(SharedHivesDir() / windows);
    EXPECT_EQ(regf::CompareTrees(ours, theirs, 5), std::vector<std::string>{});
    const Hive raw = Hive::Load(SharedHivesDir() / dirty, regf::LoadOptions{true, false});
    EXPECT_FALSE(regf::CompareTrees(raw, theirs, 1).empty());
  }
}

TEST(RegfRecovery, OldFormatSampleUsesItsFirstLog) {
  HV_REQUIRE_SHARED_HIVES();
  RecoveryReport r;
  const Hive h = regf::LoadHive(SharedHivesDir() / "yarp/OldDirtyHive/OldDirtyHive", &r);
  EXPECT_FALSE(r.newFormat);
  EXPECT_EQ(r.used, std::vector<std::string>{"OldDirtyHive.LOG1"});
  EXPECT_EQ(r.pageBytes, 64u * 512u);
  EXPECT_EQ(h.Base().primarySeq, 5u);
  // The empty .LOG2 beside it is listed and left out.
  ASSERT_EQ(r.logs.size(), 2u);
  EXPECT_EQ(r.logs[1], "OldDirtyHive.LOG2 (0 bytes): empty");
}

TEST(RegfRecovery, DirtyHiveWithoutLogsIsRefusedAndSaysSo) {
  HV_REQUIRE_SHARED_HIVES();
  const auto file = SharedHivesDir() / "windows/SECURITY";
  try {
    regf::LoadHive(file);
    FAIL() << "a dirty hive without logs was loaded";
  } catch (const regf::FormatError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(file.string()), std::string::npos) << msg;
    EXPECT_NE(msg.find("dirty (primary sequence number 107, secondary 106)"), std::string::npos) << msg;
    EXPECT_NE(msg.find("no transaction log was found beside it"), std::string::npos) << msg;
  }
}

}  // namespace
}  // namespace hv::test
