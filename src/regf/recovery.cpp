#include "recovery.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "hex_text.h"
#include "host_file.h"
#include "log_file.h"

namespace hv::regf {
namespace {

// The first bin's copy of the last-written time, in the file.
constexpr std::size_t kFirstBinTimestamp = kBaseBlockSize + bin::kTimestamp;
constexpr std::uint32_t kMaxBins = 0x7FFFF000u;

// Sequence numbers count modulo 2^32: the one after 0xFFFFFFFF is 0. Of two numbers, the
// earlier is the one from which the other is reached in fewer than 2^31 steps.
bool SeqBefore(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; }

struct Primary {
  const std::uint8_t* data;
  std::size_t size;
  bool baseValid;  // a whole base block with the signature and a correct checksum
  std::uint32_t primarySeq, secondarySeq;
  std::uint64_t lastWritten;
  std::uint32_t binsSize;
};

Primary ReadPrimary(const std::uint8_t* data, std::size_t size) {
  Primary p{data, size, false, 0, 0, 0, 0};
  if (size < kBaseBlockSize) return p;
  p.baseValid = HasSignature(data + base::kSignature, "regf") && BaseBlockChecksum(data) == Rd32(data + base::kChecksum);
  p.primarySeq = Rd32(data + base::kPrimarySeq);
  p.secondarySeq = Rd32(data + base::kSecondarySeq);
  p.lastWritten = Rd64(data + base::kLastWritten);
  p.binsSize = Rd32(data + base::kBinsSize);
  return p;
}

struct ParsedLog {
  const LogImage* image;
  LogFile file;
};

// Marks the 512-byte pages of the hive bins written from a log.
class DirtyMap {
 public:
  void Mark(std::uint32_t offset, std::uint32_t size) {
    const std::uint64_t end = (std::uint64_t{offset} + size + 511) / 512;
    if (bits_.size() < end) bits_.resize(static_cast<std::size_t>(end), false);
    for (std::uint64_t i = offset / 512; i < end; ++i) bits_[static_cast<std::size_t>(i)] = true;
  }
  bool Any(std::uint32_t offset, std::uint32_t size) const {
    const std::uint64_t end = std::min<std::uint64_t>((std::uint64_t{offset} + size + 511) / 512, bits_.size());
    for (std::uint64_t i = offset / 512; i < end; ++i) {
      if (bits_[static_cast<std::size_t>(i)]) return true;
    }
    return false;
  }

 private:
  std::vector<bool> bits_;
};

// The recovered bins must form a chain of valid bins. A broken bin that a log wrote is the log's
// fault and is named as such; either way nothing is guessed.
Status CheckBins(const std::vector<std::uint8_t>& image, const DirtyMap& dirty, const std::string& logs) {
  const std::uint32_t bins = static_cast<std::uint32_t>(image.size() - kBaseBlockSize);
  std::uint32_t off = 0;
  while (off < bins) {
    const std::uint8_t* p = image.data() + kBaseBlockSize + off;
    std::string problem;
    std::uint32_t size = 0;
    if (bins - off < kBinHeaderSize || !HasSignature(p + bin::kSignature, "hbin")) {
      problem = "no hive bin signature";
    } else if (Rd32(p + bin::kOffset) != off) {
      problem = "it claims offset " + Hex(Rd32(p + bin::kOffset));
    } else {
      size = Rd32(p + bin::kSize);
      if (size < kBinAlign || size % kBinAlign != 0 || size > bins - off) problem = "invalid size " + Hex(size);
    }
    if (!problem.empty()) {
      const bool fromLog = dirty.Any(off, kBinHeaderSize);
      return Status{false, std::string(fromLog ? "the dirty hive bin at " : "the hive bin at ") + Hex(off) +
                               (fromLog ? " written from " + logs : std::string(" of the primary file")) +
                               " is not valid (" + problem + "); the hive cannot be recovered"};
    }
    off += size;
  }
  return {};
}

void FinishBase(std::vector<std::uint8_t>& image, std::uint32_t seq, std::uint32_t binsSize,
                std::optional<std::uint32_t> flagBit) {
  std::uint8_t* b = image.data();
  Wr32(b + base::kPrimarySeq, seq);
  Wr32(b + base::kSecondarySeq, seq);
  Wr32(b + base::kFileType, 0);
  Wr32(b + base::kBinsSize, binsSize);
  if (flagBit) Wr32(b + base::kFlags, (Rd32(b + base::kFlags) & ~1u) | (*flagBit & 1u));
  Wr32(b + base::kChecksum, BaseBlockChecksum(b));
}

// The image's start: the primary's base block when valid, else the log's base block copy; then
// the primary's bins as far as the file holds them.
std::vector<std::uint8_t> StartImage(const Primary& p, const std::uint8_t* logBase, std::uint32_t binsSize) {
  const std::size_t have = p.size > kBaseBlockSize ? p.size - kBaseBlockSize : 0;
  const std::size_t bins = std::min<std::size_t>(have, binsSize);
  std::vector<std::uint8_t> image(kBaseBlockSize + bins, 0);
  if (p.baseValid) {
    std::memcpy(image.data(), p.data, kBaseBlockSize);
  } else {
    std::memcpy(image.data(), logBase, log_base::kSize);
  }
  if (bins > 0) std::memcpy(image.data() + kBaseBlockSize, p.data + kBaseBlockSize, bins);
  return image;
}

std::string Names(const std::vector<std::string>& names) {
  std::string s;
  for (const auto& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

class NewRecovery {
 public:
  // `owned`, when given, holds the primary's bytes (p's) and may become the image itself.
  NewRecovery(const Primary& p, std::vector<ParsedLog>& logs, RecoveryReport& r, std::vector<std::string>& why,
              std::vector<std::uint8_t>* owned)
      : p_(p), logs_(logs), r_(r), why_(why), owned_(owned) {}

  Status Run(std::vector<std::uint8_t>& image) {
    std::vector<ParsedLog*> order;
    for (ParsedLog& l : logs_) {
      const std::string& name = l.image->name;
      if (!l.file.base.Valid()) {
        why_.push_back(name + ": its base block is not valid");
      } else if (p_.baseValid && SeqBefore(l.file.base.primarySeq, p_.secondarySeq)) {
        why_.push_back(name + ": stale (its sequence number " + std::to_string(l.file.base.primarySeq) +
                       " is below the hive's " + std::to_string(p_.secondarySeq) + ")");
      } else {
        order.push_back(&l);
      }
    }
    if (order.empty()) return Status{false, ""};
    // Counted from the hive's number (or from any log's, when the hive's base block is bad), so
    // that a log whose number wrapped past 0xFFFFFFFF still comes after one that did not.
    const std::uint32_t from = p_.baseValid ? p_.secondarySeq : order.front()->file.base.primarySeq;
    auto steps = [from](const ParsedLog* l) { return static_cast<std::int32_t>(l->file.base.primarySeq - from); };
    std::stable_sort(order.begin(), order.end(),
                     [&](const ParsedLog* a, const ParsedLog* b) { return steps(a) < steps(b); });
    // The chain starts in the log with the earliest entries; when none of that log's entries
    // applies (a wrong hash, say), in another log that starts from the same sequence number,
    // whichever slot holds it. With a bad base block only one log is used, the one with the
    // latest entries, or failing it the next latest.
    std::vector<std::vector<ParsedLog*>> attempts;
    if (p_.baseValid) {
      for (std::size_t i = 0; i < order.size() && order[i]->file.base.primarySeq == order[0]->file.base.primarySeq; ++i) {
        std::vector<ParsedLog*> attempt{order[i]};
        for (std::size_t j = 0; j < order.size(); ++j) {
          if (j != i) attempt.push_back(order[j]);
        }
        attempts.push_back(std::move(attempt));
      }
    } else {
      for (auto it = order.rbegin(); it != order.rend(); ++it) attempts.push_back({*it});
    }
    // With a valid base block every attempt starts from the primary as it is, which an attempt
    // that applies no entry leaves unchanged: the primary's own bytes become the image when this
    // holds them, instead of a copy.
    if (p_.baseValid) {
      if (owned_ != nullptr) {
        image = std::move(*owned_);
        image.resize(std::min<std::size_t>(image.size(), kBaseBlockSize + std::size_t{p_.binsSize}));
      } else {
        image = StartImage(p_, nullptr, p_.binsSize);
      }
    }
    for (const auto& attempt : attempts) {
      if (Status s = Chain(attempt, image); s.ok || !s.message.empty()) return s;
    }
    image.clear();
    return Status{false, ""};
  }

 private:
  // Applies the entries of `order`'s logs in turn; fails without a message when no entry of the
  // first log applies.
  Status Chain(const std::vector<ParsedLog*>& order, std::vector<std::uint8_t>& image) {
    r_.entries = 0;
    r_.pageBytes = 0;
    r_.used.clear();
    r_.stopped.clear();
    dirty_ = DirtyMap();
    const ParsedLog& first = *order.front();
    if (!p_.baseValid) image = StartImage(p_, first.image->data, first.file.base.binsSize);
    std::optional<std::uint32_t> last;
    std::uint32_t flags = 0, binsSize = 0;
    for (ParsedLog* log : order) {
      const std::string& name = log->image->name;
      const std::uint32_t base = log->file.base.primarySeq;
      bool usedThis = false, sawEntry = false;
      for (const LogEntry& e : log->file.entries) {
        if (SeqBefore(e.sequence, base) || (last && !SeqBefore(*last, e.sequence))) continue;  // old, or applied
        sawEntry = true;
        const std::uint32_t expected = last ? static_cast<std::uint32_t>(*last + 1u) : base;
        const std::string entry = "entry " + std::to_string(e.sequence);
        std::string bad;
        if (e.sequence != expected) {
          bad = entry + " where " + std::to_string(expected) + " was expected";
        } else if (!e.hashesOk) {
          bad = entry + " has a wrong hash";
        } else if (!e.binsSizeOk) {
          bad = entry + " has an invalid hive bins size";
        } else if (std::string why = Apply(e, log->image->data, image); !why.empty()) {
          bad = entry + " " + why;
        }
        if (!bad.empty()) {
          // Before the first entry applied this refuses the log; after it, the chain ends here
          // and may go on in the next log.
          (last ? r_.stopped : why_.emplace_back()) = name + ": " + bad;
          break;
        }
        if (!last) r_.firstSeq = e.sequence;
        last = e.sequence;
        flags = e.flags;
        binsSize = e.binsSize;
        ++r_.entries;
        usedThis = true;
      }
      if (usedThis) r_.used.push_back(name);
      if (!last) {
        if (!sawEntry) {
          why_.push_back(name + ": no entry from its sequence number " + std::to_string(base) +
                         (log->file.problem.empty() ? std::string() : " (" + log->file.problem + ")"));
        }
        // The chain starts in the log with the earliest entries or not at all: a later log's
        // entries build on the earlier one's.
        return Status{false, ""};
      }
    }
    r_.lastSeq = *last;
    FinishBase(image, *last, binsSize, flags);
    return CheckBins(image, dirty_, Names(r_.used));
  }

  // Writes the entry's pages; an error text instead when the entry does not fit the hive.
  std::string Apply(const LogEntry& e, const std::uint8_t* log, std::vector<std::uint8_t>& image) {
    const std::uint64_t current = image.size() - kBaseBlockSize;
    const std::uint64_t pages = e.PageBytes();
    if (e.binsSize > current && e.binsSize - current > pages) {
      return "grows the hive by more than the pages it carries";
    }
    for (const DirtyPage& page : e.pages) {
      if (std::uint64_t{page.offset} + page.size > e.binsSize) return "has a page outside the hive bins";
    }
    image.resize(kBaseBlockSize + std::size_t{e.binsSize}, 0);
    for (const DirtyPage& page : e.pages) {
      std::memcpy(image.data() + kBaseBlockSize + page.offset, log + page.at, page.size);
      dirty_.Mark(page.offset, page.size);
    }
    r_.pageBytes += pages;
    return {};
  }

  const Primary& p_;
  std::vector<ParsedLog>& logs_;
  RecoveryReport& r_;
  std::vector<std::string>& why_;
  std::vector<std::uint8_t>* owned_;
  DirtyMap dirty_;
};

Status RunOld(const Primary& p, std::vector<ParsedLog>& logs, RecoveryReport& r, std::vector<std::string>& why,
              std::vector<std::uint8_t>& image) {
  const ParsedLog* log1 = nullptr;
  const ParsedLog* log2 = nullptr;
  for (const ParsedLog& l : logs) {
    if (l.image->slot == LogSlot::kLog2) log2 = &l;
    else if (log1 == nullptr || l.image->slot == LogSlot::kLog1) log1 = &l;
  }
  const bool haveStamp = p.baseValid || p.size >= kFirstBinTimestamp + 8;
  const std::uint64_t stamp = p.baseValid ? p.lastWritten : haveStamp ? Rd64(p.data + kFirstBinTimestamp) : 0;
  auto valid = [&](const ParsedLog* l) {
    return l != nullptr && l->file.format == LogFormat::kOld && l->file.base.Valid() && l->file.oldComplete;
  };
  auto explain = [&](const ParsedLog* l) {
    if (l == nullptr) return;
    if (!l->file.base.Valid()) why.push_back(l->image->name + ": its base block is not valid");
    else if (!l->file.oldComplete) why.push_back(l->image->name + ": " + l->file.problem);
    else if (l->file.base.lastWritten != stamp) why.push_back(l->image->name + ": its last-written time differs from the hive's");
  };
  const ParsedLog* chosen = nullptr;
  if (valid(log1) && haveStamp && log1->file.base.lastWritten == stamp) {
    chosen = log1;
  } else if (valid(log2) && (!valid(log1) || log2->file.base.lastWritten > log1->file.base.lastWritten)) {
    // Windows 8 turns to the second log when the first cannot be applied and the second holds
    // the more recent log of dirty data.
    chosen = log2;
  }
  if (chosen == nullptr) {
    explain(log1);
    explain(log2);
    return Status{false, ""};
  }
  const LogFile& f = chosen->file;
  const std::uint64_t pageBytes = std::uint64_t{f.oldPages.size()} * dirty_vector::kPageSize;
  if (f.base.binsSize == 0 || f.base.binsSize > kMaxBins) {
    why.push_back(chosen->image->name + ": its base block declares an invalid hive bins size");
    return Status{false, ""};
  }
  // Bins the primary file does not hold must all come from the log's pages.
  image = StartImage(p, chosen->image->data, f.base.binsSize);
  if (image.size() - kBaseBlockSize + pageBytes < f.base.binsSize) {
    image.clear();
    why.push_back(chosen->image->name + ": it grows the hive by more than the pages it carries");
    return Status{false, ""};
  }
  image.resize(kBaseBlockSize + std::size_t{f.base.binsSize}, 0);
  DirtyMap dirty;
  for (const DirtyPage& page : f.oldPages) {
    std::memcpy(image.data() + kBaseBlockSize + page.offset, chosen->image->data + page.at, page.size);
    dirty.Mark(page.offset, page.size);
  }
  r.used.push_back(chosen->image->name);
  r.entries = 1;
  r.pageBytes = pageBytes;
  const std::uint32_t seq =
      p.baseValid && SeqBefore(f.base.primarySeq, p.primarySeq) ? p.primarySeq : f.base.primarySeq;
  r.firstSeq = r.lastSeq = seq;
  FinishBase(image, seq, f.base.binsSize, std::nullopt);
  return CheckBins(image, dirty, chosen->image->name);
}

Status Recover(const std::uint8_t* primary, std::size_t primarySize, std::vector<std::uint8_t>* owned,
               const std::vector<LogImage>& logs, std::vector<std::uint8_t>& image, RecoveryReport& report);

}  // namespace

Status RecoverImage(const std::uint8_t* primary, std::size_t primarySize, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report) {
  return Recover(primary, primarySize, nullptr, logs, image, report);
}

Status RecoverImage(std::vector<std::uint8_t> primary, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report) {
  const std::uint8_t* const data = primary.data();
  const std::size_t size = primary.size();
  return Recover(data, size, &primary, logs, image, report);
}

namespace {

// RecoverImage; with `owned` holding the primary's bytes, which the image may take over.
Status Recover(const std::uint8_t* primary, std::size_t primarySize, std::vector<std::uint8_t>* owned,
               const std::vector<LogImage>& logs, std::vector<std::uint8_t>& image, RecoveryReport& report) {
  image.clear();
  const Primary p = ReadPrimary(primary, primarySize);
  report.primarySeq = p.primarySeq;
  report.secondarySeq = p.secondarySeq;
  report.checksumOk = p.baseValid;
  report.dirty = !p.baseValid || p.primarySeq != p.secondarySeq;
  if (!report.dirty) return {};

  std::vector<ParsedLog> parsed;
  parsed.reserve(logs.size());
  bool anyNew = false;
  for (const LogImage& l : logs) {
    parsed.push_back(ParsedLog{&l, ReadLogFile(l.data, l.size)});
    anyNew = anyNew || parsed.back().file.format == LogFormat::kNew;
  }
  std::vector<std::string> why;
  Status s{false, ""};
  if (parsed.empty()) {
    why.push_back("no transaction log was found beside it");
  } else if (anyNew) {
    report.newFormat = true;
    for (auto it = parsed.begin(); it != parsed.end();) {
      if (it->file.format != LogFormat::kNew) {
        why.push_back(it->image->name + ": not a log of the new format (" +
                      (it->file.problem.empty() ? "old format beside new ones" : it->file.problem) + ")");
        it = parsed.erase(it);
      } else {
        ++it;
      }
    }
    s = NewRecovery(p, parsed, report, why, owned).Run(image);
  } else {
    s = RunOld(p, parsed, report, why, image);
  }
  if (s.ok) return s;
  image.clear();
  report.used.clear();
  report.entries = 0;
  if (!s.message.empty()) return s;
  std::string msg = "the hive is dirty (";
  msg += p.baseValid ? "primary sequence number " + std::to_string(p.primarySeq) + ", secondary " +
                           std::to_string(p.secondarySeq)
                     : std::string("its base block checksum is wrong");
  msg += ") and no transaction log can recover it: " + Names(why);
  return Status{false, msg};
}

// The first `limit` bytes of the file (fewer when it is shorter, or shrank meanwhile).
bool ReadPrefix(const std::filesystem::path& file, std::uint64_t limit, std::vector<std::uint8_t>& out,
                std::string& error) {
  out.clear();
  HostFile f;
  int e = f.Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  std::uint64_t size = e == 0 ? f.Size(e) : 0;
  if (e == 0) {
    out.resize(static_cast<std::size_t>(std::min(size, limit)));
    std::size_t got = 0;
    e = f.Read(out.data(), out.size(), got);
    out.resize(got);
  }
  if (e != 0) error = "cannot read the file: " + HostErrorText(e);
  return e == 0;
}

}  // namespace

Status RecoverHiveFile(const std::filesystem::path& file, std::vector<std::uint8_t>& image, RecoveryReport& report) {
  image.clear();
  report = RecoveryReport{};
  FileView primary;
  std::string error;
  // The base block alone tells a clean hive, which the reader then loads itself.
  if (!primary.Open(file, kBaseBlockSize, error)) return Status{false, file.string() + ": " + error};
  const Primary p = ReadPrimary(primary.Data(), primary.Size());
  // Not a hive at all: the reader says so in its own words.
  if (primary.Size() < kBaseBlockSize || !HasSignature(primary.Data() + base::kSignature, "regf")) return {};
  report.primarySeq = p.primarySeq;
  report.secondarySeq = p.secondarySeq;
  report.checksumOk = p.baseValid;
  report.dirty = !p.baseValid || p.primarySeq != p.secondarySeq;
  if (!report.dirty) return {};

  std::vector<FoundLog> found = FindHiveLogs(file);
  std::vector<LogImage> logs;
  // Recovery starts from the primary's bins as far as the hive bins size it starts from (the
  // primary's, or a log's base block copy's: the largest of them bounds it); more is never read,
  // however long the file.
  auto sane = [](std::uint32_t bins) { return bins % kBinAlign == 0 && bins <= kMaxBins ? bins : 0u; };
  std::uint32_t startBins = p.baseValid ? sane(p.binsSize) : 0u;
  for (const FoundLog& f : found) {
    std::string line = LogName(f) + " (" + std::to_string(f.size) + " bytes)";
    if (!f.skipped.empty()) line += ": " + f.skipped;
    report.logs.push_back(line);
    if (!f.skipped.empty()) continue;
    logs.push_back(LogImage{LogName(f), f.slot, f.bytes.data(), f.bytes.size()});
    if (f.bytes.size() >= log_base::kSize) startBins = std::max(startBins, sane(Rd32(f.bytes.data() + base::kBinsSize)));
  }
  std::vector<std::uint8_t> bytes;
  if (!ReadPrefix(file, kBaseBlockSize + std::uint64_t{startBins}, bytes, error)) return Status{false, file.string() + ": " + error};
  // Two usable files for one slot (names differing only in case) would make the choice depend on
  // the folder: refuse rather than guess.
  for (std::size_t i = 1; i < logs.size(); ++i) {
    if (logs[i].slot == logs[i - 1].slot) {
      return Status{false, file.string() + ": the hive is dirty and two logs fill one place (" + logs[i - 1].name +
                               ", " + logs[i].name + "); it is not recovered"};
    }
  }
  primary = FileView();
  Status s = RecoverImage(std::move(bytes), logs, image, report);
  if (!s) {
    std::string msg = file.string() + ": " + s.message;
    if (!report.logs.empty()) msg += " [logs found: " + Names(report.logs) + "]";
    return Status{false, msg};
  }
  return s;
}

Hive LoadHive(const std::filesystem::path& file, RecoveryReport* report) {
  RecoveryReport local;
  RecoveryReport& r = report != nullptr ? *report : local;
  std::vector<std::uint8_t> image;
  const Status s = RecoverHiveFile(file, image, r);
  if (!s) throw FormatError(s.message);
  if (!r.dirty) return Hive::Load(file);
  return Hive::FromBytes(std::move(image), file.string());
}

std::string DescribeRecovery(const RecoveryReport& r) {
  if (!r.dirty) return "clean";
  std::string s = Names(r.used) + ": " + std::to_string(r.entries) +
                  (r.newFormat ? (r.entries == 1 ? " entry" : " entries") : std::string(" old-format log")) +
                  ", sequence numbers " + std::to_string(r.firstSeq);
  if (r.lastSeq != r.firstSeq) s += "-" + std::to_string(r.lastSeq);
  return s;
}

}  // namespace hv::regf
