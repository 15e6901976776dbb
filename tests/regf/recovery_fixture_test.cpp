// Recovery by Windows' rules on logs the fixture builder writes: the shapes the samples do not
// show, and hostile logs.
#include <gtest/gtest.h>

#include "regf/compare.h"
#include "regf/file_view.h"
#include "regf/log_file.h"
#include "regf/log_set.h"
#include "regf/recovery.h"
#include "overlay_agreement.h"
#include "regf_test_util.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace hv::test {
namespace {

using regf::FixtureLogEntry;
using regf::Hive;
using regf::RecoveryReport;
using Bytes = std::vector<std::uint8_t>;

const std::uint64_t kStamp = regf::FileTimeOf(2024, 3, 1);

// Bytes the log reader reads of a log found beside a hive.
[[maybe_unused]] std::uint64_t BytesReadByTheLogReader(const regf::FoundLog& log) {
  struct Counting final : regf::ByteSource {
    const regf::ByteSource& inner;
    mutable std::uint64_t read = 0;
    explicit Counting(const regf::ByteSource& b) : inner(b) {}
    std::uint64_t Size() const override { return inner.Size(); }
    int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const override {
      const int e = inner.ReadAt(offset, data, size, got);
      read += got;
      return e;
    }
  };
  if (log.file == nullptr) return 0;
  const regf::FileBytes file(log.file, log.size);
  const Counting counting(file);
  regf::ReadLogFile(counting);
  return counting.read;
}

// State n of a hive that gains one key per state; `big` values make it grow by whole bins.
Bytes State(int n, bool big = false) {
  regf::FixtureBuilder b(5);
  b.SetLastWritten(kStamp);
  b.Root().AddKey("Base").SetString("Name", "value");
  for (int i = 0; i < n; ++i) {
    b.Root().AddKey("Key" + std::to_string(i)).SetBinary("Blob", Bytes(big ? 20000 : 64, static_cast<std::uint8_t>(i)));
  }
  return b.Build();
}

// Entries turning State(from) into State(to), numbered from `seq`.
std::vector<FixtureLogEntry> Entries(int from, int to, std::uint32_t seq, bool big = false) {
  std::vector<FixtureLogEntry> out;
  for (int i = from; i < to; ++i) out.push_back(regf::LogEntryBetween(State(i, big), State(i + 1, big), seq++));
  return out;
}

class RegfRecoveryLogs : public ::testing::Test {
 protected:
  std::filesystem::path Hive(const std::string& name = "HIVE") const { return Dir() / name; }
  void Put(const std::string& name, const Bytes& bytes) { WriteBytes(Dir() / name, bytes); }
  // A dirty primary: State(0) with sequence numbers 11/10.
  void PutPrimary(bool big = false) { Put("HIVE", regf::WithSequenceNumbers(State(0, big), 11, 10)); }
  // Every recovery here is also made as an overlay, which must agree with the image.
  regf::Hive Load(RecoveryReport& r) {
    ExpectOverlayAgreesWithImage(Hive());
    return regf::LoadHive(Hive(), &r);
  }
  std::string Refusal() {
    ExpectOverlayAgreesWithImage(Hive());
    try {
      regf::LoadHive(Hive());
    } catch (const regf::FormatError& e) {
      return e.what();
    }
    return "(loaded)";
  }
  static void ExpectTree(const regf::Hive& h, const Bytes& state) {
    EXPECT_EQ(regf::CompareTrees(h, regf::Hive::FromBytes(state, "expected"), 3), std::vector<std::string>{});
  }

  // Starts over in an empty folder.
  void Fresh() { scratch_ = std::make_unique<ScratchDir>(); }
  const std::filesystem::path& Dir() const { return scratch_->path(); }

  std::unique_ptr<ScratchDir> scratch_ = std::make_unique<ScratchDir>();
};

TEST_F(RegfRecoveryLogs, ChainSplitAcrossBothLogsInEitherOrder) {
  for (bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "earlier entries in .LOG2" : "earlier entries in .LOG1");
    Fresh();
    PutPrimary();
    auto later = Entries(2, 4, 12);
    later.back().flags = 1;
    Put(swapped ? "HIVE.LOG2" : "HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10)));
    Put(swapped ? "HIVE.LOG1" : "HIVE.LOG2", regf::BuildNewFormatLog(State(0), 12, later));
    RecoveryReport r;
    const regf::Hive h = Load(r);
    ExpectTree(h, State(4));
    EXPECT_EQ(r.entries, 4u);
    EXPECT_EQ(r.firstSeq, 10u);
    EXPECT_EQ(r.lastSeq, 13u);
    EXPECT_EQ(r.used, (std::vector<std::string>{swapped ? "HIVE.LOG2" : "HIVE.LOG1", swapped ? "HIVE.LOG1" : "HIVE.LOG2"}));
    EXPECT_EQ(h.Base().primarySeq, 13u);
    EXPECT_EQ(h.Base().secondarySeq, 13u);
    EXPECT_EQ(regf::Rd32(h.Data() + regf::base::kFlags) & 1u, 1u);  // flag bit 0 from the last entry
  }
}

TEST_F(RegfRecoveryLogs, BadHashInTheMiddleKeepsTheEntriesBeforeIt) {
  PutPrimary();
  Bytes log = regf::BuildNewFormatLog(State(0), 10, Entries(0, 4, 10));
  const regf::LogFile parsed = regf::ReadLogFile(log.data(), log.size());
  ASSERT_EQ(parsed.entries.size(), 4u);
  log[parsed.entries[2].pages.front().at + 100] ^= 0xFF;
  Put("HIVE.LOG1", log);
  RecoveryReport r;
  ExpectTree(Load(r), State(2));
  EXPECT_EQ(r.entries, 2u);
  EXPECT_EQ(r.lastSeq, 11u);
  EXPECT_NE(r.stopped.find("entry 12 has a wrong hash"), std::string::npos) << r.stopped;
}

// When no entry of the log with the earliest entries applies, the other log holding the same
// entries is used, whichever slot holds which.
TEST_F(RegfRecoveryLogs, FirstEntryFailingInOneLogFallsBackToTheOther) {
  for (bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "good log in .LOG1" : "good log in .LOG2");
    Fresh();
    PutPrimary();
    Bytes bad = regf::BuildNewFormatLog(State(0), 10, Entries(0, 4, 10));
    bad[regf::log_entry::kFirst + regf::log_entry::kHash1] ^= 1;
    Put(swapped ? "HIVE.LOG2" : "HIVE.LOG1", bad);
    Put(swapped ? "HIVE.LOG1" : "HIVE.LOG2", regf::BuildNewFormatLog(State(0), 10, Entries(0, 4, 10)));
    RecoveryReport r;
    ExpectTree(Load(r), State(4));
    EXPECT_EQ(r.entries, 4u);
    EXPECT_EQ(r.used, std::vector<std::string>{swapped ? "HIVE.LOG1" : "HIVE.LOG2"});
  }
  // Both bad: refused, naming each.
  Fresh();
  PutPrimary();
  Bytes bad = regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10));
  bad[regf::log_entry::kFirst + regf::log_entry::kHash1] ^= 1;
  Put("HIVE.LOG1", bad);
  Put("HIVE.LOG2", bad);
  const std::string msg = Refusal();
  EXPECT_NE(msg.find("HIVE.LOG1: entry 10 has a wrong hash"), std::string::npos) << msg;
  EXPECT_NE(msg.find("HIVE.LOG2: entry 10 has a wrong hash"), std::string::npos) << msg;
}

TEST_F(RegfRecoveryLogs, GapEndsTheChain) {
  PutPrimary();
  auto entries = Entries(0, 3, 10);
  entries[2].sequence = 14;
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, entries));
  RecoveryReport r;
  ExpectTree(Load(r), State(2));
  EXPECT_EQ(r.lastSeq, 11u);
  EXPECT_NE(r.stopped.find("entry 14 where 12 was expected"), std::string::npos) << r.stopped;
}

TEST_F(RegfRecoveryLogs, BadFirstEntryIsRefusedAndNothingIsWritten) {
  PutPrimary();
  Bytes log = regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10));
  log[regf::log_entry::kFirst + regf::log_entry::kHash1] ^= 1;
  Put("HIVE.LOG1", log);
  const Bytes before = ReadBytes(Hive());
  const std::string msg = Refusal();
  EXPECT_NE(msg.find("HIVE.LOG1: entry 10 has a wrong hash"), std::string::npos) << msg;
  EXPECT_NE(msg.find("logs found: HIVE.LOG1"), std::string::npos) << msg;
  EXPECT_EQ(ReadBytes(Hive()), before);
  EXPECT_EQ(ReadBytes(Dir() / "HIVE.LOG1"), log);
  EXPECT_FALSE(regf::CompactHiveFile(Hive(), Dir() / "out"));
  EXPECT_FALSE(std::filesystem::exists(Dir() / "out"));
}

TEST_F(RegfRecoveryLogs, HiveGrowsWithItsEntries) {
  PutPrimary(true);
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0, true), 10, Entries(0, 3, 10, true)));
  RecoveryReport r;
  const regf::Hive h = Load(r);
  ExpectTree(h, State(3, true));
  EXPECT_GT(h.Base().binsSize, State(0, true).size() - 4096);
  EXPECT_EQ(h.Size(), 4096u + h.Base().binsSize);
}

TEST_F(RegfRecoveryLogs, BadPrimaryBaseBlockTakesItFromTheLogWithTheLatestEntries) {
  Bytes primary = regf::WithSequenceNumbers(State(0), 11, 10);
  primary[regf::base::kChecksum] ^= 0x55;
  Put("HIVE", primary);
  // An older log whose entries would lead elsewhere, and the log with the latest entries.
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 6, {regf::LogEntryBetween(State(0), State(5), 6)}));
  Put("HIVE.LOG2", regf::BuildNewFormatLog(State(0), 10, Entries(0, 3, 10)));
  RecoveryReport r;
  const regf::Hive h = Load(r);
  ExpectTree(h, State(3));
  EXPECT_EQ(r.used, std::vector<std::string>{"HIVE.LOG2"});
  EXPECT_FALSE(h.Base().Dirty());
  EXPECT_EQ(h.Base().fileType, 0u);
}

// A crash in the middle of writing the primary file leaves torn pages, even a bin header; the
// log's pages replace them.
TEST_F(RegfRecoveryLogs, TornPagesOfThePrimaryAreRewrittenFromTheLog) {
  const Bytes s1 = State(1);
  Bytes primary = regf::WithSequenceNumbers(s1, 11, 10);
  std::fill(primary.begin() + regf::kBaseBlockSize, primary.begin() + regf::kBaseBlockSize + 4096, 0);
  Put("HIVE", primary);
  FixtureLogEntry e = regf::LogEntryBetween(primary, s1, 10);
  ASSERT_EQ(e.pages.size(), 1u);
  Put("HIVE.LOG1", regf::BuildNewFormatLog(s1, 10, {e}));
  RecoveryReport r;
  ExpectTree(Load(r), s1);
  // Without the page the hive cannot be recovered, and the message says where.
  Fresh();
  Put("HIVE", primary);
  FixtureLogEntry none;
  none.sequence = 10;
  none.binsSize = e.binsSize;
  Put("HIVE.LOG1", regf::BuildNewFormatLog(s1, 10, {none}));
  EXPECT_NE(Refusal().find("the hive bin at 0x0 of the primary file is not valid"), std::string::npos) << Refusal();
}

// No dummy bin stands in for a broken one a log wrote: its keys would silently be lost.
TEST_F(RegfRecoveryLogs, BrokenBinFromALogFailsTheRecovery) {
  PutPrimary();
  FixtureLogEntry e;
  e.sequence = 10;
  e.binsSize = static_cast<std::uint32_t>(State(0).size() - regf::kBaseBlockSize);
  e.pages.push_back({0, Bytes(4096, 0)});
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, {e}));
  const std::string msg = Refusal();
  EXPECT_NE(msg.find("the dirty hive bin at 0x0 written from HIVE.LOG1 is not valid"), std::string::npos) << msg;
}

TEST_F(RegfRecoveryLogs, StaleLogIsNotApplied) {
  PutPrimary();
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 8, Entries(0, 2, 8)));
  const std::string msg = Refusal();
  EXPECT_NE(msg.find("HIVE.LOG1: stale (its sequence number 8 is below the hive's 10)"), std::string::npos) << msg;
}

TEST_F(RegfRecoveryLogs, OldEntriesBelowTheLogsNumberAreSkipped) {
  PutPrimary();
  // Entry 9 is an old one the log still holds; the log's own number is 10.
  auto entries = Entries(0, 2, 10);
  entries.insert(entries.begin(), regf::LogEntryBetween(State(0), State(6), 9));
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, entries));
  RecoveryReport r;
  ExpectTree(Load(r), State(2));
  EXPECT_EQ(r.entries, 2u);
  EXPECT_EQ(r.firstSeq, 10u);
}

// The number after 0xFFFFFFFF is 0: a chain goes on across it, within one log or from one log
// to the next, and a log numbered past it comes after one that is not.
TEST_F(RegfRecoveryLogs, SequenceNumbersWrapFrom0xFFFFFFFFTo0) {
  constexpr std::uint32_t kLast = 0xFFFFFFFFu;
  for (bool split : {false, true}) {
    SCOPED_TRACE(split ? "the chain goes on in .LOG2" : "one log");
    Fresh();
    Put("HIVE", regf::WithSequenceNumbers(State(0), kLast, kLast - 1));
    auto entries = Entries(0, 4, kLast - 1);  // 0xFFFFFFFE, 0xFFFFFFFF, 0, 1
    if (split) {
      // .LOG2, numbered 0, holds the entries after the wrap; .LOG1 the ones before it.
      Put("HIVE.LOG2", regf::BuildNewFormatLog(State(0), 0, {entries[2], entries[3]}));
      entries.resize(2);
    }
    Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), kLast - 1, entries));
    RecoveryReport r;
    const regf::Hive h = Load(r);
    ExpectTree(h, State(4));
    EXPECT_EQ(r.entries, 4u);
    EXPECT_EQ(r.firstSeq, kLast - 1);
    EXPECT_EQ(r.lastSeq, 1u);
    EXPECT_EQ(h.Base().primarySeq, 1u);
    EXPECT_EQ(h.Base().secondarySeq, 1u);
  }

  // A log numbered just before the wrap is stale for a hive numbered just after it.
  Fresh();
  Put("HIVE", regf::WithSequenceNumbers(State(0), 3, 2));
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), kLast - 1, Entries(0, 2, kLast - 1)));
  const std::string msg = Refusal();
  EXPECT_NE(msg.find("HIVE.LOG1: stale (its sequence number 4294967294 is below the hive's 2)"), std::string::npos)
      << msg;

  // With a bad primary base block, the log numbered after the wrap holds the latest entries.
  Fresh();
  Bytes primary = regf::WithSequenceNumbers(State(0), kLast, kLast - 1);
  primary[regf::base::kChecksum] ^= 0x55;
  Put("HIVE", primary);
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), kLast - 1, {regf::LogEntryBetween(State(0), State(5), kLast - 1)}));
  Put("HIVE.LOG2", regf::BuildNewFormatLog(State(0), 1, Entries(0, 3, 1)));
  RecoveryReport r;
  ExpectTree(Load(r), State(3));
  EXPECT_EQ(r.used, std::vector<std::string>{"HIVE.LOG2"});
}

// An old-format log numbered past the wrap gives the recovered hive its number.
TEST_F(RegfRecoveryLogs, OldFormatTakesTheLaterNumberAcrossTheWrap) {
  Put("HIVE", regf::WithSequenceNumbers(State(0), 0xFFFFFFFFu, 0xFFFFFFFEu));
  Put("HIVE.LOG1", regf::BuildOldFormatLog(State(0), State(2), 0));
  RecoveryReport r;
  const regf::Hive h = Load(r);
  ExpectTree(h, State(2));
  EXPECT_EQ(h.Base().primarySeq, 0u);
  EXPECT_EQ(r.lastSeq, 0u);
}

TEST_F(RegfRecoveryLogs, CleanPrimaryIgnoresItsLogs) {
  Put("HIVE", State(0));
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 1, Entries(0, 2, 1)));
  RecoveryReport r;
  ExpectTree(Load(r), State(0));
  EXPECT_FALSE(r.dirty);
}

TEST_F(RegfRecoveryLogs, LeftoverEmptyAndOddLogsAreSkipped) {
  PutPrimary();
  Put("hive.log1", regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10)));  // any case
  Put("HIVE.LOG2", {});
  Put("HIVE.LOG", Bytes(4096, 0xAA));
#ifndef _WIN32
  // A second name for the same place, only where names differ by case.
  std::filesystem::create_directory(Dir() / "Hive.Log2");
#endif
  RecoveryReport r;
  ExpectTree(Load(r), State(2));
  EXPECT_EQ(r.used, std::vector<std::string>{"hive.log1"});
  std::string all;
  for (const auto& l : r.logs) all += l + "\n";
  EXPECT_NE(all.find("HIVE.LOG (4096 bytes): a leftover beside the .LOG1/.LOG2 logs"), std::string::npos) << all;
  EXPECT_NE(all.find("HIVE.LOG2 (0 bytes): empty"), std::string::npos) << all;
#ifndef _WIN32
  EXPECT_NE(all.find("Hive.Log2 (0 bytes): not a regular file"), std::string::npos) << all;
#endif
}

#ifndef _WIN32
TEST_F(RegfRecoveryLogs, PipeInPlaceOfALogNeverBlocks) {
  PutPrimary();
  ASSERT_EQ(::mkfifo((Dir() / "HIVE.LOG2").c_str(), 0600), 0);
  Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, Entries(0, 1, 10)));
  RecoveryReport r;
  ExpectTree(Load(r), State(1));
}

// A log's entries that would recover the hive, kept in a file outside its folder and reached by
// links in the logs' places (absolute and relative): never read, so the hive stays dirty; and
// a hive that is itself a link is not opened.
TEST_F(RegfRecoveryLogs, LinksInPlaceOfLogsOrHiveAreNeverFollowed) {
  ScratchDir elsewhere;
  WriteBytes(elsewhere.path() / "entries", regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10)));
  PutPrimary();
  std::filesystem::create_symlink(elsewhere.path() / "entries", Dir() / "HIVE.LOG1");
  std::filesystem::create_symlink(std::filesystem::relative(elsewhere.path() / "entries", Dir()), Dir() / "HIVE.LOG2");
  const auto found = regf::FindHiveLogs(Hive());
  ASSERT_EQ(found.size(), 2u);
  for (const auto& log : found) {
    EXPECT_EQ(log.skipped, "a link, which is not followed") << log.path;
    EXPECT_EQ(log.file, nullptr) << log.path;
  }
  const std::string refusal = Refusal();
  EXPECT_NE(refusal, "(loaded)");

  Put("SOURCE", State(0));
  std::filesystem::create_symlink(Dir() / "SOURCE", Dir() / "LINKED");
  std::string error;
  regf::FileView view;
  EXPECT_FALSE(view.Open(Hive("LINKED"), regf::kBaseBlockSize, error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
}
#endif

TEST_F(RegfRecoveryLogs, OldFormatAppliesWhenItsTimeMatches) {
  PutPrimary();
  Put("HIVE.LOG1", regf::BuildOldFormatLog(State(0), State(2), 11));
  RecoveryReport r;
  const regf::Hive h = Load(r);
  ExpectTree(h, State(2));
  EXPECT_FALSE(r.newFormat);
  EXPECT_EQ(h.Base().primarySeq, 11u);
}

TEST_F(RegfRecoveryLogs, OldFormatTurnsToTheSecondLogAsWindows8Does) {
  PutPrimary();
  // .LOG1 was written for another time of the hive; .LOG2 holds a more recent log.
  Bytes other = State(0);
  regf::Wr64(other.data() + regf::base::kLastWritten, kStamp - 1);
  Put("HIVE.LOG1", regf::BuildOldFormatLog(other, [&] {
        Bytes b = State(1);
        regf::Wr64(b.data() + regf::base::kLastWritten, kStamp - 1);
        return b;
      }(), 11));
  Bytes later = State(3);
  regf::Wr64(later.data() + regf::base::kLastWritten, kStamp + 1);
  Put("HIVE.LOG2", regf::BuildOldFormatLog(State(0), later, 11));
  RecoveryReport r;
  ExpectTree(Load(r), State(3));
  EXPECT_EQ(r.used, std::vector<std::string>{"HIVE.LOG2"});
}

TEST_F(RegfRecoveryLogs, OldFormatWithAnotherTimeIsRefused) {
  PutPrimary();
  Bytes to = State(1);
  regf::Wr64(to.data() + regf::base::kLastWritten, kStamp + 7);
  Put("HIVE.LOG1", regf::BuildOldFormatLog(State(0), to, 11));
  EXPECT_NE(Refusal().find("HIVE.LOG1: its last-written time differs from the hive's"), std::string::npos);
}

// Hostile logs: sizes and offsets that point outside, growth the log does not carry.
TEST_F(RegfRecoveryLogs, HostileEntriesNeverGrowOrWriteOutside) {
  PutPrimary();
  auto entries = Entries(0, 1, 10);
  FixtureLogEntry huge;  // claims a 1 GiB hive with one page
  huge.sequence = 11;
  huge.binsSize = 1u << 30;
  huge.pages.push_back({0, Bytes(4096, 0)});
  FixtureLogEntry outside;
  outside.sequence = 11;
  outside.binsSize = entries[0].binsSize;
  outside.pages.push_back({entries[0].binsSize, Bytes(4096, 0)});
  for (const FixtureLogEntry& bad : {huge, outside}) {
    auto chain = entries;
    chain.push_back(bad);
    Fresh();
    PutPrimary();
    Put("HIVE.LOG1", regf::BuildNewFormatLog(State(0), 10, chain));
    RecoveryReport r;
    const regf::Hive h = Load(r);
    ExpectTree(h, State(1));
    EXPECT_EQ(r.lastSeq, 10u);
    EXPECT_EQ(h.Size(), State(1).size());
  }
}

// A log or primary padded or extended far beyond its content (a sparse file here) is read only
// as far as its content reaches: the base block, the entries, the declared bins.
TEST_F(RegfRecoveryLogs, SparseFilesCostWhatTheirContentCosts) {
#ifdef _WIN32
  GTEST_SKIP() << "sparse files are made with ftruncate";
#else
  constexpr std::uint64_t k2GiB = std::uint64_t{2} << 30;
  PutPrimary();
  const Bytes log = regf::BuildNewFormatLog(State(0), 10, Entries(0, 2, 10));
  Put("HIVE.LOG1", log);
  std::filesystem::resize_file(Dir() / "HIVE.LOG1", k2GiB);
  std::filesystem::resize_file(Hive(), k2GiB);
  const auto found = regf::FindHiveLogs(Hive());
  ASSERT_EQ(found.size(), 1u);
  // The log's bytes (an entry's references twice: read, then hashed) and the header that ends it.
  EXPECT_LE(BytesReadByTheLogReader(found[0]), log.size() + regf::kBaseBlockSize);
  RecoveryReport r;
  const regf::Hive h = Load(r);
  ExpectTree(h, State(2));
  EXPECT_EQ(h.Size(), 4096u + h.Base().binsSize);

  // A clean hive extended likewise.
  Fresh();
  Put("HIVE", State(3));
  std::filesystem::resize_file(Hive(), k2GiB);
  const regf::Hive clean = regf::Hive::Load(Hive());
  EXPECT_EQ(clean.Size(), State(3).size());
  EXPECT_EQ(clean.FileSize(), k2GiB);

  // An entry that claims far more bytes than its pages and padding hold ends the log there,
  // however many the file holds.
  Fresh();
  PutPrimary();
  Bytes padded = regf::BuildNewFormatLog(State(0), 10, Entries(0, 1, 10));
  const std::uint32_t size = regf::Rd32(padded.data() + regf::log_entry::kFirst + regf::log_entry::kSize);
  regf::Wr32(padded.data() + regf::log_entry::kFirst + regf::log_entry::kSize, size + (64u << 20));
  Put("HIVE.LOG1", padded);
  std::filesystem::resize_file(Dir() / "HIVE.LOG1", k2GiB);
  const auto read = regf::FindHiveLogs(Hive());
  ASSERT_EQ(read.size(), 1u);
  EXPECT_LE(BytesReadByTheLogReader(read[0]), std::uint64_t{1} << 20);
  padded.resize(regf::log_entry::kFirst + size + (64u << 20));
  const regf::LogFile parsed = regf::ReadLogFile(padded.data(), padded.size());
  EXPECT_TRUE(parsed.entries.empty());
  EXPECT_NE(parsed.problem.find("padded beyond its pages"), std::string::npos) << parsed.problem;
  EXPECT_NE(Refusal().find("HIVE.LOG1"), std::string::npos);
#endif
}

// The bytes are read, not mapped: a file that shrinks once read cannot fault the reader.
TEST_F(RegfRecoveryLogs, FileShrinkingAfterItWasReadIsNoFault) {
  Put("HIVE", State(3));
  regf::FileView view;
  std::string error;
  ASSERT_TRUE(view.Open(Hive(), 1u << 30, error)) << error;
  std::filesystem::resize_file(Hive(), 0);
  ASSERT_EQ(view.Size(), State(3).size());
  EXPECT_TRUE(std::equal(view.Data(), view.Data() + view.Size(), State(3).begin()));
  // Shrunk before it is read: a truncation, reported as such.
  Put("HIVE2", State(3));
  std::filesystem::resize_file(Hive("HIVE2"), 6000);
  try {
    regf::Hive::Load(Hive("HIVE2"));
    ADD_FAILURE() << "a truncated hive loaded";
  } catch (const regf::FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("truncated"), std::string::npos) << e.what();
  }
}

TEST_F(RegfRecoveryLogs, TruncatedAndCorruptLogsAreReadSafely) {
  const Bytes log = regf::BuildNewFormatLog(State(0), 10, Entries(0, 3, 10));
  for (std::size_t cut : {std::size_t{0}, std::size_t{100}, std::size_t{600}, log.size() / 2, log.size() - 1}) {
    const regf::LogFile f = regf::ReadLogFile(log.data(), cut);
    for (const auto& e : f.entries) {
      EXPECT_LE(e.at + e.size, cut);
      for (const auto& p : e.pages) EXPECT_LE(p.at + p.size, cut);
    }
  }
  Bytes bad = log;
  regf::Wr32(bad.data() + regf::log_entry::kFirst + regf::log_entry::kPageCount, 0x7FFFFFFF);
  EXPECT_TRUE(regf::ReadLogFile(bad.data(), bad.size()).entries.empty());
}

}  // namespace
}  // namespace hv::test
