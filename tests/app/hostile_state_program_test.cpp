// The Linux program on an installation whose own state files were written
// by someone else: a journal or restore point naming host files or files the
// program never writes, a broken restore point copy, a folder without
// Windows. Nothing outside the installation may change, nothing in such a
// file is acted on, and the refusal names the file and line (exit 2).
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/offline/demo_machine.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;
using test::ReadWholeFile;

constexpr const char* kMagic = "Talvix Hivora pending replacements 1\n";
constexpr const char* kConfig = "C:\\Windows\\System32\\config\\";

// A host file outside the installation; nothing of it may change.
struct Canary {
  fs::path file;
  std::string bytes;
  struct stat before {};
  explicit Canary(fs::path f) : file(std::move(f)), bytes("canary " + file.string()) {
    std::ofstream(file, std::ios::binary) << bytes;
    ::chmod(file.c_str(), 0640);
    ::stat(file.c_str(), &before);
  }
  void ExpectUntouched(const std::string& when) const {
    struct stat now {};
    ASSERT_EQ(::stat(file.c_str(), &now), 0) << when << ": " << file << " is gone";
    EXPECT_EQ(ReadWholeFile(file), bytes) << when;
    EXPECT_EQ(now.st_mode, before.st_mode) << when;
    EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec) << when;
    EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << when;
    for (const char* suffix : {".LOG1", ".LOG2", ".before-restore", ".bak", ".compacted", ".rptmp"}) {
      EXPECT_FALSE(fs::exists(file.string() + suffix)) << when << ": " << suffix;
    }
  }
};

class HostileStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(offline::EnsureDemoMachine(c, &error)) << error;
    sam = ReadWholeFile(Config("SAM"));
  }

  fs::path Config(const std::string& name) const { return c / "Windows" / "System32" / "config" / name; }
  fs::path State(const std::string& name) const { return c / "ProgramData" / "Talvix Hivora" / name; }
  std::string Root() const { return "--root '" + c.string() + "'"; }

  ProgramRun Hivora(const std::string& arguments) const {
    fs::create_directories(dir / "run");
    fs::permissions(dir / "run", fs::perms::owner_all);
    return test::RunShell("export XDG_CONFIG_HOME='" + (dir / "config").string() + "' XDG_RUNTIME_DIR='" +
                          (dir / "run").string() + "'; '" HIVORA_PROGRAM "' " + arguments + " </dev/null 2>&1");
  }

  void WriteJournal(const std::string& body) const {
    fs::create_directories(State(""));
    std::ofstream(State("pending.journal"), std::ios::binary | std::ios::trunc) << kMagic << body;
  }

  void ExpectHivesAsTheyWere(const std::string& when) const {
    EXPECT_TRUE(ReadWholeFile(Config("SAM")) == sam) << when;
    EXPECT_FALSE(fs::exists(Config("SAM.bak"))) << when;
  }

  test::TempDir dir;
  fs::path c = dir / "c";
  std::string sam;
  Canary victim{dir / "victim"};
  Canary secret{dir / "secret"};
};

TEST_F(HostileStateTest, AJournalNamingAnythingButTheProgramsOwnFilesIsRefusedWhole) {
  const std::string hive = std::string(kConfig) + "SAM";
  const std::string v = victim.file.string();
  const std::string fp = "28672,1,1,1;-;-";
  struct Case {
    std::string body;
    int line;
  };
  const std::vector<Case> cases = {
      // A host path in each field, in each state.
      {"state=restarting\nreplace=C:\\evil.txt|C:\\evil2|" + v + "\n", 3},
      {"state=restarting\nreplace=" + secret.file.string() + "|" + secret.file.string() + "|C:\\stolen\n", 3},
      {"state=pending\nreplace=" + hive + "|" + v + "|" + hive + ".bak\n", 3},
      {"state=restoring\nreplace=" + hive + "|" + hive + ".rptmp|" + v + "\n", 3},
      {"state=pending\napplied=" + hive + "|" + v + "|" + fp + "\n", 3},
      {"state=pending\napplied=" + v + "|" + hive + ".bak|" + fp + "\n", 3},
      // Files of the installation the program never writes, and escapes.
      {"state=restarting\nreplace=C:\\Windows\\win.ini|C:\\Windows\\win.ini.hvx|C:\\Windows\\win.ini.bak\n", 3},
      {"state=restarting\nreplace=" + hive + "|C:\\Windows\\System32\\config\\SYSTEM|" + hive + ".bak\n", 3},
      {"state=restarting\nreplace=" + hive + "|" + hive + ".hvx|C:\\Windows\\..\\..\\victim\n", 3},
      {"state=restarting\nreplace=" + hive + "|" + hive + std::string(".hv\0x", 5) + "|" + hive + ".bak\n", 0},
      {"state=restarting\nreplace=" + hive + "|" + hive + ".hvx|" + hive + ".bak" + std::string(2000, 'k') + "\n",
       3},
      {"state=restarting\nreplace=Q:\\SAM|Q:\\SAM.hvx|Q:\\SAM.bak\n", 3},
      // States and lines the program does not write.
      {"state=finished\n", 2},
      {"state=pending\nstate=restarting\n", 3},
      {"state=pending\nrun=/bin/sh\n", 3},
  };
  for (const Case& k : cases) {
    WriteJournal(k.body);
    const std::string journal = ReadWholeFile(State("pending.journal"));
    const std::string named = "pending.journal" + (k.line > 0 ? ", line " + std::to_string(k.line) : "") + ": ";
    for (const char* way : {" /Silent", " /Scan '" "report.ini'", " --apply-pending", " --restore-backups"}) {
      const ProgramRun run = Hivora(Root() + way);
      EXPECT_EQ(run.exitCode, 2) << k.body << way << "\n" << run.out;
      EXPECT_NE(run.out.find(named), std::string::npos) << k.body << way << "\n" << run.out;
      EXPECT_NE(run.out.find("nothing in it was acted on"), std::string::npos) << run.out;
      victim.ExpectUntouched(k.body + way);
      secret.ExpectUntouched(k.body + way);
      ExpectHivesAsTheyWere(k.body + way);
      EXPECT_EQ(ReadWholeFile(State("pending.journal")), journal) << k.body << way;
    }
    // A listing reads no journal; discarding removes the journal alone.
    ProgramRun run = Hivora(Root() + " --list-restore-points");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    run = Hivora(Root() + " --discard-pending");
    EXPECT_EQ(run.exitCode, 0) << k.body << run.out;
    EXPECT_NE(run.out.find("the invalid journal was removed"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(State("pending.journal")));
    victim.ExpectUntouched(k.body + " --discard-pending");
    secret.ExpectUntouched(k.body + " --discard-pending");
    EXPECT_FALSE(fs::exists(c / "stolen"));
    ExpectHivesAsTheyWere(k.body + " --discard-pending");
  }
}

// A hive named as Windows names its hives stays valid in the journal when it
// leaves the hivelist (here: the users' hives, once SOFTWARE is gone).
TEST_F(HostileStateTest, AJournalOfHivesThatLeftTheHivelistStaysValid) {
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  fs::remove(Config("SOFTWARE"));
  const ProgramRun run = Hivora(Root() + " --restore-backups");
  EXPECT_NE(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("SAM restored from SAM.bak"), std::string::npos) << run.out;
}

TEST_F(HostileStateTest, AJournalThatIsNoPlainFileIsRefused) {
  fs::create_directories(State(""));
  fs::create_symlink(victim.file, State("pending.journal"));
  ProgramRun run = Hivora(Root() + " /Silent");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("pending.journal: is a link"), std::string::npos) << run.out;
  run = Hivora(Root() + " --discard-pending");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_FALSE(fs::exists(fs::symlink_status(State("pending.journal"))));
  victim.ExpectUntouched("journal as a link");

  ASSERT_EQ(::mkfifo(State("pending.journal").c_str(), 0600), 0);
  run = Hivora(Root() + " /Silent");  // must not hang on the FIFO
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("pending.journal: is not a plain file"), std::string::npos) << run.out;
}

TEST_F(HostileStateTest, AListingReadsAndChangesNothing) {
  // An interrupted restart waits: only a start that works finishes it.
  ASSERT_EQ(Hivora(Root() + " /Silent").exitCode, 0);
  const std::string compacted = ReadWholeFile(Config("SAM"));
  const std::string hive = std::string(kConfig) + "SAM";
  fs::copy_file(Config("SAM.bak"), Config("SAM.rptmp"));
  WriteJournal("state=restoring\nreplace=" + hive + "|" + hive + ".rptmp|" + hive + ".before-restore\n");
  fs::remove(State("hivora.lock"));
  ProgramRun run = Hivora(Root() + " --list-restore-points");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == compacted);
  EXPECT_TRUE(fs::exists(Config("SAM.rptmp")));
  EXPECT_FALSE(fs::exists(State("hivora.lock")));
  run = Hivora(Root() + " --help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_FALSE(fs::exists(State("hivora.lock")));
  // Any other start finishes it first, as before.
  run = Hivora(Root() + " --restore-backups");
  EXPECT_NE(run.out.find("an interrupted restore was finished"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadWholeFile(Config("SAM")) == sam);
}

TEST_F(HostileStateTest, ARestorePointNamingAnythingButItsOwnCopiesIsRefusedWhole) {
  const fs::path point = State("RestorePoints") / "20260101-120000";
  fs::create_directories(point / "C" / "Windows" / "System32" / "config");
  fs::copy_file(Config("SAM"), point / "C/Windows/System32/config/SAM");
  fs::copy_file(Config("SAM"), point / "copy");
  const std::string head = "[RestorePoint]\nDescription=x\nTime=2026-01-01 12:00:00\nSequence=1\n[Hive1]\nName=SAM\n";
  struct Case {
    std::string body;
    int line;
  };
  const std::vector<Case> cases = {
      {head + "File=" + victim.file.string() + "\nCopy=copy\n", 7},
      {head + "File=C:\\Windows\\System32\\config\\SAM\nCopy=copy\n", 8},
      {head + "File=C:\\Windows\\System32\\config\\SAM\nCopy=" + (point / "copy").string() + "\n", 8},
      {head + "File=C:\\Windows\\System32\\config\\SAM\nCopy=C/Windows/System32/config/../config/SAM\n", 8},
      {head + "File=C:\\Windows\\win.ini\nCopy=C/Windows/win.ini\n", 7},
      {head + "File=C:\\Windows\\System32\\config\\SAM\nCopy=C/Windows/System32/config/SAM\nRun=x\n", 9},
      {head + "File=C:\\Windows\\System32\\config\\SAM\nCopy=C/Windows/System32/config/SAM\n[Hive3]\n", 9},
      {"[RestorePoint]\nDescription=a" + std::string(1, '\0') + "b\n", 0},
  };
  for (const Case& k : cases) {
    std::ofstream(point / "RestorePoint.ini", std::ios::binary | std::ios::trunc) << k.body;
    const std::string named =
        "RestorePoint.ini" + (k.line > 0 ? ", line " + std::to_string(k.line) : std::string()) + ": ";
    ProgramRun run = Hivora(Root() + " --restore-point 20260101-120000");
    EXPECT_EQ(run.exitCode, 2) << k.body << run.out;
    EXPECT_NE(run.out.find(named), std::string::npos) << k.body << run.out;
    EXPECT_NE(run.out.find("nothing was restored"), std::string::npos) << run.out;
    run = Hivora(Root() + " --list-restore-points");
    EXPECT_EQ(run.exitCode, 2) << k.body << run.out;
    EXPECT_NE(run.out.find("20260101-120000  invalid: "), std::string::npos) << run.out;
    victim.ExpectUntouched(k.body);
    ExpectHivesAsTheyWere(k.body);
    EXPECT_FALSE(fs::exists(Config("SAM.before-restore")));
  }
}

TEST_F(HostileStateTest, ABrokenRestorePointCopyIsNotPutBack) {
  const fs::path point = State("RestorePoints") / "20260101-120000";
  fs::create_directories(point / "C" / "Windows" / "System32" / "config");
  const std::string bytes = ReadWholeFile(Config("SAM"));
  std::ofstream(point / "C/Windows/System32/config/SAM", std::ios::binary) << "regf" << bytes.substr(4, 4092);
  std::ofstream(point / "RestorePoint.ini")
      << "[RestorePoint]\nDescription=x\nTime=t\nSequence=1\n[Hive1]\nName=\\REGISTRY\\MACHINE\\SAM\n"
         "File=C:\\Windows\\System32\\config\\SAM\nCopy=C/Windows/System32/config/SAM\n";
  const ProgramRun run = Hivora(Root() + " --restore-point 20260101-120000");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("the copy of C:\\Windows\\System32\\config\\SAM cannot be put back: "), std::string::npos)
      << run.out;
  ExpectHivesAsTheyWere("broken copy");
  EXPECT_FALSE(fs::exists(Config("SAM.rptmp")));
  EXPECT_FALSE(fs::exists(Config("SAM.before-restore")));
}

TEST_F(HostileStateTest, AFolderWithoutWindowsGetsNothingOfTheProgram) {
  const fs::path empty = dir / "empty";
  fs::create_directories(empty / "Windows");
  for (const char* way : {" /Silent", " --list-restore-points", " --discard-pending"}) {
    const ProgramRun run = Hivora("--root '" + empty.string() + "'" + way);
    EXPECT_EQ(run.exitCode, 2) << run.out;
    EXPECT_NE(run.out.find("no Windows installation"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(empty / "ProgramData")) << way;
  }
}

}  // namespace
}  // namespace hv
