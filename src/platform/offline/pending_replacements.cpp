#include "platform/offline/pending_replacements.h"

#include "platform/backup_set_aside.h"
#include "platform/offline/error_text.h"
#include "platform/offline/in_use.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/offline/file_protection.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/host_io.h"
#include "platform/offline/state_file_rules.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMagic = "Talvix Hivora pending replacements 1";
constexpr char kSeparator = '|';  // cannot occur in a Windows file name
constexpr DWORD kInvalidData = 13;  // ERROR_INVALID_DATA: the journal on disk is invalid

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return a.lexically_normal() == b.lexically_normal();
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

fs::path FolderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

const char* StateName(JournalState state) {
  switch (state) {
    case JournalState::kRestarting: return "restarting";
    case JournalState::kRestoring: return "restoring";
    case JournalState::kPending: break;
  }
  return "pending";
}

// `file` plus ".LOG1"/".LOG2", as the log of a file of that name is spelt.
fs::path LogName(const fs::path& file, const char* which) {
  fs::path p = file;
  p += std::string(".") + which;
  return p;
}

std::uint64_t SizeOf(const fs::path& file) { return StampOf(file).size; }

// A regular file, not a link: only such a file is taken for a backup.
bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(p, ec));
}

// Two files with the same bytes (read in blocks; unequal sizes end it at once).
bool SameBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  const auto size = fs::file_size(a, ec);
  if (ec || fs::file_size(b, ec) != size || ec) return false;
  std::ifstream in1(a, std::ios::binary), in2(b, std::ios::binary);
  std::vector<char> block1(1 << 16), block2(1 << 16);
  while (in1 && in2) {
    in1.read(block1.data(), static_cast<std::streamsize>(block1.size()));
    in2.read(block2.data(), static_cast<std::streamsize>(block2.size()));
    if (in1.gcount() != in2.gcount() ||
        !std::equal(block1.begin(), block1.begin() + in1.gcount(), block2.begin())) {
      return false;
    }
  }
  return in1.eof() && in2.eof();
}

// The name a backup waits under while a restart makes a new one.
fs::path AsideOf(const fs::path& backup) { return fs::path(SetAsideName(backup.string())); }

}  // namespace

ReplacementJournal::ReplacementJournal(fs::path file, const DriveMap* drives)
    : file_(std::move(file)), drives_(drives) {}

void ReplacementJournal::SetHiveRule(std::function<bool(const fs::path&)> isHive) {
  std::lock_guard lock(mutex_);
  isHive_ = std::move(isHive);
}

// Only what Save writes: the hive of the installation and, in the same
// folder, the names the program gives its copies, backups and stagings.
std::optional<std::string> ReplacementJournal::EntryProblem(const std::vector<std::string>& f, bool replace) const {
  if (replace ? (f.size() != 3 && f.size() != 4) : f.size() != 3) return std::string("the wrong number of fields");
  const std::size_t paths = replace ? 3 : 2;
  for (std::size_t i = 0; i < paths; ++i) {
    if (auto why = NotAnInstallationPath(*drives_, f[i])) return why;
  }
  auto hive = drives_->ResolveInstallation(f[0]);
  if (!hive || (isHive_ && !isHive_(*hive))) return ShownField(f[0]) + " is not a hive of the installation";
  if (replace && !IsCompanionOf(f[0], f[1], {kCompanionHvx, kCompanionBak, kCompanionRestoreStaging})) {
    return ShownField(f[1]) + " is not a replacement the program makes for " + ShownField(f[0]);
  }
  const std::string& backup = replace ? f[2] : f[1];
  if (!IsCompanionOf(f[0], backup, {kCompanionBak, kCompanionCompacted, kCompanionBeforeRestore})) {
    return ShownField(backup) + " is not a backup the program makes of " + ShownField(f[0]);
  }
  const std::size_t fingerprint = replace ? 3 : 2;
  if (f.size() > fingerprint && !ParseFingerprint(f[fingerprint])) {
    return ShownField(f[fingerprint]) + " is no fingerprint";
  }
  return std::nullopt;
}

ReplacementJournal::Journal ReplacementJournal::Load() const {
  Journal journal;
  std::string bytes;
  bool present = false;
  std::string why;
  auto invalid = [&](int line, const std::string& reason) {
    Journal bad;
    bad.problem = StateFileProblem(file_, line, reason);
    return bad;
  };
  if (!ReadStateFile(file_, &bytes, &present, &why)) return invalid(0, why);
  if (!present) return journal;
  if (bytes.find('\0') != std::string::npos) return invalid(0, "holds a NUL character");
  std::istringstream in(bytes);
  std::string line;
  if (!std::getline(in, line) || line != kMagic) return invalid(1, "not a journal of this program");
  bool stated = false;
  for (int number = 2; std::getline(in, line); ++number) {
    if (line.size() > kMaxStateLineLength) return invalid(number, "an overlong line");
    if (line.rfind("state=", 0) == 0) {
      const std::string state = line.substr(6);
      if (stated) return invalid(number, "a second state line");
      stated = true;
      if (state == "restarting") {
        journal.state = JournalState::kRestarting;
      } else if (state == "restoring") {
        journal.state = JournalState::kRestoring;
      } else if (state != "pending") {
        return invalid(number, "unknown state " + ShownField(state) + " (pending, restarting or restoring)");
      }
    } else if (line.rfind("replace=", 0) == 0 || line.rfind("applied=", 0) == 0) {
      const bool replace = line[0] == 'r';
      const auto f = SplitFields(line.substr(8), kSeparator);
      if (auto problem = EntryProblem(f, replace)) return invalid(number, *problem);
      if (replace) {
        PendingReplacement entry{*drives_->ResolveInstallation(f[0]), *drives_->ResolveInstallation(f[1]),
                                 *drives_->ResolveInstallation(f[2]), std::nullopt};
        if (f.size() > 3) entry.made = ParseFingerprint(f[3]);
        journal.entries.push_back(std::move(entry));
      } else {
        journal.applied.push_back({*drives_->ResolveInstallation(f[0]), *drives_->ResolveInstallation(f[1]),
                                   *ParseFingerprint(f[2])});
      }
    } else {
      return invalid(number, "a line the program does not write: " + ShownField(line));
    }
  }
  return journal;
}

std::optional<std::string> ReplacementJournal::Problem() const {
  std::lock_guard lock(mutex_);
  return Load().problem;
}

DWORD ReplacementJournal::RemoveInvalid() {
  std::lock_guard lock(mutex_);
  if (!Load().problem) return err::kSuccess;
  // The journal's own name only: a link there is removed, never followed.
  if (DWORD r = host::Remove(file_); r != err::kSuccess) return r;
  host::SyncFolder(FolderOf(file_));
  return err::kSuccess;
}

DWORD ReplacementJournal::Save(const Journal& journal) {
  std::error_code ec;
  if (journal.entries.empty() && journal.applied.empty()) {
    if (DWORD r = host::Remove(file_); r != err::kSuccess) return r;
    host::SyncFolder(FolderOf(file_));
    return err::kSuccess;
  }
  std::string text = std::string(kMagic) + "\n";
  text += std::string("state=") + StateName(journal.entries.empty() ? JournalState::kPending : journal.state) + "\n";
  for (const PendingReplacement& e : journal.entries) {
    text += "replace=" + drives_->ToWindows(e.hive) + kSeparator + drives_->ToWindows(e.replacement) +
            kSeparator + drives_->ToWindows(e.backup);
    if (e.made) text += kSeparator + FormatFingerprint(*e.made);
    text += "\n";
  }
  for (const AppliedReplacement& a : journal.applied) {
    text += "applied=" + drives_->ToWindows(a.hive) + kSeparator + drives_->ToWindows(a.backup) + kSeparator +
            FormatFingerprint(a.installed) + "\n";
  }
  host::CreateFolders(FolderOf(file_));
  return host::WriteFileAtomically(file_, text);
}

std::vector<PendingReplacement> ReplacementJournal::Entries() const {
  std::lock_guard lock(mutex_);
  return Load().entries;
}

JournalState ReplacementJournal::State() const {
  std::lock_guard lock(mutex_);
  return Load().state;
}

std::vector<AppliedReplacement> ReplacementJournal::Applied() const {
  std::lock_guard lock(mutex_);
  return Load().applied;
}

DWORD ReplacementJournal::Add(const PendingReplacement& entry) {
  // Only what a later start will accept back.
  std::vector<std::string> fields;
  for (const fs::path* p : {&entry.hive, &entry.replacement, &entry.backup}) {
    fields.push_back(drives_->ToWindows(*p));
    if (fields.back().find(kSeparator) != std::string::npos) return err::kInvalidParameter;
  }
  std::lock_guard lock(mutex_);
  if (EntryProblem(fields, true)) return err::kInvalidParameter;
  Journal journal = Load();
  if (journal.problem) return kInvalidData;
  if (journal.state != JournalState::kPending && !journal.entries.empty()) return err::kSharingViolation;
  std::erase_if(journal.entries, [&](const PendingReplacement& e) { return SameFile(e.hive, entry.hive); });
  journal.entries.push_back(entry);
  return Save(journal);
}

bool ReplacementJournal::Holds(const fs::path& host) const {
  std::lock_guard lock(mutex_);
  for (const PendingReplacement& e : Load().entries) {
    if (SameFile(e.replacement, host)) return true;
  }
  return false;
}

bool ReplacementJournal::Tick() {
  if (crashed_) return false;
  if (stepHook_) stepHook_(steps_++);
  if (crashAfter_ >= 0 && operations_++ >= crashAfter_) crashed_ = true;
  return !crashed_;
}

// Each log is where the hive had it, or already beside the backup (step 2 ran).
bool ReplacementJournal::StillAsMade(const PendingReplacement& e) const {
  if (!e.made) return true;
  const HiveFingerprint now = FingerprintOf(e.hive);
  if (!(now.hive == e.made->hive) || now.sequence1 != e.made->sequence1 || now.sequence2 != e.made->sequence2) {
    return false;
  }
  const FileStamp* made[] = {&e.made->log1, &e.made->log2};
  const FileStamp* seen[] = {&now.log1, &now.log2};
  for (int i = 0; i < 2; ++i) {
    if (*seen[i] == *made[i]) continue;
    if (!seen[i]->present && StampOf(LogOf(e.backup, kLogNames[i])) == *made[i]) continue;
    return false;
  }
  return true;
}

DWORD ReplacementJournal::SetAsideEarlierBackup(const PendingReplacement& e, std::string* why) {
  const fs::path aside = AsideOf(e.backup);
  // A backup that is the hive, by its inode or (made by copying, when the
  // hive could not be linked) by its bytes, is this restart's own, found by
  // a start after a kill; the logs beside it may be the hive's already.
  if (IsFile(e.backup) && !IsFile(aside) && !SameFileId(e.hive, e.backup) && !SameBytes(e.hive, e.backup)) {
    if (DWORD r = host::Rename(e.backup, aside); r != err::kSuccess) {
      *why = "its earlier backup could not be set aside as " + aside.filename().string() + " (" + ErrorText(r) + ")";
      return r;
    }
    if (!Tick()) return err::kWriteFault;
  }
  // Until the new backup takes the name, the logs under it are the earlier backup's.
  if (IsFile(aside) && !Exists(e.backup)) {
    for (const char* which : kLogNames) {
      const fs::path log = LogOf(e.backup, which);
      if (!Exists(log)) continue;
      if (DWORD r = host::Rename(log, LogName(aside, which)); r != err::kSuccess) {
        *why = log.filename().string() + " could not be set aside with its backup (" + ErrorText(r) + ")";
        return r;
      }
      if (!Tick()) return err::kWriteFault;
    }
    host::SyncFolder(FolderOf(e.backup));
  }
  return err::kSuccess;
}

// Only while the hive is not replaced. Each step can be run again: with a
// backup under its name beside the set-aside one, that backup is the new one
// and the logs beside it are the hive's; without, they are the earlier one's.
DWORD ReplacementJournal::PutBackEarlierBackup(const PendingReplacement& e) {
  const fs::path aside = AsideOf(e.backup);
  if (!IsFile(aside)) return err::kSuccess;
  if (Exists(e.backup)) {
    for (const char* which : kLogNames) {
      const fs::path backupLog = LogOf(e.backup, which);
      if (Exists(LogOf(e.hive, which)) || !Exists(backupLog)) continue;
      if (DWORD r = host::Rename(backupLog, LogName(e.hive, which)); r != err::kSuccess) return r;
      if (!Tick()) return err::kWriteFault;
    }
    // The new backup is a second name of the hive or a copy of it.
    if (DWORD r = host::Remove(e.backup); r != err::kSuccess) return r;
    if (!Tick()) return err::kWriteFault;
  }
  for (const char* which : kLogNames) {
    const fs::path asideLog = LogOf(aside, which);
    if (!Exists(asideLog)) continue;
    if (DWORD r = host::Rename(asideLog, LogName(e.backup, which)); r != err::kSuccess) return r;
    if (!Tick()) return err::kWriteFault;
  }
  if (DWORD r = host::Rename(aside, e.backup); r != err::kSuccess) return r;
  host::SyncFolder(FolderOf(e.backup));
  if (!Tick()) return err::kWriteFault;
  return err::kSuccess;
}

// The logs go first: the set-aside file is what tells a later start to finish this.
void ReplacementJournal::DropEarlierBackup(const PendingReplacement& e) {
  const fs::path aside = AsideOf(e.backup);
  if (!IsFile(aside)) return;
  std::error_code ec;
  for (const char* which : kLogNames) {
    const fs::path log = LogOf(aside, which);
    if (!fs::is_directory(fs::symlink_status(log, ec))) host::Remove(log);
  }
  host::Remove(aside);
  host::SyncFolder(FolderOf(aside));
}

ReplacementOutcome ReplacementJournal::ApplyOne(const PendingReplacement& e, bool restart, DWORD* error) {
  ReplacementOutcome out{e.hive, e.backup, false, 0, 0, {}};
  *error = err::kSuccess;
  auto fail = [&](DWORD code, std::string why) {
    *error = code;
    out.why = std::move(why);
    return out;
  };
  // A restart of this hive that fails (but for a kill) leaves the hive with
  // the backup it had before; what stops that keeps the entry in the journal.
  DWORD putBackError = err::kSuccess;
  auto putBack = [&] {
    if (!restart || crashed_) return std::string();
    putBackError = PutBackEarlierBackup(e);
    if (putBackError == err::kSuccess || crashed_) return std::string();
    return "; its earlier backup waits as " + AsideOf(e.backup).filename().string() + " (" +
           ErrorText(putBackError) + ")";
  };
  auto failBack = [&](DWORD code, std::string why) {
    why += putBack();
    return fail(code, std::move(why));
  };
  if (Exists(e.replacement)) {
    if (!Exists(e.hive)) return failBack(err::kFileNotFound, "the hive is missing");
    if (!StillAsMade(e)) {
      // Newer than the copy: replacing it would roll its changes back.
      const std::string kept = putBack();
      if (putBackError != err::kSuccess) return fail(putBackError, "it changed since its copy was made" + kept);
      std::error_code ec;
      if (!crashed_) host::Remove(e.replacement);
      out.why = "it changed since its copy was made; the replacement was dropped";
      return out;
    }
    // A hive another program holds is not swapped under it: its writes would land in the backup.
    if (auto held = HeldByAnotherProgram({e.hive, LogOf(e.hive, kLogNames[0]), LogOf(e.hive, kLogNames[1])})) {
      return failBack(err::kSharingViolation, *held);
    }
    out.oldSize = SizeOf(e.hive);
    out.newSize = SizeOf(e.replacement);
    // Step 0: the backup of an earlier restart makes way.
    if (restart) {
      std::string why;
      if (DWORD r = SetAsideEarlierBackup(e, &why); r != err::kSuccess) return failBack(r, why);
    }
    // Step 1: the backup.
    if (!SameFileId(e.hive, e.backup)) {
      fs::path staging = e.backup;
      staging += ".hvtmp";
      std::error_code ec;
      host::Remove(staging);
      DWORD r = host::HardLink(e.hive, staging);
      std::string why;
      if (r != err::kSuccess) r = host::CopyFileProtected(e.hive, staging, e.hive, &why);
      if (r != err::kSuccess) return failBack(r, why.empty() ? "its backup could not be made (" + ErrorText(r) + ")" : why);
      if (!Tick()) return failBack(err::kWriteFault, {});
      if (DWORD rr = host::Rename(staging, e.backup); rr != err::kSuccess) {
        host::Remove(staging);  // the hive's second name goes with the step that failed
        return failBack(rr, "its backup could not be named " + e.backup.filename().string() + " (" + ErrorText(rr) + ")");
      }
      // rename(2) onto another name of the same file does nothing.
      if (Exists(staging) && SameFileId(staging, e.backup)) host::Remove(staging);
      if (!Tick()) return failBack(err::kWriteFault, {});
      host::SyncFolder(FolderOf(e.backup));
      if (!Tick()) return failBack(err::kWriteFault, {});
    }
    // Step 2: the hive's logs go with its backup.
    for (int i = 0; i < 2; ++i) {
      const char* which = kLogNames[i];
      const fs::path hiveLog = LogOf(e.hive, which);
      const fs::path backupLog = LogOf(e.backup, which);
      std::error_code ec;
      if (Exists(hiveLog)) {
        const fs::path target = LogName(e.backup, which);
        if (backupLog != target) host::Remove(backupLog);
        if (DWORD r = host::Rename(hiveLog, target); r != err::kSuccess) {
          return failBack(r, hiveLog.filename().string() + " could not go with the backup (" + ErrorText(r) + ")");
        }
        if (!Tick()) return failBack(err::kWriteFault, {});
      } else if (e.made && !(i == 0 ? e.made->log1 : e.made->log2).present && Exists(backupLog)) {
        // The hive had no such log: one beside the backup belongs to an older backup.
        host::Remove(backupLog);
        if (!Tick()) return failBack(err::kWriteFault, {});
      }
    }
    host::SyncFolder(FolderOf(e.backup));
    // Step 3: the new hive.
    if (DWORD r = host::Rename(e.replacement, e.hive); r != err::kSuccess) {
      return failBack(r, "the new hive could not be put in place (" + ErrorText(r) + ")");
    }
    if (!Tick()) return fail(err::kWriteFault, {});
    host::SyncFolder(FolderOf(e.hive));
    if (!Tick()) return fail(err::kWriteFault, {});
    if (restart) DropEarlierBackup(e);
  } else if (!Exists(e.hive) || !Exists(e.backup) || (e.made && FingerprintOf(e.hive).hive == e.made->hive)) {
    // No copy, and the hive is not the one step 3 would have put in place:
    // the copy is gone (deleted while it waited). The entry is dropped, the
    // hive stays as it is, and the others go on.
    const std::string kept = putBack();
    if (putBackError != err::kSuccess) return fail(putBackError, "its copy is gone" + kept);
    out.why = "its copy is gone; the hive stays as it is";
    return out;
  } else {
    if (restart) DropEarlierBackup(e);
    out.newSize = SizeOf(e.hive);
    out.oldSize = SizeOf(e.backup);
  }
  // Step 4: the new hive's logs: those of the file it was, else empty ones.
  // The hive is in place already: it is replaced whatever befalls its logs,
  // and the journal records it so that its backup can be put back; a log
  // that could not be made is told with it (Windows makes a missing one).
  auto replacedWithout = [&](DWORD code, const std::string& why) {
    out.replaced = true;
    out.why = why.empty() ? "a new log could not be made (" + ErrorText(code) + ")" : why;
    return out;
  };
  for (const char* which : kLogNames) {
    const fs::path comingLog = LogOf(e.replacement, which);
    const fs::path hiveLog = LogOf(e.hive, which);
    if (Exists(comingLog)) {
      if (DWORD r = host::Rename(comingLog, hiveLog); r != err::kSuccess) {
        return replacedWithout(r, comingLog.filename().string() + " could not be put beside the hive (" +
                                      ErrorText(r) + ")");
      }
    } else if (!Exists(hiveLog)) {
      const fs::path backupLog = LogOf(e.backup, which);
      std::string why;
      if (DWORD r = host::CreateEmptyProtected(hiveLog, Exists(backupLog) ? backupLog : e.hive, &why);
          r != err::kSuccess && r != err::kFileExists) {
        return replacedWithout(r, why);
      }
    }
    if (!Tick()) return fail(err::kWriteFault, {});
  }
  host::SyncFolder(FolderOf(e.hive));
  out.replaced = true;
  return out;
}

DWORD ReplacementJournal::Apply(Journal* journal, std::vector<ReplacementOutcome>* outcomes) {
  DWORD result = err::kSuccess;
  const bool restart = journal->state == JournalState::kRestarting;
  std::vector<PendingReplacement> failed;
  while (!journal->entries.empty()) {
    PendingReplacement entry = journal->entries.front();
    DWORD r = err::kSuccess;
    ReplacementOutcome outcome = ApplyOne(entry, restart, &r);
    if (crashed_) return err::kWriteFault;
    journal->entries.erase(journal->entries.begin());
    if (outcomes != nullptr) outcomes->push_back(outcome);
    if (r != err::kSuccess) {
      failed.push_back(entry);
      result = r;
      continue;
    }
    if (outcome.replaced && restart) {
      std::erase_if(journal->applied, [&](const AppliedReplacement& a) { return SameFile(a.hive, entry.hive); });
      journal->applied.push_back({entry.hive, entry.backup, FingerprintOf(entry.hive)});
    }
    Journal rest = *journal;
    rest.entries.insert(rest.entries.end(), failed.begin(), failed.end());
    if (DWORD s = Save(rest); s != err::kSuccess) result = s;
    if (!Tick()) return err::kWriteFault;
  }
  if (!failed.empty()) {
    journal->entries = failed;
    Save(*journal);
  }
  return result;
}

DWORD ReplacementJournal::ApplyAll(std::vector<ReplacementOutcome>* outcomes) {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.problem) return kInvalidData;
  if (journal.entries.empty()) return err::kSuccess;
  // A set-aside backup beside a backup is older than it, left by a killed
  // commit (backup_set_aside.h); from here on one is this restart's.
  if (journal.state == JournalState::kPending) {
    for (const PendingReplacement& e : journal.entries) {
      if (IsFile(AsideOf(e.backup)) && IsFile(e.backup) && Exists(e.replacement)) DropEarlierBackup(e);
    }
  }
  journal.state = JournalState::kRestarting;
  // What an earlier restart did stays recorded until this one replaces the
  // same hive: a hive it fails for keeps its earlier backup, and the record.
  if (DWORD r = Save(journal); r != err::kSuccess) return r;
  if (!Tick()) return err::kWriteFault;
  return Apply(&journal, outcomes);
}

void ReplacementJournal::Recover(std::vector<ReplacementOutcome>* outcomes) {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.state != JournalState::kPending && !journal.entries.empty()) Apply(&journal, outcomes);
}

DWORD ReplacementJournal::Discard(std::vector<PendingReplacement>* discarded) {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.problem) return kInvalidData;
  // A restore under way is finished, never dropped half done.
  if (journal.state == JournalState::kRestoring) return err::kSharingViolation;
  for (const PendingReplacement& e : journal.entries) {
    std::error_code ec;
    // What a restart left of an entry it could not apply: the hive is still
    // the old one (step 3 never ran), but its logs may have gone beside the
    // backup (step 2); they come back to it.
    if (journal.state == JournalState::kRestarting && e.made && FingerprintOf(e.hive).hive == e.made->hive) {
      for (int i = 0; i < 2; ++i) {
        const FileStamp& made = i == 0 ? e.made->log1 : e.made->log2;
        const fs::path backupLog = LogOf(e.backup, kLogNames[i]);
        if (made.present && !Exists(LogOf(e.hive, kLogNames[i])) && StampOf(backupLog) == made) {
          (void)host::Rename(backupLog, LogName(e.hive, kLogNames[i]));
        }
      }
    }
    // The backup of an earlier restart comes back from where this one set it aside.
    if (journal.state == JournalState::kRestarting && Exists(e.replacement)) {
      if (DWORD r = PutBackEarlierBackup(e); r != err::kSuccess) return r;
    }
    host::Remove(e.replacement);
    if (discarded != nullptr) discarded->push_back(e);
  }
  journal.entries.clear();
  return Save(journal);
}

DWORD ReplacementJournal::Restore(const std::vector<PendingReplacement>& entries,
                                  const std::vector<AppliedReplacement>& keepApplied,
                                  std::vector<ReplacementOutcome>* outcomes) {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.problem) return kInvalidData;
  if (!journal.entries.empty()) return err::kSharingViolation;
  journal.state = JournalState::kRestoring;
  journal.entries = entries;
  journal.applied = keepApplied;
  if (DWORD r = Save(journal); r != err::kSuccess) return r;
  if (!Tick()) return err::kWriteFault;
  return Apply(&journal, outcomes);
}

}  // namespace hv::offline
