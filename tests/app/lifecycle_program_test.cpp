// The Linux program's lifecycle of an installation, run as a user runs it:
// one owner however the installation is named, pending replacements shown
// and settled, backups and restore points put back, hibernation refused, and
// an exit code for every outcome.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/offline/demo_machine.h"
#include "platform/offline/machine_description.h"
#include "platform/offline/offline_platform.h"
#include "regf/fixture.h"
#include "regf/regf.h"
#include "platform/offline/offline_machine.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

using test::ProgramRun;

using test::ReadWholeFile;

class LifecycleProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(offline::EnsureDemoMachine(c, &error)) << error;
    for (const char* hive : kHives) originals[hive] = ReadWholeFile(Config(hive));
  }

  static constexpr const char* kHives[] = {"SYSTEM", "SOFTWARE", "DEFAULT", "SECURITY", "SAM"};

  fs::path Config(const std::string& name) const { return c / "Windows" / "System32" / "config" / name; }
  fs::path State(const char* name) const { return c / "ProgramData" / "Talvix Hivora" / name; }

  ProgramRun Hivora(const std::string& arguments) const {
    return Shell("'" HIVORA_PROGRAM "' " + arguments + " </dev/null");
  }
  // A shell command line with the program's settings and runtime folders.
  ProgramRun Shell(const std::string& line) const {
    const std::string command = "export XDG_CONFIG_HOME='" + (dir / "config").string() + "' XDG_RUNTIME_DIR='" +
                                (dir / "run").string() + "'; " + line + " 2>&1";
    fs::create_directories(dir / "run");
    fs::permissions(dir / "run", fs::perms::owner_all);
    return test::RunShell(command);
  }
  std::string Root() const { return "--root '" + c.string() + "'"; }

  // Copies of every hive requested for replacement, as a run killed before
  // its restart leaves them.
  void LeavePending() const {
    std::string error;
    auto machine = offline::DescribeRoot(c, &error);
    ASSERT_TRUE(machine) << error;
    machine->wow64 = false;  // paths as a 64-bit process sees them
    offline::OfflineOptions options;
    options.machine = *machine;
    options.programFolder = dir / "config";
    offline::OfflinePlatform os(std::move(options));
    ASSERT_TRUE(os.owner());
    for (const char* name : {"SOFTWARE", "SAM"}) {
      HKEY key = nullptr;
      test::Enable(os, "SeBackupPrivilege");
      test::Enable(os, "SeRestorePrivilege");
      ASSERT_EQ(os.RegOpenKeyExA(HkeyLocalMachine(), name, 0, access::kKeyQueryValue | access::kKeyWow64_64Key, &key), 0);
      const std::string config = std::string("C:\\Windows\\System32\\config\\") + name;
      ASSERT_EQ(os.RegSaveKeyA(key, (config + ".hvx").c_str()), 0);
      ASSERT_EQ(os.RegReplaceKeyA(HkeyLocalMachine(), name, (config + ".hvx").c_str(), (config + ".bak").c_str()), 0);
      os.RegCloseKey(key);
    }
  }

  void ExpectOriginals() const {
    for (const char* hive : kHives) EXPECT_TRUE(ReadWholeFile(Config(hive)) == originals.at(hive)) << hive;
  }

  test::TempDir dir;
  fs::path c = dir / "c";
  std::map<std::string, std::string> originals;
};

// The lock file held as another process holds it.
struct HeldLock {
  int fd;
  explicit HeldLock(const fs::path& file) : fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  }
  ~HeldLock() { ::close(fd); }
};

TEST_F(LifecycleProgramTest, SilentReplacesEveryHiveWithSummaryAndExit0) {
  const ProgramRun run = Hivora(Root() + " /Silent");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("hivora: SAM replaced: 28,672 -> "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("backup SAM.bak"), std::string::npos) << run.out;
  for (const char* hive : kHives) EXPECT_TRUE(ReadWholeFile(Config(std::string(hive) + ".bak")) == originals.at(hive)) << hive;
  EXPECT_TRUE(fs::exists(State("hivora.lock"))) << "the lock file is never deleted";
}

TEST_F(LifecycleProgramTest, AnOwnedInstallationIsLeftAloneHoweverItIsNamed) {
  fs::create_directories(State(""));
  HeldLock lock(State("hivora.lock"));
  std::ofstream(dir / "machine.ini") << "[Machine]\nVersion=6.1\n[Drives]\nC=fixed,\\Device\\HarddiskVolume2,"
                                     << c.string() << "\n";
  fs::create_directory_symlink(c, dir / "link");
  const std::string ways[] = {Root() + " /Silent", "--machine '" + (dir / "machine.ini").string() + "' /Silent",
                              "--root '" + (dir / "link").string() + "' /Silent",
                              "--root '" + (dir / "link").string() + "/Windows/..' --restore-backups",
                              Root() + " --apply-pending"};
  for (const std::string& way : ways) {
    const ProgramRun run = Hivora(way);
    EXPECT_EQ(run.exitCode, 1) << way << "\n" << run.out;
    EXPECT_NE(run.out.find("another hivora works on " + fs::canonical(c).string()), std::string::npos) << run.out;
  }
  ExpectOriginals();
  EXPECT_FALSE(fs::exists(Config("SAM.hvx")));
}

TEST_F(LifecycleProgramTest, ASecondStartBringsTheOwnerForwardAndTouchesNothing) {
  const fs::path script = dir / "script";
  ASSERT_EQ(::mkfifo(script.c_str(), 0600), 0);
  fs::create_directories(dir / "run");
  fs::permissions(dir / "run", fs::perms::owner_all);
  const std::string owner = "XDG_CONFIG_HOME='" + (dir / "config").string() + "' XDG_RUNTIME_DIR='" +
                            (dir / "run").string() + "' '" HIVORA_PROGRAM "' " + Root() + " --script '" +
                            script.string() + "' </dev/null >/dev/null 2>&1";
  FILE* running = ::popen(owner.c_str(), "r");
  ASSERT_NE(running, nullptr);
  std::ofstream lines(script);  // opens once the owner reads its script
  ProgramRun second;
  for (int i = 0; i < 100 && second.out.find("brought forward") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    second = Hivora(Root() + " /Silent");
  }
  lines << "close\n";
  lines.close();
  ::pclose(running);
  EXPECT_EQ(second.exitCode, 1) << second.out;
  EXPECT_NE(second.out.find("it was brought forward. Nothing was done."), std::string::npos) << second.out;
  ExpectOriginals();
  EXPECT_FALSE(fs::exists(Config("SAM.bak")));
}

TEST_F(LifecycleProgramTest, PendingReplacementsAreNamedThenAppliedOrDiscarded) {
  LeavePending();
  // Unattended, a start names them and touches nothing.
  ProgramRun run = Hivora(Root() + " /Silent");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("C:\\Windows\\System32\\config\\SOFTWARE, C:\\Windows\\System32\\config\\SAM"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("--apply-pending"), std::string::npos) << run.out;
  ExpectOriginals();

  run = Hivora(Root() + " --discard-pending");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("SAM left alone: its replacement was discarded"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Config("SAM.hvx")));
  ExpectOriginals();
  run = Hivora(Root() + " --discard-pending");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("no replacements wait"), std::string::npos) << run.out;

  LeavePending();
  run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE replaced: 372,736 -> "), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM.bak")) == originals.at("SAM"));
  EXPECT_LT(fs::file_size(Config("SAM")), originals.at("SAM").size());
  run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("no replacements wait"), std::string::npos) << run.out;
}

TEST_F(LifecycleProgramTest, AStaleEntryIsDroppedAndTheRunIsPartlyDone) {
  LeavePending();
  // Windows booted in between and wrote SOFTWARE's log alone.
  std::ofstream(Config("SOFTWARE.LOG1"), std::ios::binary) << std::string(512, 'x');
  const ProgramRun run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE left alone: it changed since its copy was made"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SAM replaced"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SOFTWARE")) == originals.at("SOFTWARE"));
  EXPECT_EQ(fs::file_size(Config("SOFTWARE.LOG1")), 512u);
  EXPECT_FALSE(fs::exists(Config("SOFTWARE.hvx")));
}

// Killed at the restart message, the copy then deleted: the entry is dropped
// with its reason, the others are applied, and no backup is claimed for it.
TEST_F(LifecycleProgramTest, APendingEntryWhoseCopyIsGoneIsDroppedAndTheOthersApplied) {
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);  // backups of an earlier restart
  const std::string earlierSamBackup = ReadWholeFile(Config("SAM.bak"));
  const std::string compactedSam = ReadWholeFile(Config("SAM"));
  LeavePending();
  fs::remove(Config("SAM.hvx"));
  ProgramRun run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("SAM left alone: its copy is gone"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE replaced"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("SAM replaced"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == compactedSam);
  EXPECT_TRUE(ReadWholeFile(Config("SAM.bak")) == earlierSamBackup);
  run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("no replacements wait"), std::string::npos) << "the journal is settled: " << run.out;
  // The backups are still whole: SAM's from the earlier restart, SOFTWARE's from this one.
  run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == originals.at("SAM"));
}

// A replacement the restart cannot make, however often it tries, is named
// at each start with the way out, and --discard-pending takes it.
TEST_F(LifecycleProgramTest, AReplacementThatFailsEveryTimeCanBeDiscarded) {
  LeavePending();
  fs::create_directories(Config("SAM.bak") / "in the way");  // the backup can never be named SAM.bak
  ProgramRun run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("SAM left alone: its backup could not be named SAM.bak"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE replaced"), std::string::npos) << run.out;

  // It keeps no analysis from running: /Scan tells it, once, and reports the hives as they are.
  run = Hivora(Root() + " /Scan '" + (dir / "report.ini").string() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  const std::string stuck = "the restart could not replace C:\\Windows\\System32\\config\\SAM: its backup could not "
                            "be named SAM.bak (Is a directory); --restore-backups undoes that restart";
  ASSERT_NE(run.out.find(stuck), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(stuck, run.out.find(stuck) + 1), std::string::npos) << "told once: " << run.out;
  EXPECT_EQ(run.out.find("an interrupted restart was finished"), std::string::npos) << "it was not: " << run.out;
  EXPECT_NE(ReadWholeFile(dir / "report.ini").find("[Scan Result]"), std::string::npos);
  EXPECT_TRUE(fs::exists(Config("SAM.hvx"))) << "the waiting copy is neither overwritten nor removed";

  run = Hivora(Root() + " --discard-pending");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("SAM left alone: its replacement was discarded"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Config("SAM.hvx")));
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == originals.at("SAM"));

  run = Hivora(Root() + " /Scan '" + (dir / "report.ini").string() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SOFTWARE")) == originals.at("SOFTWARE"));
}

// A hive another program holds (locked, or open for writing) is neither
// copied for a replacement nor replaced: its writes would land in the backup.
TEST_F(LifecycleProgramTest, AHiveHeldByAnotherProgramIsLeftAlone) {
  {
    HeldLock locked(Config("SAM"));
    const ProgramRun run = Hivora(Root() + " /Silent");
    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_NE(run.out.find("SAM: SAM is in use by another program"), std::string::npos) << run.out;
    EXPECT_TRUE(ReadWholeFile(Config("SAM")) == originals.at("SAM"));
    EXPECT_FALSE(fs::exists(Config("SAM.bak")));
  }
  if (::geteuid() != 0) GTEST_SKIP() << "a plain open is seen by root only";
  fs::remove(Config("SOFTWARE.bak"));
  LeavePending();
  const int writer = ::open(Config("SOFTWARE").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  const ProgramRun run = Hivora(Root() + " --apply-pending");
  ::close(writer);
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE left alone: SOFTWARE is in use by another program (PID " +
                         std::to_string(::getpid()) + ")"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("SAM replaced"), std::string::npos) << run.out;
}

TEST_F(LifecycleProgramTest, AChangedHiveIsDroppedAndNothingDoneIsExit1) {
  LeavePending();
  for (const char* hive : {"SOFTWARE", "SAM"}) {
    std::fstream f(Config(hive), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    f.put('\x07');  // a sequence number, as a write by Windows changes it
  }
  const ProgramRun run = Hivora(Root() + " --apply-pending");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("SAM left alone"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Config("SAM.bak")));
}

TEST_F(LifecycleProgramTest, BackupsGoBackOnlyOverHivesTheRestartInstalled) {
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  const std::string compactedSam = ReadWholeFile(Config("SAM"));
  std::ofstream(Config("SAM.bak.LOG1"), std::ios::binary) << "backup's log";
  // SOFTWARE changed since the restart: it is named and stays.
  std::ofstream(Config("SOFTWARE.LOG2"), std::ios::binary) << "written by Windows";
  ProgramRun run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("SOFTWARE left alone: it changed since the restart"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SAM restored from SAM.bak"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == originals.at("SAM"));
  EXPECT_TRUE(ReadWholeFile(Config("SAM.compacted")) == compactedSam);
  EXPECT_TRUE(ReadWholeFile(Config("SAM.LOG1")) == "backup's log");
  EXPECT_TRUE(ReadWholeFile(Config("SOFTWARE")) != originals.at("SOFTWARE"));
  EXPECT_TRUE(ReadWholeFile(Config("SOFTWARE.bak")) == originals.at("SOFTWARE"));

  run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 1) << run.out;
}

TEST_F(LifecycleProgramTest, AMissingOrBrokenBackupRefusesTheWholeRestore) {
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  const std::string compactedSam = ReadWholeFile(Config("SAM"));
  const std::string sound = ReadWholeFile(Config("SECURITY.bak"));
  // Each is checked as the hive tool checks it, not by its first bytes.
  std::string zeroedBin = sound;
  std::fill(zeroedBin.begin() + 4096, zeroedBin.begin() + 8192, '\0');
  const std::string broken[] = {"not a hive", sound.substr(0, 4096), zeroedBin};
  for (const std::string& bytes : broken) {
    std::ofstream(Config("SECURITY.bak"), std::ios::binary | std::ios::trunc) << bytes;
    ProgramRun run = Hivora(Root() + " --restore-backups");
    EXPECT_EQ(run.exitCode, 2) << run.out;
    EXPECT_NE(run.out.find("SECURITY.bak cannot be put back: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("; nothing was restored"), std::string::npos) << run.out;
    EXPECT_TRUE(ReadWholeFile(Config("SAM")) == compactedSam);
    EXPECT_FALSE(fs::exists(Config("SAM.compacted")));
  }
  fs::remove(Config("SECURITY.bak"));
  ProgramRun run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("is missing"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == compactedSam);
}

TEST_F(LifecycleProgramTest, ARestorePointIsListedAndPutBackWithItsLogs) {
  std::ofstream(Config("SAM.LOG1"), std::ios::binary) << "sam log";
  // The demo machine's settings ask for a restore point before the commit.
  const fs::path point = State("RestorePoints") / "20260101-120000";
  fs::create_directories(point / "C" / "Windows" / "System32" / "config");
  fs::copy_file(Config("SAM"), point / "C/Windows/System32/config/SAM");
  fs::copy_file(Config("SAM.LOG1"), point / "C/Windows/System32/config/SAM.LOG1");
  std::ofstream(point / "RestorePoint.ini")
      << "[RestorePoint]\nDescription=Before compaction\nTime=2026-01-01 12:00:00\nSequence=1\n"
         "[Hive1]\nName=\\REGISTRY\\MACHINE\\SAM\nFile=C:\\Windows\\System32\\config\\SAM\n"
         "Copy=C/Windows/System32/config/SAM\n";
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  ASSERT_TRUE(ReadWholeFile(Config("SAM")) != originals.at("SAM"));

  ProgramRun run = Hivora(Root() + " --list-restore-points");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("20260101-120000  2026-01-01 12:00:00  Before compaction  (1 hives)\n"
                         "    C:\\Windows\\System32\\config\\SAM  28,672 bytes\n"),
            std::string::npos)
      << run.out;
  run = Hivora(Root() + " --restore-point nosuch");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  run = Hivora(Root() + " --restore-point ../RestorePoints/20260101-120000");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  // An index whose copy lies outside its restore point is refused whole.
  const fs::path other = State("RestorePoints") / "20260101-130000";
  fs::create_directories(other);
  std::ofstream(other / "RestorePoint.ini") << "[Hive1]\nFile=C:\\Windows\\System32\\config\\SAM\n"
                                               "Copy=../20260101-120000/C/Windows/System32/config/SAM\n";
  run = Hivora(Root() + " --restore-point 20260101-130000");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("nothing was restored"), std::string::npos) << run.out;
  fs::remove_all(other);
  run = Hivora(Root() + " --restore-point 20260101-120000");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == originals.at("SAM"));
  EXPECT_TRUE(ReadWholeFile(Config("SAM.LOG1")) == "sam log");
  EXPECT_TRUE(fs::exists(Config("SAM.before-restore")));
  EXPECT_FALSE(fs::exists(Config("SAM.rptmp")));
}

TEST_F(LifecycleProgramTest, AHibernatedWindowsIsNeitherCommittedNorRestored) {
  // The backups of an earlier restart: the refused commit must not cost them.
  for (const char* hive : kHives) std::ofstream(Config(std::string(hive) + ".bak")) << "earlier backup of " << hive;
  std::ofstream(c / "hiberfil.sys", std::ios::binary) << "HIBR" << std::string(60, '\0');
  ProgramRun run = Hivora(Root() + " /Silent");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  const std::size_t told = run.out.find("shut it down fully (not restart, not Fast Startup)");
  EXPECT_NE(told, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("shut it down fully", told + 1), std::string::npos) << "told once: " << run.out;
  ExpectOriginals();
  for (const char* hive : kHives) {
    EXPECT_EQ(ReadWholeFile(Config(std::string(hive) + ".bak")), std::string("earlier backup of ") + hive);
    EXPECT_FALSE(fs::exists(Config(std::string(hive) + ".bak.old"))) << hive;
  }
  run = Hivora(Root() + " --restore-backups");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("hibernated"), std::string::npos) << run.out;
  // Resumed and shut down fully, Windows leaves the file's signature wiped.
  std::ofstream(c / "hiberfil.sys", std::ios::binary) << std::string(64, '\0');
  EXPECT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  // One backup per hive, the hive as it was; nothing set aside is left.
  for (const char* hive : kHives) {
    EXPECT_TRUE(ReadWholeFile(Config(std::string(hive) + ".bak")) == originals.at(hive)) << hive;
    EXPECT_FALSE(fs::exists(Config(std::string(hive) + ".bak.old"))) << hive;
  }
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

bool HasKey(const fs::path& hive, const char* key) {
  std::string error;
  auto file = regf::HiveFile::Open(hive, &error);
  return file && file->KeyExists(key);
}

// A hive whose last change sits in its log alone: its backup keeps the log,
// so that it can still be recovered; the new hive gets empty logs.
TEST_F(LifecycleProgramTest, ADirtyHiveIsReplacedAndItsLogsGoWithItsBackup) {
  regf::FixtureBuilder before;
  before.Root().AddKey("SAM").SetDword("Version", 1);
  regf::FixtureBuilder after;
  after.Root().AddKey("SAM").SetDword("Version", 1);
  after.Root().AddKey("Added").SetDword("New", 1);
  const auto primary = regf::WithSequenceNumbers(before.Build(), 8, 7);
  const auto log = regf::BuildNewFormatLog(before.Build(), 7, {regf::LogEntryBetween(before.Build(), after.Build(), 7)});
  fs::remove(Config("SAM"));
  WriteBytes(Config("SAM"), primary);
  WriteBytes(Config("SAM.LOG1"), log);
  const std::string dirty = ReadWholeFile(Config("SAM"));
  const std::string logBytes = ReadWholeFile(Config("SAM.LOG1"));

  ProgramRun run = Hivora(Root() + " /Silent");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(HasKey(Config("SAM"), "Added")) << "the copy is the hive as its log leaves it";
  EXPECT_TRUE(ReadWholeFile(Config("SAM.bak")) == dirty);
  EXPECT_TRUE(ReadWholeFile(Config("SAM.bak.LOG1")) == logBytes);
  EXPECT_EQ(fs::file_size(Config("SAM.LOG1")), 0u);
  EXPECT_EQ(fs::file_size(Config("SAM.LOG2")), 0u);
  EXPECT_TRUE(HasKey(Config("SAM.bak"), "Added")) << "the backup still recovers with its log";

  run = Hivora(Root() + " --restore-backups");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == dirty);
  EXPECT_TRUE(ReadWholeFile(Config("SAM.LOG1")) == logBytes);
  EXPECT_TRUE(HasKey(Config("SAM"), "Added"));
}

TEST_F(LifecycleProgramTest, SilentWithAHiveLeftAloneIsPartlyDone) {
  std::ofstream(Config("DEFAULT"), std::ios::binary | std::ios::in | std::ios::out) << "not a hive";
  const ProgramRun run = Hivora(Root() + " /Silent");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("hivora: partly done"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("hivora: DEFAULT: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(left alone)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SAM replaced"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Config("DEFAULT.bak")));
}

// On a terminal the start asks what to do with replacements that wait.
TEST_F(LifecycleProgramTest, OnATerminalPendingReplacementsAreOfferedToApplyOrLeave) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
  LeavePending();
  auto onTerminal = [&](const char* answer) {
    return Shell("printf '" + std::string(answer) + "\\n' | script -qec \"'" HIVORA_PROGRAM "' " + Root() +
                 "\" /dev/null");
  };
  ProgramRun run = onTerminal("q");
  EXPECT_NE(run.out.find("[r] restart now"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("the replacements still wait; nothing was done"), std::string::npos) << run.out;
  ExpectOriginals();
  run = onTerminal("r");
  EXPECT_NE(run.out.find("SAM replaced"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM.bak")) == originals.at("SAM"));
}

TEST_F(LifecycleProgramTest, ExitCodesOfScanAndCommandLine) {
  EXPECT_EQ(Hivora(Root() + " /Scan '" + (dir / "report.ini").string() + "'").exitCode, 0);
  // A report that cannot be written is found out before the analysis.
  ProgramRun run = Hivora(Root() + " /Scan '" + (dir / "none" / "report.ini").string() + "'");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("report.ini cannot be written: No such file or directory"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Config("SAM.hvx")));
  run = Hivora(Root() + " --apply-pending --discard-pending");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  run = Hivora(Root() + " --restore-point");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  run = Hivora(Root() + " --apply-pending=yes");
  EXPECT_EQ(run.exitCode, 2) << run.out;
}

}  // namespace
}  // namespace hv
