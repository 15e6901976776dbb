#include "platform/offline/pending_replacements.h"

#include <sstream>
#include <system_error>

#include "platform/offline/host_io.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMagic = "Talvix Hivora pending replacements 1";
constexpr char kSeparator = '|';  // cannot occur in a Windows file name

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

}  // namespace

ReplacementJournal::ReplacementJournal(fs::path file, const DriveMap* drives)
    : file_(std::move(file)), drives_(drives) {}

ReplacementJournal::Journal ReplacementJournal::Load() const {
  Journal journal;
  std::string bytes;
  if (host::ReadFile(file_, &bytes) != err::kSuccess) return journal;
  std::istringstream in(bytes);
  std::string line;
  if (!std::getline(in, line) || line != kMagic) return journal;
  while (std::getline(in, line)) {
    if (line == "state=restarting") {
      journal.restarting = true;
    } else if (line.rfind("replace=", 0) == 0) {
      std::string rest = line.substr(8);
      std::size_t a = rest.find(kSeparator);
      std::size_t b = a == std::string::npos ? a : rest.find(kSeparator, a + 1);
      if (b == std::string::npos) continue;
      auto hive = drives_->ResolveNative(rest.substr(0, a));
      auto replacement = drives_->ResolveNative(rest.substr(a + 1, b - a - 1));
      auto backup = drives_->ResolveNative(rest.substr(b + 1));
      if (hive && replacement && backup) journal.entries.push_back({*hive, *replacement, *backup});
    }
  }
  return journal;
}

DWORD ReplacementJournal::Save(const Journal& journal) {
  std::error_code ec;
  if (journal.entries.empty()) {
    fs::remove(file_, ec);
    if (ec) return host::ErrorFromCode(ec);
    host::SyncFolder(FolderOf(file_));
    return err::kSuccess;
  }
  std::string text = std::string(kMagic) + "\n";
  text += journal.restarting ? "state=restarting\n" : "state=pending\n";
  for (const PendingReplacement& e : journal.entries) {
    text += "replace=" + drives_->ToWindows(e.hive) + kSeparator + drives_->ToWindows(e.replacement) +
            kSeparator + drives_->ToWindows(e.backup) + "\n";
  }
  fs::create_directories(FolderOf(file_), ec);
  return host::WriteFileAtomically(file_, text);
}

std::vector<PendingReplacement> ReplacementJournal::Entries() const {
  std::lock_guard lock(mutex_);
  return Load().entries;
}

DWORD ReplacementJournal::Add(const PendingReplacement& entry) {
  for (const fs::path* p : {&entry.hive, &entry.replacement, &entry.backup}) {
    const std::string s = drives_->ToWindows(*p);
    if (s.find_first_of("|\r\n") != std::string::npos) return err::kInvalidParameter;
  }
  std::lock_guard lock(mutex_);
  Journal journal = Load();
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
  if (crashAfter_ >= 0 && operations_++ >= crashAfter_) crashed_ = true;
  return !crashed_;
}

DWORD ReplacementJournal::ApplyOne(const PendingReplacement& e) {
  if (!Exists(e.replacement)) return err::kSuccess;  // step 2 has been done
  if (Exists(e.hive)) {
    fs::path staging = e.backup;
    staging += ".hvtmp";
    std::error_code ec;
    fs::remove(staging, ec);
    DWORD r = host::HardLink(e.hive, staging);
    if (r != err::kSuccess) r = host::CopyFileDurably(e.hive, staging);
    if (r != err::kSuccess) return r;
    if (!Tick()) return err::kWriteFault;
    if (DWORD rr = host::Rename(staging, e.backup); rr != err::kSuccess) return rr;
    if (!Tick()) return err::kWriteFault;
    host::SyncFolder(FolderOf(e.backup));
    if (!Tick()) return err::kWriteFault;
  }
  if (DWORD r = host::Rename(e.replacement, e.hive); r != err::kSuccess) return r;
  if (!Tick()) return err::kWriteFault;
  host::SyncFolder(FolderOf(e.hive));
  if (!Tick()) return err::kWriteFault;
  return err::kSuccess;
}

DWORD ReplacementJournal::Apply(Journal* journal) {
  DWORD result = err::kSuccess;
  std::vector<PendingReplacement> failed;
  while (!journal->entries.empty()) {
    PendingReplacement entry = journal->entries.front();
    DWORD r = ApplyOne(entry);
    if (crashed_) return err::kWriteFault;
    journal->entries.erase(journal->entries.begin());
    if (r != err::kSuccess) {
      failed.push_back(entry);
      result = r;
      continue;
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

DWORD ReplacementJournal::ApplyAll() {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.entries.empty()) return err::kSuccess;
  journal.restarting = true;
  if (DWORD r = Save(journal); r != err::kSuccess) return r;
  if (!Tick()) return err::kWriteFault;
  return Apply(&journal);
}

void ReplacementJournal::Recover() {
  std::lock_guard lock(mutex_);
  Journal journal = Load();
  if (journal.restarting && !journal.entries.empty()) Apply(&journal);
}

}  // namespace hv::offline
