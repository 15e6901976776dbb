// The Linux program's answer to each command line, installation state and
// fault: its exit code, the line it says on stderr and what it changed.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/offline/demo_machine.h"
#include "platform/offline/machine_description.h"
#include "platform/offline/offline_machine.h"
#include "platform/offline/offline_platform.h"
#include "platform/offline/settle.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

using test::ProgramRun;
using test::ReadWholeFile;

// Every file of a folder with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadWholeFile(entry.path());
  }
  return files;
}

enum class Changes {
  kNothing,     // not one file of the installation, not even the lock
  kNoHive,      // the hives are as they were (the state folder may be made)
  kHivesReplaced,
  kExactly,     // the files named in the row's `changed`, and no other
  kEarlierBackupKept,  // as kExactly, and SAM.bak with its logs is SAM with its logs before any restart
  kOriginalPutBack,    // SAM with its logs is as it was before any restart
};

// The journal the run finds.
enum class Journal {
  kNone,
  kPending,     // SOFTWARE and SAM requested for replacement, the restart never came
  kRestarting,  // as kPending, then a restart in this process that the row's fault stops or fails
  kRestoring,   // as kRestarting run to its end, then --restore-backups that the row's fault stops
  kRestartedAgain,  // SAM given (empty) logs; as kRestarting run to its end, then as kRestarting again
  kInvalid,     // a file that is no journal of the program
};

// The files that differ between two snapshots (added, removed or changed),
// sorted, joined with spaces; the hives' folder is "config/", the program's
// state folder "state/". The lock file's bytes are its owner's, no change.
std::string Differing(const std::map<std::string, std::string>& before,
                      const std::map<std::string, std::string>& after) {
  const std::string lock = "ProgramData/Talvix Hivora/hivora.lock";
  std::vector<std::string> names;
  for (const auto& [file, bytes] : before) {
    if (!after.count(file) || (after.at(file) != bytes && file != lock)) names.push_back(file);
  }
  for (const auto& [file, bytes] : after) {
    if (!before.count(file)) names.push_back(file);
  }
  for (std::string& name : names) {
    for (const auto& [folder, shown] : {std::pair<std::string, std::string>{"Windows/System32/config/", "config/"},
                                        {"ProgramData/Talvix Hivora/", "state/"}}) {
      if (name.rfind(folder, 0) == 0) name = shown + name.substr(folder.size());
    }
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
  return joined;
}

class SessionProgramTest : public ::testing::Test {
 public:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(offline::EnsureDemoMachine(c, &error)) << error;
  }

  fs::path Config(const std::string& name) const { return c / "Windows" / "System32" / "config" / name; }

  ProgramRun Hivora(const std::string& arguments) const {
    const std::string command = "cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config").string() +
                                "' '" HIVORA_PROGRAM "' --root '" + root.string() + "' " + extraOptions + arguments +
                                " </dev/null 2>&1";
    return test::RunShell(command);
  }

  void Break(const char* hive) const {
    std::fstream(Config(hive), std::ios::binary | std::ios::in | std::ios::out) << "not a hive";
  }

  // An offline platform on the installation, as the program makes one.
  std::unique_ptr<offline::OfflinePlatform> Platform() const {
    std::string error;
    auto machine = offline::DescribeRoot(c, &error);
    EXPECT_TRUE(machine) << error;
    if (!machine) return nullptr;
    machine->wow64 = false;  // paths as a 64-bit process sees them
    offline::OfflineOptions options;
    options.machine = *machine;
    options.programFolder = dir / "config";
    return std::make_unique<offline::OfflinePlatform>(std::move(options));
  }

  // Compacted copies of SOFTWARE and SAM requested for replacement, as a run
  // killed before its restart leaves them.
  void LeavePending() const {
    auto os = Platform();
    ASSERT_TRUE(os && os->owner());
    test::Enable(*os, "SeBackupPrivilege");
    test::Enable(*os, "SeRestorePrivilege");
    for (const char* name : {"SOFTWARE", "SAM"}) {
      HKEY key = nullptr;
      ASSERT_EQ(os->RegOpenKeyExA(HkeyLocalMachine(), name, 0,
                    access::kKeyQueryValue | access::kKeyWow64_64Key, &key), 0);
      const std::string config = std::string("C:\\Windows\\System32\\config\\") + name;
      ASSERT_EQ(os->RegSaveKeyA(key, (config + ".hvx").c_str()), 0);
      ASSERT_EQ(os->RegReplaceKeyA(HkeyLocalMachine(), name, (config + ".hvx").c_str(), (config + ".bak").c_str()), 0);
      os->RegCloseKey(key);
    }
  }

  // The restart of the pending replacements, stopped as by a kill after
  // `crashAfter` of its steps (negative: it runs to its end).
  void Restart() const {
    auto os = Platform();
    ASSERT_TRUE(os && os->owner());
    os->journal().SetCrashAfterForTesting(crashAfter);
    os->journal().ApplyAll();
  }

  // --restore-backups after a whole restart, stopped as Restart is, or
  // failing for SAM when `samImmutableAtRestore`.
  void RestartThenRestore() {
    const int stop = std::exchange(crashAfter, -1);
    Restart();
    if (samImmutableAtRestore) MakeImmutable(Config("SAM"));
    auto os = Platform();
    ASSERT_TRUE(os && os->owner());
    os->journal().SetCrashAfterForTesting(stop);
    (void)offline::RestoreBackups(*os);
  }

  // Faults that need root or a file system that can do them: why this row
  // cannot be run here, or empty.
  void NeedsRoot(const char* what) {
    if (::geteuid() != 0) skip = std::string(what) + " needs root";
  }
  void MakeImmutable(const fs::path& file) {
    NeedsRoot("an immutable file");
    if (!skip.empty()) return;
    if (std::system(("chattr +i '" + file.string() + "' 2>/dev/null").c_str()) != 0) {
      skip = "chattr +i is not supported here";
      return;
    }
    immutable.push_back(file);
  }
  // The installation on a small file system, filled to the last byte, or
  // to the last inode but `inodesLeft`.
  void FillTheDisk(int inodesLeft = -1) {
    NeedsRoot("a full disk (tmpfs)");
    if (!skip.empty()) return;
    const fs::path copy = dir / "full-copy";
    fs::remove_all(copy);
    fs::rename(c, copy);
    fs::create_directories(c);
    if (::mount("tmpfs", c.c_str(), "tmpfs", 0, inodesLeft < 0 ? "size=2m" : "size=8m,nr_inodes=400") != 0) {
      skip = "a tmpfs cannot be mounted here";
      fs::remove(c);
      fs::rename(copy, c);
      return;
    }
    mounted.push_back(c);
    // Times kept to the nanosecond: they are part of a pending copy's fingerprint.
    ASSERT_EQ(std::system(("cp -a '" + copy.string() + "/.' '" + c.string() + "'").c_str()), 0);
    fs::remove_all(copy);
    if (inodesLeft < 0) {
      std::ofstream filler(c / "filler", std::ios::binary);
      const std::string block(4096, '\0');
      while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) filler.flush();
      return;
    }
    fs::create_directories(c / "fill");
    int made = 0;
    while (std::ofstream(c / "fill" / std::to_string(made))) ++made;
    fs::remove(c / "fill" / std::to_string(made));  // a failed open may still have left its name
    for (int i = 1; i <= inodesLeft && made - i >= 0; ++i) fs::remove(c / "fill" / std::to_string(made - i));
  }
  // The installation seen through a read-only bind mount.
  void MountReadOnly() {
    NeedsRoot("a read-only bind mount");
    if (!skip.empty()) return;
    const fs::path at = dir / "ro";
    fs::create_directories(at);
    if (::mount(c.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      skip = "a bind mount cannot be made here";
      return;
    }
    mounted.push_back(at);
    if (::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      skip = "a bind mount cannot be made read-only here";
      return;
    }
    root = at;
    extraOptions = "--work-dir '" + (dir / "work").string() + "' ";
  }
  // Undoes the row's faults.
  void Mend() {
    for (const fs::path& file : immutable) (void)std::system(("chattr -i '" + file.string() + "'").c_str());
    for (auto at = mounted.rbegin(); at != mounted.rend(); ++at) ::umount2(at->c_str(), MNT_DETACH);
    immutable.clear();
    mounted.clear();
    root = c;
    extraOptions.clear();
    crashAfter = -1;
    samImmutableAtRestore = false;
    skip.clear();
  }
  void TearDown() override { Mend(); }

  test::TempDir dir;
  fs::path c = dir / "c";
  // Set by a row's fault.
  fs::path root = c;          // what --root names
  std::string extraOptions;   // more options for the run
  int crashAfter = -1;        // Restart stops after this many steps
  bool samImmutableAtRestore = false;
  std::string skip;           // why the row cannot be run here
  std::vector<fs::path> immutable;
  std::vector<fs::path> mounted;
};

struct Case {
  const char* what;
  std::string arguments;
  Journal journal;
  std::function<void(SessionProgramTest&)> fault;
  int exitCode;
  const char* line;  // said on stderr; several such lines apart by \n
  Changes changes;
  bool reportWritten;
  const char* changed = "";  // kExactly: Differing() of the installation before and after
};

TEST_F(SessionProgramTest, EachCommandLineStateAndFaultHasItsExitCodeLineAndChanges) {
  auto none = [](SessionProgramTest&) {};
  auto brokenDefault = [](SessionProgramTest& t) { t.Break("DEFAULT"); };
  auto brokenSoftware = [](SessionProgramTest& t) { t.Break("SOFTWARE"); };
  auto stateFolderBlocked = [](SessionProgramTest& t) {
    fs::create_directories(t.c / "ProgramData");
    std::ofstream(t.c / "ProgramData" / "Talvix Hivora") << "a file where the state folder goes";
  };
  auto copyGone = [](SessionProgramTest& t) { fs::remove(t.Config("SAM.hvx")); };
  // Windows booted in between and wrote SOFTWARE's log alone.
  auto hiveChanged = [](SessionProgramTest& t) {
    std::ofstream(t.Config("SOFTWARE.LOG1"), std::ios::binary) << std::string(512, 'x');
  };
  // The backup can never be named SAM.bak.
  auto backupInTheWay = [](SessionProgramTest& t) { fs::create_directories(t.Config("SAM.bak") / "in the way"); };
  auto immutableSam = [](SessionProgramTest& t) { t.MakeImmutable(t.Config("SAM")); };
  // The restart fails for SAM after it made SAM's backup: its copy cannot be renamed.
  auto immutableSamCopy = [](SessionProgramTest& t) { t.MakeImmutable(t.Config("SAM.hvx")); };
  auto killedAt = [](int step) { return [step](SessionProgramTest& t) { t.crashAfter = step; }; };
  auto immutableAtRestore = [](SessionProgramTest& t) {
    t.NeedsRoot("an immutable file");
    t.samImmutableAtRestore = true;
  };
  auto diskFull = [](SessionProgramTest& t) { t.FillTheDisk(); };
  // No inode left for a new hive's logs once it is in place.
  auto noInodes = [](SessionProgramTest& t) { t.FillTheDisk(1); };
  auto readOnly = [](SessionProgramTest& t) { t.MountReadOnly(); };
  // A restart killed after its first step, on a read-only mount.
  auto readOnlyStuck = [](SessionProgramTest& t) {
    t.crashAfter = 1;
    t.MountReadOnly();
  };
  const Case cases[] = {
      // The command line, checked before any work.
      {"misspelt switch", "/Slient", Journal::kNone, none, 2, "hivora: unknown switch /Slient",
       Changes::kNothing, false},
      {"a switch not first", "-q /Silent", Journal::kNone, none, 2, "hivora: unknown switch -q",
       Changes::kNothing, false},
      {"a switch after a word", "word /Silent", Journal::kNone, none, 2,
       "the switch /Silent must be the first argument",
       Changes::kNothing, false},
      {"/Scan without its file", "/Scan", Journal::kNone, none, 2, "hivora: /Scan needs the report file",
       Changes::kNothing, false},
      {"/Silent with more", "/Silent report.ini", Journal::kNone, none, 2,
       "unexpected argument report.ini after /Silent",
       Changes::kNothing, false},
      {"a switch with a settling option", "/Silent --apply-pending", Journal::kNone, none, 2,
       "a switch does not go with",
       Changes::kNothing, false},
      {"no terminal and no switch", "", Journal::kNone, none, 2, "use /Scan FILE or /Silent", Changes::kNothing, false},
      {"a report in a missing folder", "/Scan none/report.ini", Journal::kNone, none, 2,
       "report.ini cannot be written: No such file or directory", Changes::kNothing, false},
      {"a report that is a folder", "/Scan folder", Journal::kNone, none, 2, "folder is a folder",
       Changes::kNothing, false},
      {"unknown option", "--bogus /Silent", Journal::kNone, none, 2, "unknown option --bogus",
       Changes::kNothing, false},
      {"a script with an unknown control", "--script bad.script", Journal::kNone, none, 2, "the script had 1 error",
       Changes::kNoHive, false},
      // /Scan by the outcome of its analysis.
      {"/Scan of a sound installation", "/Scan report.ini", Journal::kNone, none, 0, nullptr, Changes::kNoHive, true},
      {"/Scan with a hive left out", "/Scan report.ini", Journal::kNone, brokenDefault, 3,
       "hivora: .DEFAULT left out: " , Changes::kNoHive, true},
      {"/Scan with SOFTWARE not copied", "/Scan report.ini", Journal::kNone, brokenSoftware, 1,
       "hivora: the analysis failed: SOFTWARE could not be copied", Changes::kNoHive, true},
      // /Silent likewise.
      {"/Silent of a sound installation", "/Silent", Journal::kNone, none, 0, "SAM replaced",
       Changes::kHivesReplaced, false},
      {"/Silent with a hive left alone", "/Silent", Journal::kNone, brokenDefault, 3, "hivora: partly done",
       Changes::kHivesReplaced, false},
      {"/Silent with SOFTWARE not copied", "/Silent", Journal::kNone, brokenSoftware, 1,
       "the analysis failed: SOFTWARE could not be copied: ", Changes::kNoHive, false},
      // The installation's state folder cannot be made: the reason in words.
      {"no state folder", "/Scan report.ini", Journal::kNone, stateFolderBlocked, 2,
       "Talvix Hivora: Not a directory", Changes::kNoHive, false},
      // Nothing to settle is success for every settling option alike.
      {"nothing to apply", "--apply-pending", Journal::kNone, none, 0, "no replacements wait", Changes::kNoHive, false},
      {"nothing to discard", "--discard-pending", Journal::kNone, none, 0, "no replacements wait",
       Changes::kNoHive, false},
      {"nothing to restore", "--restore-backups", Journal::kNone, none, 0, "nothing to restore",
       Changes::kNoHive, false},
      // Replacements that wait for a restart that never came.
      {"pending: /Scan analyses the hives as they are", "/Scan report.ini", Journal::kPending, none, 0,
       "replacements of C:\\Windows\\System32\\config\\SOFTWARE, C:\\Windows\\System32\\config\\SAM wait for a "
       "restart that never came; settle them with --apply-pending (restart now) or --discard-pending",
       Changes::kExactly, true, ""},
      {"pending: /Silent leaves them", "/Silent", Journal::kPending, none, 1, "wait for a restart that never came",
       Changes::kExactly, false, ""},
      {"pending: applied", "--apply-pending", Journal::kPending, none, 0, "SAM replaced: ", Changes::kExactly, false,
       "config/SAM config/SAM.LOG1 config/SAM.LOG2 config/SAM.bak config/SAM.hvx config/SOFTWARE "
       "config/SOFTWARE.LOG1 config/SOFTWARE.LOG2 config/SOFTWARE.bak config/SOFTWARE.hvx state/pending.journal"},
      {"pending: discarded", "--discard-pending", Journal::kPending, none, 0,
       "SAM left alone: its replacement was discarded", Changes::kExactly, false,
       "config/SAM.hvx config/SOFTWARE.hvx state/pending.journal"},
      {"pending: no backups to restore before them", "--restore-backups", Journal::kPending, none, 1,
       "replacements wait for a restart; settle them first (--apply-pending or --discard-pending)",
       Changes::kExactly, false, ""},
      {"pending, copy gone: the others applied", "--apply-pending", Journal::kPending, copyGone, 3,
       "SAM left alone: its copy is gone; the hive stays as it is", Changes::kExactly, false,
       "config/SOFTWARE config/SOFTWARE.LOG1 config/SOFTWARE.LOG2 config/SOFTWARE.bak config/SOFTWARE.hvx "
       "state/pending.journal"},
      {"pending, copy gone: /Scan", "/Scan report.ini", Journal::kPending, copyGone, 0,
       "wait for a restart that never came", Changes::kExactly, true, ""},
      {"pending, hive changed since its copy", "--apply-pending", Journal::kPending, hiveChanged, 3,
       "SOFTWARE left alone: it changed since its copy was made", Changes::kExactly, false,
       "config/SAM config/SAM.LOG1 config/SAM.LOG2 config/SAM.bak config/SAM.hvx config/SOFTWARE.hvx "
       "state/pending.journal"},
      {"pending, rename refused", "--apply-pending", Journal::kPending, backupInTheWay, 3,
       "SAM left alone: its backup could not be named SAM.bak (Is a directory)", Changes::kExactly, false,
       "config/SOFTWARE config/SOFTWARE.LOG1 config/SOFTWARE.LOG2 config/SOFTWARE.bak config/SOFTWARE.hvx "
       "state/pending.journal"},
      // A restart that failed for SAM each time it was tried: it never blocks an analysis.
      {"restarting, rename refused: /Scan", "/Scan report.ini", Journal::kRestarting, backupInTheWay, 0,
       "the restart could not replace C:\\Windows\\System32\\config\\SAM: its backup could not be named SAM.bak (Is "
       "a directory); --restore-backups undoes that restart",
       Changes::kExactly, true, ""},
      {"restarting, rename refused, a hive left out: /Scan", "/Scan report.ini", Journal::kRestarting,
       [&](SessionProgramTest& t) {
         backupInTheWay(t);
         t.Break("DEFAULT");
       },
       3, "the restart could not replace C:\\Windows\\System32\\config\\SAM\nhivora: .DEFAULT left out: ",
       Changes::kExactly, true, ""},
      {"restarting, rename refused: /Silent", "/Silent", Journal::kRestarting, backupInTheWay, 1,
       "the restart could not replace C:\\Windows\\System32\\config\\SAM", Changes::kExactly, false, ""},
      {"restarting, rename refused: applied again in vain", "--apply-pending", Journal::kRestarting, backupInTheWay,
       1, "SAM left alone: its backup could not be named SAM.bak (Is a directory)", Changes::kExactly, false, ""},
      {"restarting, rename refused: the way out told", "--apply-pending", Journal::kRestarting, backupInTheWay, 1,
       "the replacement of C:\\Windows\\System32\\config\\SAM stays in the journal, tried again at each start; "
       "--restore-backups undoes this restart",
       Changes::kExactly, false, ""},
      {"restarting, rename refused: discarded", "--discard-pending", Journal::kRestarting, backupInTheWay, 0,
       "SAM left alone: its replacement was discarded", Changes::kExactly, false,
       "config/SAM.hvx state/pending.journal"},
      {"restarting, rename refused: undone", "--restore-backups", Journal::kRestarting, backupInTheWay, 0,
       "SAM left alone: the restart could not replace it; its replacement was dropped", Changes::kExactly, false,
       "config/SAM.hvx config/SOFTWARE config/SOFTWARE.bak config/SOFTWARE.compacted config/SOFTWARE.compacted.LOG1 "
       "config/SOFTWARE.compacted.LOG2 state/pending.journal"},
      {"restarting, rename refused: the window opens", "--script analyse.script", Journal::kRestarting,
       backupInTheWay, 0, "warning: A restart could not replace C:\\Windows\\System32\\config\\SAM",
       Changes::kExactly, false, ""},
      {"restarting, rename refused: the window commits nothing", "--script defrag.script", Journal::kRestarting,
       backupInTheWay, 2, "click bDefragRegistry: disabled", Changes::kExactly, false, ""},
      {"restarting, immutable hive: /Scan", "/Scan report.ini", Journal::kRestarting, immutableSam, 0,
       "the restart could not replace C:\\Windows\\System32\\config\\SAM: the new hive could not be put in place "
       "(Operation not permitted)",
       Changes::kExactly, true, ""},
      {"restarting, immutable hive: undone", "--restore-backups", Journal::kRestarting, immutableSam, 0,
       "SOFTWARE restored from SOFTWARE.bak", Changes::kExactly, false,
       "config/SAM.hvx config/SOFTWARE config/SOFTWARE.bak config/SOFTWARE.compacted config/SOFTWARE.compacted.LOG1 "
       "config/SOFTWARE.compacted.LOG2 state/pending.journal"},
      // A second restart that fails for SAM after making SAM's backup: SAM keeps
      // the backup of the first, and --restore-backups puts the original back.
      {"restarted again, failing after the backup: /Scan", "/Scan report.ini", Journal::kRestartedAgain,
       immutableSamCopy, 0,
       "the restart could not replace C:\\Windows\\System32\\config\\SAM: the new hive could not be put in place "
       "(Operation not permitted)",
       Changes::kEarlierBackupKept, true, ""},
      {"restarted again, failing after the backup: discarded", "--discard-pending", Journal::kRestartedAgain,
       immutableSamCopy, 0, "SAM left alone: its replacement was discarded", Changes::kEarlierBackupKept, false,
       "state/pending.journal"},
      {"restarted again, failing after the backup: the original back", "--restore-backups",
       Journal::kRestartedAgain, immutableSamCopy, 0, "SAM restored from SAM.bak", Changes::kOriginalPutBack, false},
      {"restarted again, killed once SAM's backup was made, then failing: /Scan", "/Scan report.ini",
       Journal::kRestartedAgain,
       [&](SessionProgramTest& t) {
         immutableSamCopy(t);
         t.crashAfter = 17;
       },
       0, "the restart could not replace C:\\Windows\\System32\\config\\SAM", Changes::kEarlierBackupKept, true,
       "config/SAM.bak config/SAM.bak.LOG1 config/SAM.bak.LOG2 config/SAM.bak.old config/SAM.bak.old.LOG1 "
       "config/SAM.bak.old.LOG2"},
      {"restarted again, killed while the earlier backup was put back: undone", "--restore-backups",
       Journal::kRestartedAgain,
       [&](SessionProgramTest& t) {
         immutableSamCopy(t);
         t.crashAfter = 22;
       },
       0, "SAM restored from SAM.bak", Changes::kOriginalPutBack, false},
      // A restart killed after each of a few of its steps is finished at the next start.
      {"killed at step 1: /Scan", "/Scan report.ini", Journal::kRestarting, killedAt(1), 0,
       "an interrupted restart was finished:", Changes::kExactly, true,
       "config/SAM config/SAM.LOG1 config/SAM.LOG2 config/SAM.bak config/SAM.hvx config/SOFTWARE config/SOFTWARE.LOG1 "
       "config/SOFTWARE.LOG2 config/SOFTWARE.bak config/SOFTWARE.bak.hvtmp config/SOFTWARE.hvx state/pending.journal"},
      {"killed at step 5: /Silent", "/Silent", Journal::kRestarting, killedAt(5), 0,
       "an interrupted restart was finished:", Changes::kHivesReplaced, false},
      {"killed at step 9: undone", "--restore-backups", Journal::kRestarting, killedAt(9), 0,
       "SAM restored from SAM.bak", Changes::kExactly, false,
       "config/SAM.LOG1 config/SAM.LOG2 config/SAM.bak.hvtmp config/SAM.compacted config/SAM.compacted.LOG1 "
       "config/SAM.compacted.LOG2 config/SAM.hvx config/SOFTWARE config/SOFTWARE.bak config/SOFTWARE.compacted "
       "config/SOFTWARE.compacted.LOG1 config/SOFTWARE.compacted.LOG2 state/pending.journal"},
      {"restore killed at step 2: /Scan", "/Scan report.ini", Journal::kRestoring, killedAt(2), 0,
       "an interrupted restore was finished:", Changes::kExactly, true,
       "config/SAM config/SAM.bak config/SAM.compacted config/SAM.compacted.LOG1 config/SAM.compacted.LOG2 "
       "config/SOFTWARE config/SOFTWARE.bak config/SOFTWARE.compacted.LOG1 config/SOFTWARE.compacted.LOG2 "
       "state/pending.journal"},
      {"restore failing every time: /Scan tells it", "/Scan report.ini", Journal::kRestoring, immutableAtRestore, 0,
       "an interrupted restore could not be finished; it is tried again at each start until what stops it is "
       "removed:\nSAM left alone: the new hive could not be put in place (Operation not permitted)",
       Changes::kExactly, true, ""},
      {"restore failing every time: not dropped", "--discard-pending", Journal::kRestoring, immutableAtRestore, 1,
       "an interrupted restore waits to be finished (it is tried again at each start): remove what stops it",
       Changes::kExactly, false, ""},
      {"restore failing every time: not made a restart", "--apply-pending", Journal::kRestoring, immutableAtRestore,
       1, "an interrupted restore waits to be finished", Changes::kExactly, false, ""},
      {"restore failing every time: the window opens", "--script analyse.script", Journal::kRestoring,
       immutableAtRestore, 0, "warning: An interrupted restore could not put back C:\\Windows\\System32\\config\\SAM",
       Changes::kExactly, false, ""},
      {"restore failing every time: /Silent", "/Silent", Journal::kRestoring, immutableAtRestore, 1,
       "nothing was replaced: an interrupted restore waits to be finished", Changes::kExactly, false, ""},
      // A journal that is none of the program's.
      {"invalid journal: /Scan", "/Scan report.ini", Journal::kInvalid, none, 2,
       "pending.journal, line 1: not a journal of this program; nothing in it was acted on", Changes::kExactly,
       false, "state/hivora.lock"},
      {"invalid journal: removed", "--discard-pending", Journal::kInvalid, none, 0,
       "the invalid journal was removed, nothing it names was touched", Changes::kExactly, false,
       "state/hivora.lock state/pending.journal"},
      {"pending, logs not creatable", "--apply-pending", Journal::kPending, noInodes, 3,
       "SOFTWARE replaced: 372,736 -> 258,048 bytes, backup SOFTWARE.bak; but \n"
       "cannot be created: No space left on device\n"
       "the journal could not record that C:\\Windows\\System32\\config\\SOFTWARE was replaced",
       Changes::kExactly, false,
       "config/SOFTWARE config/SOFTWARE.LOG1 config/SOFTWARE.bak config/SOFTWARE.hvx state/pending.journal"},
      {"restarting, out of inodes: /Scan tells the truth", "/Scan report.ini", Journal::kRestarting, noInodes, 1,
       "the journal could not record that C:\\Windows\\System32\\config\\SOFTWARE was replaced; the next start "
       "that can write it records it\nthe restart could not replace C:\\Windows\\System32\\config\\SAM: ",
       Changes::kExactly, true, ""},
      {"restarting, out of inodes: nothing dropped unrecorded", "--discard-pending", Journal::kRestarting, noInodes,
       1, "SOFTWARE is in place already, but the journal could not record it", Changes::kExactly, false, ""},
      {"restarting, out of inodes: nothing undone unrecorded", "--restore-backups", Journal::kRestarting, noInodes,
       1, "SOFTWARE is in place already, but the journal could not record it", Changes::kExactly, false, ""},
      // The disk: full, or mounted read-only.
      {"disk full: /Scan", "/Scan report.ini", Journal::kNone, diskFull, 1,
       "writing failed: No space left on device; nothing was written; the report holds no figures", Changes::kNoHive,
       true},
      {"disk full: /Silent", "/Silent", Journal::kNone, diskFull, 1, "No space left on device", Changes::kNoHive,
       false},
      {"read-only: /Scan", "/Scan report.ini", Journal::kNone, readOnly, 0, nullptr, Changes::kNothing, true},
      {"read-only: /Silent", "/Silent", Journal::kNone, readOnly, 1,
       "nothing was replaced: the installation is read-only", Changes::kNothing, false},
      {"read-only, pending: /Scan", "/Scan report.ini", Journal::kPending, readOnly, 0,
       "wait for a restart that never came", Changes::kNothing, true},
      {"read-only, a killed restart: refused", "/Scan report.ini", Journal::kRestarting, readOnlyStuck, 2,
       "mount it read-write and run hivora again", Changes::kNothing, false},
  };
  std::ofstream(dir / "bad.script") << "click nosuch\n";
  std::ofstream(dir / "analyse.script") << "click bAnalyzeRegistry\nwait\n";
  std::ofstream(dir / "defrag.script") << "click bAnalyzeRegistry\nwait\nclick bDefragRegistry\nwait\n";
  fs::create_directories(dir / "folder");
  const std::string pristine = (dir / "pristine").string();
  // SAM<suffix> and its two logs: the bytes of each, or that it is missing.
  auto samFiles = [&](const std::string& suffix) {
    std::vector<std::string> files;
    for (const char* log : {"", ".LOG1", ".LOG2"}) {
      const fs::path file = Config("SAM" + suffix + log);
      files.push_back(fs::exists(file) ? "bytes " + ReadWholeFile(file) : "missing");
    }
    return files;
  };
  fs::copy(c, pristine, fs::copy_options::recursive);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Mend();
    fs::remove_all(c);
    fs::copy(pristine, c, fs::copy_options::recursive);
    fs::remove(dir / "report.ini");
    if (k.journal == Journal::kRestartedAgain) {
      for (const char* log : {"SAM.LOG1", "SAM.LOG2"}) std::ofstream(Config(log), std::ios::binary);
    }
    const std::vector<std::string> samBeforeRestarts = samFiles("");
    if (k.journal != Journal::kNone && k.journal != Journal::kInvalid) LeavePending();
    if (k.journal == Journal::kRestartedAgain) {
      Restart();
      LeavePending();
    }
    if (k.journal == Journal::kInvalid) {
      fs::create_directories(c / "ProgramData" / "Talvix Hivora");
      std::ofstream(c / "ProgramData" / "Talvix Hivora" / "pending.journal") << "replace=C:\\Windows\\win.ini\n";
    }
    k.fault(*this);
    if (skip.empty() && (k.journal == Journal::kRestarting || k.journal == Journal::kRestartedAgain)) Restart();
    if (skip.empty() && k.journal == Journal::kRestoring) RestartThenRestore();
    if (!skip.empty()) {
      const char* ci = std::getenv("CI");
      if (ci != nullptr && std::string(ci) == "true" && ::geteuid() != 0) ADD_FAILURE() << skip;
      std::cout << "[  SKIPPED ] " << k.what << ": " << skip << "\n";
      continue;
    }
    const auto before = Snapshot(c);

    const ProgramRun run = Hivora(k.arguments);
    EXPECT_EQ(run.exitCode, k.exitCode) << run.out;
    for (std::string lines = k.line != nullptr ? k.line : ""; !lines.empty();) {
      const std::string line = lines.substr(0, lines.find('\n'));
      EXPECT_NE(run.out.find(line), std::string::npos) << line << " in:\n" << run.out;
      lines.erase(0, line.size() + 1);
    }
    if (k.exitCode != 0) {
      EXPECT_NE(run.out.find("hivora: "), std::string::npos) << "anything but 0 says why";
    }
    EXPECT_EQ(run.out.find("MESSAGE \"Talvix Hivora\""), std::string::npos) << "plain lines only: " << run.out;

    const auto after = Snapshot(c);
    switch (k.changes) {
      case Changes::kNothing: EXPECT_TRUE(after == before) << "a refused command line touches nothing"; break;
      case Changes::kNoHive:
        for (const auto& [file, bytes] : before) {
          if (file.rfind("ProgramData", 0) != 0) {
            EXPECT_TRUE(after.count(file) && after.at(file) == bytes) << file;
          }
        }
        EXPECT_FALSE(fs::exists(Config("SAM.bak")));
        break;
      case Changes::kHivesReplaced:
        EXPECT_TRUE(fs::exists(Config("SAM.bak")));
        EXPECT_FALSE(after.at("Windows/System32/config/SAM") == before.at("Windows/System32/config/SAM"));
        break;
      case Changes::kExactly: EXPECT_EQ(Differing(before, after), k.changed); break;
      case Changes::kEarlierBackupKept:
        EXPECT_EQ(Differing(before, after), k.changed);
        EXPECT_TRUE(samFiles(".bak") == samBeforeRestarts);
        EXPECT_FALSE(fs::exists(Config("SAM.bak.old")));
        break;
      case Changes::kOriginalPutBack: EXPECT_TRUE(samFiles("") == samBeforeRestarts); break;
    }
    const std::string report = fs::exists(dir / "report.ini") ? ReadWholeFile(dir / "report.ini") : std::string();
    EXPECT_EQ(report.find("[Scan Result]") != std::string::npos, k.reportWritten) << report;
  }
}

TEST_F(SessionProgramTest, HelpVersionAndQuestionMarkPrintAndExit0) {
  for (const char* arguments : {"--help", "/?", "-h"}) {
    const ProgramRun run = Hivora(arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments;
    EXPECT_NE(run.out.find("Usage: hivora"), std::string::npos) << arguments;
  }
  const ProgramRun run = Hivora("--version");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("(Talvix Hivora)"), std::string::npos) << run.out;
}

// Each fact once, though the analysis that found it ran three times.
TEST_F(SessionProgramTest, ALeftAloneLineIsSaidOncePerRun) {
  Break("DEFAULT");
  std::ofstream(dir / "three.script") << "click bAnalyzeRegistry\nwait\nclick bAnalyzeRegistry\nwait\n"
                                         "click bAnalyzeRegistry\nwait\nclick bDefragRegistry\nwait\nclick bOK\nwait\n";
  const ProgramRun run = Hivora("--script three.script");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  const std::string line = "not a hive file (no \"regf\" signature) (left alone)";
  const std::size_t first = run.out.find(line);
  ASSERT_NE(first, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(line, first + 1), std::string::npos) << run.out;
}

// --json: each hive's name, file, sizes, state and reason, the totals and the exit code.
TEST_F(SessionProgramTest, JsonTellsEachHiveAndTheExitCode) {
  Break("DEFAULT");
  ProgramRun run = Hivora("--json result.json /Silent");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  std::string json = ReadWholeFile(dir / "result.json");
  EXPECT_NE(json.find("\"name\": \"\\\\REGISTRY\\\\MACHINE\\\\SAM\", \"file\": \"" + Config("SAM").string() +
                      "\", \"currentSize\": 28672, \"newSize\": "),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"state\": \"replaced\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"state\": \"not compacted\", \"reason\": \"" + Config("DEFAULT").string() +
                      ": not a hive file (no \\\"regf\\\" signature)\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"totals\": {\"currentSize\": "), std::string::npos) << json;
  EXPECT_NE(json.find("\"exitCode\": 3"), std::string::npos) << json;

  // A settling run tells the hives it touched.
  run = Hivora("--json result.json --restore-backups");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  json = ReadWholeFile(dir / "result.json");
  EXPECT_NE(json.find("\"exitCode\": 0"), std::string::npos) << json;
  EXPECT_NE(json.find(Config("SAM").string()), std::string::npos) << json;

  // A --json file that cannot be written is found out before any work.
  run = Hivora("--json none/result.json /Silent");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("--json: none/result.json cannot be written"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace hv

namespace hv {
namespace {

// Progress of an unattended run: on stderr when it is a terminal, nothing otherwise.
TEST_F(SessionProgramTest, ProgressIsShownOnATerminalOnly) {
  ProgramRun run = Hivora("/Scan report.ini");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out.find('%'), std::string::npos) << run.out;
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
  run = test::RunShell("cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config").string() +
                       "' script -qec \"'" HIVORA_PROGRAM "' --root '" + c.string() +
                       "' /Scan report.ini\" /dev/null </dev/null");
  EXPECT_NE(run.out.find("hivora: SOFTWARE "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("100%"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("\x1b[2J"), std::string::npos) << "the terminal is not taken over by the window";
}

}  // namespace
}  // namespace hv

namespace hv {
namespace {

// Every file of a folder with its bytes and its modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> SnapshotWithTimes(const fs::path& folder) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).string()] = {ReadWholeFile(entry.path()), entry.last_write_time()};
    }
  }
  return files;
}

// A read-only bind mount of the installation, for one test (as root).
class ReadOnlyMount {
 public:
  ReadOnlyMount(const fs::path& folder, const fs::path& at) : at_(at) {
    fs::create_directories(at);
    mounted_ = std::system(("mount --bind '" + folder.string() + "' '" + at.string() + "' 2>/dev/null").c_str()) == 0;
    if (mounted_ && std::system(("mount -o remount,bind,ro '" + at.string() + "' 2>/dev/null").c_str()) != 0) {
      Unmount();
    }
  }
  ~ReadOnlyMount() { Unmount(); }
  ReadOnlyMount(const ReadOnlyMount&) = delete;
  ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;
  bool mounted() const { return mounted_; }
  void Unmount() {
    if (mounted_) (void)std::system(("umount '" + at_.string() + "'").c_str());
    mounted_ = false;
  }

 private:
  fs::path at_;
  bool mounted_ = false;
};

#define MOUNT_READ_ONLY_OR_SKIP(mount)                                                        \
  if (!(mount).mounted()) {                                                                   \
    const char* ci = std::getenv("CI");                                                       \
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "a read-only bind mount cannot be made"; \
    GTEST_SKIP() << "a read-only bind mount cannot be made here (needs root)";                \
  }

// A read-only mount of the installation is analysed with its copies in the
// work folder: /Scan gives the figures a writable installation gives, /Silent
// replaces nothing and says why, and not one file of the installation changes.
TEST_F(SessionProgramTest, AReadOnlyMountIsAnalysedInTheWorkFolderAndLeftAsItWas) {
  const fs::path mounted = dir / "mounted";
  const fs::path work = dir / "work";
  auto run = [&](const std::string& arguments) {
    return test::RunShell("cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config").string() +
                          "' '" HIVORA_PROGRAM "' --root '" + mounted.string() + "' --work-dir '" + work.string() +
                          "' " + arguments + " </dev/null 2>&1");
  };
  const auto before = SnapshotWithTimes(c);
  ReadOnlyMount mount(c, mounted);
  MOUNT_READ_ONLY_OR_SKIP(mount);

  const ProgramRun scan = run("/Scan ro.ini");
  EXPECT_EQ(scan.exitCode, 0) << scan.out;
  // Nothing of the copies stays in the work folder; only its private lock.
  for (const auto& entry : fs::directory_iterator(work)) {
    EXPECT_EQ(entry.path().extension(), ".lock") << entry.path();
  }
  const ProgramRun silent = run("/Silent");
  EXPECT_EQ(silent.exitCode, 1) << silent.out;
  EXPECT_NE(silent.out.find("hivora: nothing was replaced: the installation is read-only"), std::string::npos)
      << silent.out;
  // Settling would change it.
  const ProgramRun apply = run("--apply-pending");
  EXPECT_EQ(apply.exitCode, 2) << apply.out;
  EXPECT_NE(apply.out.find("the installation is read-only: mount it read-write"), std::string::npos) << apply.out;
  // The listing of restore points reads only.
  EXPECT_EQ(run("--list-restore-points").exitCode, 0);
  mount.Unmount();
  EXPECT_TRUE(SnapshotWithTimes(c) == before);

  // The figures are those of the same installation read-write.
  const ProgramRun writable = Hivora("/Scan rw.ini");
  ASSERT_EQ(writable.exitCode, 0) << writable.out;
  auto figures = [](std::string ini) { return ini.substr(0, ini.find("Time=")); };
  const std::string readOnly = ReadWholeFile(dir / "ro.ini");
  const std::size_t newSize = readOnly.find("New Size=");
  ASSERT_NE(newSize, std::string::npos) << readOnly;
  EXPECT_EQ(std::string("\r\n").find(readOnly[newSize + 9]), std::string::npos) << "a figure, not an empty value: " << readOnly;
  EXPECT_EQ(figures(readOnly), figures(ReadWholeFile(dir / "rw.ini")));
}

// The installation's own lock, taken through the read-only mount, still
// excludes an owner that has it read-write. An interrupted restart cannot be
// finished on a read-only mount: refused with what to do; and a work folder
// another party could reach into is refused.
TEST_F(SessionProgramTest, AReadOnlyMountRefusesAnUnfinishedRestartAndAWorkFolderNotItsOwn) {
  const fs::path mounted = dir / "mounted";
  const std::string hive = "C:\\Windows\\System32\\config\\SAM";
  fs::create_directories(c / "ProgramData" / "Talvix Hivora");
  std::ofstream(c / "ProgramData" / "Talvix Hivora" / "pending.journal", std::ios::binary)
      << "Talvix Hivora pending replacements 1\nstate=restarting\nreplace=" << hive << "|" << hive << ".hvx|" << hive
      << ".bak\n";
  const fs::path lockFile = c / "ProgramData" / "Talvix Hivora" / "hivora.lock";
  std::ofstream(lockFile) << "";
  fs::create_directories(dir / "real");
  fs::permissions(dir / "real", fs::perms::owner_all);
  fs::create_directory_symlink(dir / "real", dir / "link");
  fs::create_directories(dir / "theirs");
  fs::permissions(dir / "theirs", fs::perms::owner_all);
  const bool chowned = ::chown((dir / "theirs").c_str(), 65534, 65534) == 0;
  const auto before = SnapshotWithTimes(c);
  ReadOnlyMount mount(c, mounted);
  MOUNT_READ_ONLY_OR_SKIP(mount);
  auto run = [&](const std::string& arguments) {
    return test::RunShell("cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config").string() +
                          "' '" HIVORA_PROGRAM "' --root '" + mounted.string() + "' " + arguments +
                          " </dev/null 2>&1");
  };
  {
    const int owner = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(owner, 0);
    ASSERT_EQ(::flock(owner, LOCK_EX | LOCK_NB), 0);
    const ProgramRun held = run("--work-dir '" + (dir / "work").string() + "' /Scan r.ini");
    ::close(owner);
    EXPECT_EQ(held.exitCode, 1) << held.out;
    EXPECT_NE(held.out.find("another hivora works on"), std::string::npos) << held.out;
  }
  const ProgramRun restart = run("--work-dir '" + (dir / "work").string() + "' /Scan r.ini");
  EXPECT_EQ(restart.exitCode, 2) << restart.out;
  EXPECT_NE(restart.out.find("the installation is read-only, and an interrupted restart waits to be finished in "
                             "it: mount it read-write and run hivora again"),
            std::string::npos)
      << restart.out;
  const ProgramRun link = run("--work-dir '" + (dir / "link").string() + "' /Scan r.ini");
  EXPECT_EQ(link.exitCode, 2) << link.out;
  EXPECT_NE(link.out.find("the work folder is a link or no folder"), std::string::npos) << link.out;
  if (chowned) {
    const ProgramRun theirs = run("--work-dir '" + (dir / "theirs").string() + "' /Scan r.ini");
    EXPECT_EQ(theirs.exitCode, 2) << theirs.out;
    EXPECT_NE(theirs.out.find("the work folder belongs to another user (uid 65534)"), std::string::npos)
        << theirs.out;
  }
  EXPECT_TRUE(fs::is_empty(dir / "real"));
  mount.Unmount();
  EXPECT_TRUE(SnapshotWithTimes(c) == before);
}

}  // namespace
}  // namespace hv
