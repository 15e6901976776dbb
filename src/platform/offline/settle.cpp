#include "platform/offline/settle.h"

#include <algorithm>
#include <system_error>

#include "platform/offline/error_text.h"
#include "platform/offline/file_protection.h"
#include "platform/offline/hibernation.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/hive_soundness.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/restore_point_index.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

fs::path WithSuffix(const fs::path& file, const char* suffix) {
  fs::path p = file;
  p += suffix;
  return p;
}

std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

SettleResult Refusal(std::string line) { return {kExitNothingDone, {std::move(line)}}; }

// Refusals shared by every change: a hibernated Windows, and a restart half done.
// A restore that could not put back every hive is finished, never dropped or
// turned into a restart: its entries' copies are the backups themselves.
constexpr const char* kRestoreWaitsText =
    "an interrupted restore waits to be finished (it is tried again at each start): remove what stops it and run "
    "hivora again";

std::optional<SettleResult> CannotChange(OfflinePlatform& platform, bool pendingAllowed) {
  if (Hibernated(platform.drives())) return Refusal(kHibernatedText);
  if (platform.journal().State() == JournalState::kRestoring && !platform.journal().Entries().empty()) {
    return Refusal(kRestoreWaitsText);
  }
  if (!pendingAllowed && !platform.journal().Entries().empty()) {
    if (platform.journal().State() == JournalState::kRestarting) {
      return Refusal("a restart could not replace every hive; settle it first (--restore-backups or "
                     "--discard-pending)");
    }
    return Refusal("replacements wait for a restart; settle them first (--apply-pending or --discard-pending)");
  }
  return std::nullopt;
}

SettleResult Invalid(std::string line) { return {kExitInvalidState, {std::move(line)}}; }

// Entries of a restart whose hive it has put in place already, though the
// journal could not record that (its write failed, the disk full): dropping
// such an entry would lose the record of its backup. Nothing is dropped then;
// the next start that can write the journal records them.
std::optional<SettleResult> InPlaceUnrecorded(OfflinePlatform& platform) {
  if (platform.journal().State() != JournalState::kRestarting) return std::nullopt;
  for (const PendingReplacement& e : platform.journal().Entries()) {
    if (Exists(e.replacement) || (e.made && FingerprintOf(e.hive).hive == e.made->hive)) continue;
    return Refusal(e.hive.filename().string() + " is in place already, but the journal could not record it; run "
                   "again once the installation's disk can be written; nothing was dropped");
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> OutcomeLines(const std::vector<ReplacementOutcome>& outcomes) {
  std::vector<std::string> lines;
  for (const ReplacementOutcome& o : outcomes) {
    const std::string name = o.hive.filename().string();
    if (o.replaced) {
      lines.push_back(name + " replaced: " + Grouped(o.oldSize) + " -> " + Grouped(o.newSize) + " bytes, backup " +
                      o.backup.filename().string() + (o.why.empty() ? std::string() : "; but " + o.why));
    } else {
      lines.push_back(name + " left alone: " + (o.why.empty() ? std::string("it could not be replaced") : o.why));
    }
  }
  return lines;
}

int ExitCodeOf(const std::vector<ReplacementOutcome>& outcomes, int leftAloneBefore) {
  const auto replaced = std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.replaced; });
  if (replaced == 0) return kExitNothingDone;
  if (replaced < static_cast<long>(outcomes.size()) || leftAloneBefore > 0) return kExitPartlyDone;
  return kExitDone;
}

std::vector<std::string> WaitingHives(OfflinePlatform& platform) {
  std::vector<std::string> hives;
  if (platform.journal().State() != JournalState::kPending) return hives;
  for (const PendingReplacement& e : platform.journal().Entries()) hives.push_back(platform.drives().ToWindows(e.hive));
  return hives;
}

std::string JoinedHives(const std::vector<std::string>& hives) {
  std::string joined;
  for (const std::string& hive : hives) joined += (joined.empty() ? "" : ", ") + hive;
  return joined;
}

std::string PendingAtStartText(const std::vector<std::string>& waiting) {
  return "replacements of " + JoinedHives(waiting) +
         " wait for a restart that never came; settle them with --apply-pending (restart now) or "
         "--discard-pending (delete the copies, keep the hives)";
}

SettleResult SettleBy(OfflinePlatform& platform, SettleAction action, const std::string& restorePointId) {
  switch (action) {
    case SettleAction::kApplyPending: return ApplyPending(platform);
    case SettleAction::kDiscardPending: return DiscardPending(platform);
    case SettleAction::kRestoreBackups: return RestoreBackups(platform);
    case SettleAction::kRestorePoint: return RestoreFromPoint(platform, restorePointId);
    case SettleAction::kListRestorePoints: return ListRestorePoints(platform);
    case SettleAction::kNone: break;
  }
  return {};
}

std::optional<SettleResult> SettleInvalidJournal(OfflinePlatform& platform, SettleAction action) {
  if (action == SettleAction::kListRestorePoints) return std::nullopt;
  const std::optional<std::string> problem = platform.journal().Problem();
  if (!problem) return std::nullopt;
  if (action == SettleAction::kDiscardPending) {
    if (DWORD r = platform.journal().RemoveInvalid(); r != err::kSuccess) {
      return Invalid(*problem + "; the invalid journal could not be removed: " + ErrorText(r));
    }
    return SettleResult{kExitDone, {*problem + "; the invalid journal was removed, nothing it names was touched"}};
  }
  return Invalid(*problem + "; nothing in it was acted on (--discard-pending removes it)");
}

SettleResult ApplyPending(OfflinePlatform& platform) {
  if (platform.journal().Entries().empty()) return {kExitDone, {"no replacements wait for a restart"}};
  if (auto refused = CannotChange(platform, true)) return *refused;
  std::vector<ReplacementOutcome> outcomes;
  platform.journal().ApplyAll(&outcomes);
  platform.AddOutcomes(outcomes);
  SettleResult result{ExitCodeOf(outcomes), OutcomeLines(outcomes)};
  // What the journal still holds: a replacement that failed, tried again at
  // each start, or one made that the journal could not record (its write
  // failed), which the next start records.
  std::vector<std::string> failing;
  std::vector<std::string> unrecorded;
  for (const PendingReplacement& e : platform.journal().Entries()) {
    const bool replaced = std::any_of(outcomes.begin(), outcomes.end(), [&](const ReplacementOutcome& o) {
      return o.replaced && o.hive == e.hive;
    });
    (replaced ? unrecorded : failing).push_back(platform.drives().ToWindows(e.hive));
  }
  if (!unrecorded.empty()) {
    result.lines.push_back("the journal could not record that " + JoinedHives(unrecorded) +
                           (unrecorded.size() == 1 ? " was" : " were") + " replaced; the next start records it");
  }
  if (!failing.empty()) {
    result.lines.push_back(failing.size() == 1
                               ? "the replacement of " + failing.front() + " stays in the journal"
                               : "the replacements of " + JoinedHives(failing) + " stay in the journal");
    result.lines.back() += ", tried again at each start; --restore-backups undoes this restart, --discard-pending "
                           "drops only what it could not replace";
  }
  return result;
}

SettleResult DiscardPending(OfflinePlatform& platform) {
  if (platform.journal().Entries().empty()) return {kExitDone, {"no replacements wait for a restart"}};
  if (platform.journal().State() == JournalState::kRestoring) return Refusal(kRestoreWaitsText);
  if (auto refused = InPlaceUnrecorded(platform)) return *refused;
  std::vector<PendingReplacement> discarded;
  if (DWORD r = platform.journal().Discard(&discarded); r != err::kSuccess) {
    return Refusal("the pending replacements could not be discarded: " + ErrorText(r));
  }
  SettleResult result;
  for (const PendingReplacement& e : discarded) {
    result.lines.push_back(e.hive.filename().string() + " left alone: its replacement was discarded");
  }
  return result;
}

SettleResult RestoreBackups(OfflinePlatform& platform) {
  if (Hibernated(platform.drives())) return Refusal(kHibernatedText);
  const bool stuck = platform.journal().State() == JournalState::kRestarting && !platform.journal().Entries().empty();
  if (auto refused = stuck ? InPlaceUnrecorded(platform) : CannotChange(platform, false)) return *refused;
  const std::vector<AppliedReplacement> applied = platform.journal().Applied();
  // A backup that is missing or broken: nothing is changed at all.
  for (const AppliedReplacement& a : applied) {
    if (auto why = WhyNotSoundHive(a.backup)) {
      return Invalid("the backup " + platform.drives().ToWindows(a.backup) + " cannot be put back: " + *why +
                     "; nothing was restored");
    }
  }
  SettleResult result;
  // Undoing a restart that could not replace every hive starts with those it
  // could not: their copies go, and the hives (never renamed) get back the
  // logs that had gone beside their backups.
  if (stuck) {
    std::vector<PendingReplacement> dropped;
    if (DWORD r = platform.journal().Discard(&dropped); r != err::kSuccess) {
      return Refusal("the replacements the restart could not make could not be dropped: " + ErrorText(r) +
                     "; nothing was restored");
    }
    for (const PendingReplacement& e : dropped) {
      result.lines.push_back(e.hive.filename().string() +
                             " left alone: the restart could not replace it; its replacement was dropped");
    }
  }
  // Nothing to put back is no failure, as with nothing to apply or discard.
  if (applied.empty()) {
    result.lines.push_back(stuck ? "no backups of that restart to put back"
                                 : "nothing to restore: no backups of a restart to put back");
    return result;
  }
  std::vector<PendingReplacement> entries;
  std::vector<AppliedReplacement> changed;
  for (const AppliedReplacement& a : applied) {
    if (!(FingerprintOf(a.hive) == a.installed)) {
      result.lines.push_back(a.hive.filename().string() + " left alone: it changed since the restart; its backup " +
                             a.backup.filename().string() + " stays");
      changed.push_back(a);
      continue;
    }
    entries.push_back({a.hive, a.backup, WithSuffix(a.hive, ".compacted"), a.installed});
  }
  std::vector<ReplacementOutcome> outcomes;
  if (!entries.empty()) platform.journal().Restore(entries, changed, &outcomes);
  platform.AddOutcomes(outcomes);
  for (ReplacementOutcome& o : outcomes) {
    if (o.replaced) {
      result.lines.push_back(o.hive.filename().string() + " restored from " + o.hive.filename().string() +
                             ".bak; the compacted hive is kept as " + o.backup.filename().string());
    } else {
      result.lines.push_back(OutcomeLines({o}).front());
    }
  }
  result.exitCode = ExitCodeOf(outcomes, static_cast<int>(changed.size()));
  return result;
}

SettleResult ListRestorePoints(OfflinePlatform& platform) {
  SettleResult result;
  std::vector<fs::path> points;
  std::error_code ec;
  for (fs::directory_iterator it(platform.restorePoints().folder(), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) points.push_back(it->path());
  }
  std::sort(points.begin(), points.end());
  for (const fs::path& point : points) {
    const RestorePointIndex index = ReadRestorePointIndex(point, platform.drives(), platform.HiveRule());
    if (index.problem) {
      result.lines.push_back(point.filename().string() + "  invalid: " + *index.problem);
      result.exitCode = kExitInvalidState;
      continue;
    }
    result.lines.push_back(point.filename().string() + "  " + index.time + "  " + index.description + "  (" +
                           std::to_string(index.hives.size()) + " hives)");
    for (const RestorePointHive& hive : index.hives) {
      result.lines.push_back("    " + hive.file + "  " + Grouped(hive.size) + " bytes");
    }
  }
  if (result.lines.empty()) result.lines.push_back("no restore points");
  return result;
}

SettleResult RestoreFromPoint(OfflinePlatform& platform, const std::string& id) {
  if (id.empty() || id.find_first_of("/\\") != std::string::npos || id == "." || id == ".." ||
      id.find('\0') != std::string::npos) {
    return Refusal("no restore point " + id);
  }
  const fs::path point = platform.restorePoints().folder() / id;
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(point, ec)) || !Exists(point / kRestorePointIndexName)) {
    return Refusal("no restore point " + id + " (--list-restore-points lists them)");
  }
  if (auto refused = CannotChange(platform, false)) return *refused;
  const RestorePointIndex index = ReadRestorePointIndex(point, platform.drives(), platform.HiveRule());
  if (index.problem) return Invalid(*index.problem + "; nothing was restored");

  struct Item {
    fs::path hive, copy;
  };
  std::vector<Item> items;
  for (const RestorePointHive& hive : index.hives) {
    // A broken copy stops the whole restore before anything moves.
    if (auto why = WhyNotSoundHive(hive.copy)) {
      return Invalid("restore point " + id + ": the copy of " + hive.file + " cannot be put back: " + *why +
                     "; nothing was restored");
    }
    items.push_back({hive.hive, hive.copy});
  }
  if (items.empty()) return Refusal("restore point " + id + " holds no hives");

  // Each copy goes beside its hive first (with the hive's protection), so that
  // putting it in place is a rename like the restart's.
  std::vector<PendingReplacement> entries;
  auto cleanup = [&] {
    for (const PendingReplacement& e : entries) {
      std::error_code ignore;
      host::Remove(e.replacement);
      for (const char* which : kLogNames) host::Remove(WithSuffix(e.replacement, (std::string(".") + which).c_str()));
    }
  };
  for (const Item& item : items) {
    const fs::path staged = WithSuffix(item.hive, ".rptmp");
    std::error_code ec;
    host::Remove(staged);
    std::string why;
    DWORD r = Exists(item.hive) ? host::CopyFileProtected(item.copy, staged, item.hive, &why) : err::kFileNotFound;
    for (const char* which : kLogNames) {
      const fs::path log = LogOf(item.copy, which);
      if (r != err::kSuccess || !Exists(log)) continue;
      const fs::path hiveLog = LogOf(item.hive, which);
      const fs::path stagedLog = WithSuffix(staged, (std::string(".") + which).c_str());
      host::Remove(stagedLog);
      r = host::CopyFileProtected(log, stagedLog, Exists(hiveLog) ? hiveLog : item.hive, &why);
    }
    entries.push_back({item.hive, staged, WithSuffix(item.hive, ".before-restore"), FingerprintOf(item.hive)});
    if (r != err::kSuccess) {
      cleanup();
      return Refusal(item.hive.filename().string() + ": " + (why.empty() ? "its copy could not be staged" : why) +
                     "; nothing was restored");
    }
  }
  std::vector<ReplacementOutcome> outcomes;
  platform.journal().Restore(entries, platform.journal().Applied(), &outcomes);
  platform.AddOutcomes(outcomes);
  SettleResult result;
  for (const ReplacementOutcome& o : outcomes) {
    result.lines.push_back(o.replaced ? o.hive.filename().string() + " restored from restore point " + id +
                                            "; the hive it replaced is kept as " + o.backup.filename().string()
                                      : OutcomeLines({o}).front());
  }
  result.exitCode = ExitCodeOf(outcomes);
  return result;
}

}  // namespace hv::offline
