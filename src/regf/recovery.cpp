#include "recovery.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <future>
#include <optional>

#include "byte_source.h"
#include "hex_text.h"
#include "hive_overlay.h"
#include "host_file.h"
#include "log_file.h"
#include "stop.h"

namespace hv::regf {
namespace {

// The first bin's copy of the last-written time, in the file.
constexpr std::size_t kFirstBinTimestamp = kBaseBlockSize + bin::kTimestamp;
constexpr std::uint32_t kMaxBins = 0x7FFFF000u;

// Sequence numbers count modulo 2^32: the one after 0xFFFFFFFF is 0. Of two numbers, the
// earlier is the one from which the other is reached in fewer than 2^31 steps.
bool SeqBefore(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; }

// The primary file as recovery sees it: its size and its first bytes (all of them when recovery
// builds the image in memory; the base block and the first bin's header when it builds an
// overlay).
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
  std::string name;
  LogSlot slot;
  const ByteSource* bytes;
  std::uint32_t index;  // among the logs given to recovery
  LogFile file;
  std::uint8_t base[log_base::kSize];  // its base block copy, when file.base.present
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
    if (!problem.empty()) return Status{false, RecoveredBinProblem(off, problem, dirty.Any(off, kBinHeaderSize), logs)};
    off += size;
  }
  return {};
}

void FinishBase(std::uint8_t* b, std::uint32_t seq, std::uint32_t binsSize, std::optional<std::uint32_t> flagBit) {
  Wr32(b + base::kPrimarySeq, seq);
  Wr32(b + base::kSecondarySeq, seq);
  Wr32(b + base::kFileType, 0);
  Wr32(b + base::kBinsSize, binsSize);
  if (flagBit) Wr32(b + base::kFlags, (Rd32(b + base::kFlags) & ~1u) | (*flagBit & 1u));
  Wr32(b + base::kChecksum, BaseBlockChecksum(b));
}

std::string Names(const std::vector<std::string>& names) {
  std::string s;
  for (const auto& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// Where recovery builds the hive: an image in memory, or an overlay that notes where each
// rewritten range lies in its log. The rules that decide what is written are the same for both.
class Target {
 public:
  virtual ~Target() = default;
  // The primary's base block when valid, else the log's base block copy (`logBase`); then the
  // primary's bins up to `binsSize`, as far as the file holds them.
  virtual void Start(const Primary& p, const std::uint8_t* logBase, std::uint32_t binsSize) = 0;
  virtual std::uint64_t Bins() const = 0;
  // Grows the bins with zeros, or cuts them.
  virtual void Resize(std::uint32_t bins) = 0;
  // The page's bytes from its log; false when the log can no longer be read there.
  virtual bool Write(const DirtyPage& page, const ParsedLog& log) = 0;
  virtual std::uint8_t* Base() = 0;
  // Whether the recovered bins form a chain of valid bins (an overlay leaves it to its reader,
  // which walks the chain anyway and words a fault as this does).
  virtual Status Check(const DirtyMap& dirty, const std::string& logs) = 0;
  virtual void Clear() = 0;
};

class ImageTarget final : public Target {
 public:
  // `owned`, when given, holds the primary's bytes and becomes the image when it starts from them.
  ImageTarget(std::vector<std::uint8_t>& image, std::vector<std::uint8_t>* owned) : image_(image), owned_(owned) {}
  void Start(const Primary& p, const std::uint8_t* logBase, std::uint32_t binsSize) override {
    const std::size_t have = p.size > kBaseBlockSize ? p.size - kBaseBlockSize : 0;
    const std::size_t bins = std::min<std::size_t>(have, binsSize);
    if (p.baseValid && owned_ != nullptr && !owned_->empty() && owned_->data() == p.data) {
      image_ = std::move(*owned_);
      image_.resize(kBaseBlockSize + bins);
      return;
    }
    image_.assign(kBaseBlockSize + bins, 0);
    if (p.baseValid) {
      std::memcpy(image_.data(), p.data, kBaseBlockSize);
    } else {
      std::memcpy(image_.data(), logBase, log_base::kSize);
    }
    if (bins > 0) std::memcpy(image_.data() + kBaseBlockSize, p.data + kBaseBlockSize, bins);
  }
  std::uint64_t Bins() const override { return image_.size() - kBaseBlockSize; }
  void Resize(std::uint32_t bins) override { image_.resize(kBaseBlockSize + std::size_t{bins}, 0); }
  bool Write(const DirtyPage& page, const ParsedLog& log) override {
    std::size_t got = 0;
    return log.bytes->ReadAt(page.at, image_.data() + kBaseBlockSize + page.offset, page.size, got) == 0 &&
           got == page.size;
  }
  std::uint8_t* Base() override { return image_.data(); }
  Status Check(const DirtyMap& dirty, const std::string& logs) override { return CheckBins(image_, dirty, logs); }
  void Clear() override { image_.clear(); }

 private:
  std::vector<std::uint8_t>& image_;
  std::vector<std::uint8_t>* owned_;
};

class OverlayTarget final : public Target {
 public:
  explicit OverlayTarget(HiveOverlay& overlay) : overlay_(overlay) {}
  void Start(const Primary& p, const std::uint8_t* logBase, std::uint32_t binsSize) override {
    overlay_.Start(p.baseValid ? p.data : logBase, p.baseValid ? kBaseBlockSize : log_base::kSize, binsSize);
  }
  std::uint64_t Bins() const override { return overlay_.Bins(); }
  void Resize(std::uint32_t bins) override { overlay_.Resize(bins); }
  bool Write(const DirtyPage& page, const ParsedLog& log) override {
    overlay_.Write(page.offset, page.size, log.index, page.at);
    return true;
  }
  std::uint8_t* Base() override { return overlay_.BaseBlock(); }
  Status Check(const DirtyMap&, const std::string& logs) override {
    overlay_.SetLogsUsed(logs);
    return {};
  }
  void Clear() override { overlay_.Clear(); }

 private:
  HiveOverlay& overlay_;
};

// A log that changed between recovery's reading of it and the applying of its pages.
std::string Changed(const std::string& name) { return name + " changed while it was read; the hive is not recovered"; }

class NewRecovery {
 public:
  NewRecovery(const Primary& p, std::vector<ParsedLog>& logs, RecoveryReport& r, std::vector<std::string>& why,
              Target& target)
      : p_(p), logs_(logs), r_(r), why_(why), target_(target) {}

  Status Run() {
    std::vector<ParsedLog*> order;
    for (ParsedLog& l : logs_) {
      const std::string& name = l.name;
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
    // that applies no entry leaves unchanged.
    if (p_.baseValid) target_.Start(p_, nullptr, p_.binsSize);
    for (const auto& attempt : attempts) {
      if (Status s = Chain(attempt); s.ok || !s.message.empty()) return s;
    }
    target_.Clear();
    return Status{false, ""};
  }

 private:
  // Applies the entries of `order`'s logs in turn; fails without a message when no entry of the
  // first log applies.
  Status Chain(const std::vector<ParsedLog*>& order) {
    r_.entries = 0;
    r_.pageBytes = 0;
    r_.used.clear();
    r_.stopped.clear();
    dirty_ = DirtyMap();
    const ParsedLog& first = *order.front();
    if (!p_.baseValid) target_.Start(p_, first.base, first.file.base.binsSize);
    std::optional<std::uint32_t> last;
    std::uint32_t flags = 0, binsSize = 0;
    for (ParsedLog* log : order) {
      const std::string& name = log->name;
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
        } else if (std::string why = Apply(e, *log); !why.empty()) {
          bad = entry + " " + why;
        }
        if (changed_) return Status{false, Changed(name)};
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
    FinishBase(target_.Base(), *last, binsSize, flags);
    return target_.Check(dirty_, Names(r_.used));
  }

  // Writes the entry's pages; an error text instead when the entry does not fit the hive.
  std::string Apply(const LogEntry& e, const ParsedLog& log) {
    const std::uint64_t current = target_.Bins();
    const std::uint64_t pages = e.PageBytes();
    if (e.binsSize > current && e.binsSize - current > pages) {
      return "grows the hive by more than the pages it carries";
    }
    for (const DirtyPage& page : e.pages) {
      if (std::uint64_t{page.offset} + page.size > e.binsSize) return "has a page outside the hive bins";
    }
    target_.Resize(e.binsSize);
    for (const DirtyPage& page : e.pages) {
      if (!target_.Write(page, log)) {
        changed_ = true;
        return {};
      }
      dirty_.Mark(page.offset, page.size);
    }
    r_.pageBytes += pages;
    return {};
  }

  const Primary& p_;
  std::vector<ParsedLog>& logs_;
  RecoveryReport& r_;
  std::vector<std::string>& why_;
  Target& target_;
  DirtyMap dirty_;
  bool changed_ = false;
};

Status RunOld(const Primary& p, std::vector<ParsedLog>& logs, RecoveryReport& r, std::vector<std::string>& why,
              Target& target) {
  const ParsedLog* log1 = nullptr;
  const ParsedLog* log2 = nullptr;
  for (const ParsedLog& l : logs) {
    if (l.slot == LogSlot::kLog2) log2 = &l;
    else if (log1 == nullptr || l.slot == LogSlot::kLog1) log1 = &l;
  }
  const bool haveStamp = p.baseValid || p.size >= kFirstBinTimestamp + 8;
  const std::uint64_t stamp = p.baseValid ? p.lastWritten : haveStamp ? Rd64(p.data + kFirstBinTimestamp) : 0;
  auto valid = [&](const ParsedLog* l) {
    return l != nullptr && l->file.format == LogFormat::kOld && l->file.base.Valid() && l->file.oldComplete;
  };
  auto explain = [&](const ParsedLog* l) {
    if (l == nullptr) return;
    if (!l->file.base.Valid()) why.push_back(l->name + ": its base block is not valid");
    else if (!l->file.oldComplete) why.push_back(l->name + ": " + l->file.problem);
    else if (l->file.base.lastWritten != stamp) why.push_back(l->name + ": its last-written time differs from the hive's");
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
  std::uint64_t pageBytes = 0;
  for (const DirtyPage& page : f.oldPages) pageBytes += page.size;
  if (f.base.binsSize == 0 || f.base.binsSize > kMaxBins) {
    why.push_back(chosen->name + ": its base block declares an invalid hive bins size");
    return Status{false, ""};
  }
  // Bins the primary file does not hold must all come from the log's pages.
  target.Start(p, chosen->base, f.base.binsSize);
  if (target.Bins() + pageBytes < f.base.binsSize) {
    target.Clear();
    why.push_back(chosen->name + ": it grows the hive by more than the pages it carries");
    return Status{false, ""};
  }
  target.Resize(f.base.binsSize);
  DirtyMap dirty;
  for (const DirtyPage& page : f.oldPages) {
    if (!target.Write(page, *chosen)) return Status{false, Changed(chosen->name)};
    dirty.Mark(page.offset, page.size);
  }
  r.used.push_back(chosen->name);
  r.entries = 1;
  r.pageBytes = pageBytes;
  const std::uint32_t seq =
      p.baseValid && SeqBefore(f.base.primarySeq, p.primarySeq) ? p.primarySeq : f.base.primarySeq;
  r.firstSeq = r.lastSeq = seq;
  FinishBase(target.Base(), seq, f.base.binsSize, std::nullopt);
  return target.Check(dirty, chosen->name);
}

// A log as recovery is given it.
struct LogInput {
  std::string name;
  LogSlot slot;
  const ByteSource* bytes;
};

// Recovers the hive whose primary is `p` from `logs` into `target`.
Status Recover(const Primary& p, const std::vector<LogInput>& logs, Target& target, RecoveryReport& report) {
  report.primarySeq = p.primarySeq;
  report.secondarySeq = p.secondarySeq;
  report.checksumOk = p.baseValid;
  report.dirty = !p.baseValid || p.primarySeq != p.secondarySeq;
  if (!report.dirty) return {};

  // Each log is read (and its entries' hashes computed) on a thread of its own.
  std::vector<LogFile> files(logs.size());
  {
    const std::atomic<bool>* stop = CurrentStopFlag();
    std::vector<std::future<void>> others;
    for (std::size_t i = 1; i < logs.size(); ++i) {
      others.push_back(std::async(std::launch::async, [&, i, stop] {
        const StopScope scope(stop);
        files[i] = ReadLogFile(*logs[i].bytes);
      }));
    }
    std::exception_ptr failed;
    try {
      if (!logs.empty()) files[0] = ReadLogFile(*logs[0].bytes);
    } catch (...) {
      failed = std::current_exception();
    }
    for (auto& other : others) {
      try {
        other.get();
      } catch (...) {
        if (!failed) failed = std::current_exception();
      }
    }
    if (failed) std::rethrow_exception(failed);
  }
  std::vector<ParsedLog> parsed;
  parsed.reserve(logs.size());
  bool anyNew = false;
  for (std::uint32_t i = 0; i < logs.size(); ++i) {
    const LogInput& l = logs[i];
    ParsedLog& log = parsed.emplace_back(ParsedLog{l.name, l.slot, l.bytes, i, std::move(files[i]), {}});
    std::size_t got = 0;
    if (log.file.base.present && (l.bytes->ReadAt(0, log.base, log_base::kSize, got) != 0 || got != log_base::kSize)) {
      return Status{false, Changed(l.name)};
    }
    anyNew = anyNew || log.file.format == LogFormat::kNew;
  }
  std::vector<std::string> why;
  Status s{false, ""};
  if (parsed.empty()) {
    why.push_back("no transaction log was found beside it");
  } else if (anyNew) {
    report.newFormat = true;
    for (auto it = parsed.begin(); it != parsed.end();) {
      if (it->file.format != LogFormat::kNew) {
        why.push_back(it->name + ": not a log of the new format (" +
                      (it->file.problem.empty() ? "old format beside new ones" : it->file.problem) + ")");
        it = parsed.erase(it);
      } else {
        ++it;
      }
    }
    s = NewRecovery(p, parsed, report, why, target).Run();
  } else {
    s = RunOld(p, parsed, report, why, target);
  }
  if (s.ok) return s;
  target.Clear();
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

// Logs held in memory as recovery reads them; `held` keeps their sources.
std::vector<LogInput> InMemory(const std::vector<LogImage>& logs, std::vector<std::shared_ptr<const ByteSource>>& held) {
  held.clear();
  std::vector<LogInput> out;
  for (const LogImage& l : logs) {
    held.push_back(std::make_shared<MemoryBytes>(l.data, l.size));
    out.push_back(LogInput{l.name, l.slot, held.back().get()});
  }
  return out;
}

// The primary file and the logs beside it, open, for recovery from disk.
struct OnDisk {
  std::shared_ptr<HostFile> file;
  std::uint64_t size = 0;
  std::vector<std::uint8_t> head;  // the base block and the first bin's header, as far as they go
  std::vector<FoundLog> found;
  std::vector<std::shared_ptr<const ByteSource>> sources;
  std::vector<LogInput> logs;
  std::uint32_t startBins = 0;  // the most bins recovery starts from
};

// Opens the primary and reads its head; a clean one (or no hive at all) needs nothing more. A
// dirty one: its usable logs, open. Not ok with a message naming the file when it fails.
Status OpenOnDisk(const std::filesystem::path& file, OnDisk& d, RecoveryReport& report, bool& dirty) {
  dirty = false;
  d.file = std::make_shared<HostFile>();
  int e = d.file->Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  if (e == 0) d.size = d.file->Size(e);
  std::size_t got = 0;
  if (e == 0) {
    d.head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(d.size, kBaseBlockSize + kBinHeaderSize)));
    e = d.file->ReadAt(0, d.head.data(), d.head.size(), got);
    d.head.resize(got);
  }
  if (e != 0) return Status{false, file.string() + ": cannot read the file: " + HostErrorText(e)};
  // Not a hive at all: the reader says so in its own words.
  if (d.head.size() < kBaseBlockSize || !HasSignature(d.head.data() + base::kSignature, "regf")) return {};
  const Primary p = ReadPrimary(d.head.data(), d.head.size());
  report.primarySeq = p.primarySeq;
  report.secondarySeq = p.secondarySeq;
  report.checksumOk = p.baseValid;
  report.dirty = dirty = !p.baseValid || p.primarySeq != p.secondarySeq;
  if (!dirty) return {};

  d.found = FindHiveLogs(file);
  // Recovery starts from the primary's bins as far as the hive bins size it starts from (the
  // primary's, or a log's base block copy's: the largest of them bounds it); more is never read,
  // however long the file.
  auto sane = [](std::uint32_t bins) { return bins % kBinAlign == 0 && bins <= kMaxBins ? bins : 0u; };
  d.startBins = p.baseValid ? sane(p.binsSize) : 0u;
  for (const FoundLog& f : d.found) {
    std::string line = LogName(f) + " (" + std::to_string(f.size) + " bytes)";
    if (!f.skipped.empty()) line += ": " + f.skipped;
    report.logs.push_back(line);
    if (!f.skipped.empty()) continue;
    d.sources.push_back(std::make_shared<FileBytes>(f.file, f.size));
    d.logs.push_back(LogInput{LogName(f), f.slot, d.sources.back().get()});
    std::uint8_t logBase[log_base::kSize];
    if (f.size >= log_base::kSize && f.file->ReadAt(0, logBase, sizeof logBase, got) == 0 && got == sizeof logBase) {
      d.startBins = std::max(d.startBins, sane(Rd32(logBase + base::kBinsSize)));
    }
  }
  // Two usable files for one slot (names differing only in case) would make the choice depend on
  // the folder: refuse rather than guess.
  for (std::size_t i = 1; i < d.logs.size(); ++i) {
    if (d.logs[i].slot == d.logs[i - 1].slot) {
      return Status{false, file.string() + ": the hive is dirty and two logs fill one place (" + d.logs[i - 1].name +
                               ", " + d.logs[i].name + "); it is not recovered"};
    }
  }
  return {};
}

Status Named(const std::filesystem::path& file, const Status& s, const RecoveryReport& report) {
  if (s) return s;
  std::string msg = file.string() + ": " + s.message;
  if (!report.logs.empty()) msg += " [logs found: " + Names(report.logs) + "]";
  return Status{false, msg};
}

}  // namespace

std::string RecoveredBinProblem(std::uint32_t offset, const std::string& problem, bool fromLog, const std::string& logs) {
  return std::string(fromLog ? "the dirty hive bin at " : "the hive bin at ") + Hex(offset) +
         (fromLog ? " written from " + logs : std::string(" of the primary file")) + " is not valid (" + problem +
         "); the hive cannot be recovered";
}

Status RecoverImage(const std::uint8_t* primary, std::size_t primarySize, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report) {
  image.clear();
  std::vector<std::shared_ptr<const ByteSource>> held;
  ImageTarget target(image, nullptr);
  return Recover(ReadPrimary(primary, primarySize), InMemory(logs, held), target, report);
}

Status RecoverImage(std::vector<std::uint8_t> primary, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report) {
  image.clear();
  std::vector<std::shared_ptr<const ByteSource>> held;
  ImageTarget target(image, &primary);
  return Recover(ReadPrimary(primary.data(), primary.size()), InMemory(logs, held), target, report);
}

Status RecoverOverlay(const std::uint8_t* primary, std::size_t primarySize, const std::vector<LogImage>& logs,
                      std::shared_ptr<HiveOverlay>& overlay, RecoveryReport& report) {
  overlay.reset();
  std::vector<std::shared_ptr<const ByteSource>> sources;
  const std::vector<LogInput> inputs = InMemory(logs, sources);
  std::vector<std::string> names;
  for (const LogImage& l : logs) names.push_back(l.name);
  auto made = std::make_shared<HiveOverlay>("recovered", std::make_shared<MemoryBytes>(primary, primarySize),
                                            std::move(sources), std::move(names));
  OverlayTarget target(*made);
  const Status s = Recover(ReadPrimary(primary, primarySize), inputs, target, report);
  if (s && report.dirty) overlay = std::move(made);
  return s;
}

Status RecoverHiveFile(const std::filesystem::path& file, std::vector<std::uint8_t>& image, RecoveryReport& report) {
  image.clear();
  report = RecoveryReport{};
  OnDisk d;
  bool dirty = false;
  if (Status s = OpenOnDisk(file, d, report, dirty); !s || !dirty) return s;
  // The image is made of the primary's bytes as far as recovery may start from them.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(d.size, kBaseBlockSize + std::uint64_t{d.startBins})));
  std::size_t got = 0;
  if (const int e = d.file->ReadAt(0, bytes.data(), bytes.size(), got); e != 0) {
    return Status{false, file.string() + ": cannot read the file: " + HostErrorText(e)};
  }
  bytes.resize(got);
  ImageTarget target(image, &bytes);
  const Primary p = ReadPrimary(bytes.data(), bytes.size());
  return Named(file, Recover(p, d.logs, target, report), report);
}

Status RecoverHiveOverlay(const std::filesystem::path& file, std::shared_ptr<HiveOverlay>& overlay,
                          RecoveryReport& report) {
  overlay.reset();
  report = RecoveryReport{};
  OnDisk d;
  bool dirty = false;
  if (Status s = OpenOnDisk(file, d, report, dirty); !s || !dirty) return s;
  std::vector<std::string> names;
  for (const LogInput& l : d.logs) names.push_back(l.name);
  // The primary's bins are read as far as recovery starts from them, as the image would be.
  const std::uint64_t primaryBytes = std::min<std::uint64_t>(d.size, kBaseBlockSize + std::uint64_t{d.startBins});
  auto made = std::make_shared<HiveOverlay>(file.string(), std::make_shared<FileBytes>(d.file, primaryBytes),
                                            d.sources, std::move(names));
  OverlayTarget target(*made);
  Primary p = ReadPrimary(d.head.data(), d.head.size());
  p.size = static_cast<std::size_t>(primaryBytes);
  const Status s = Named(file, Recover(p, d.logs, target, report), report);
  if (s) overlay = std::move(made);
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

Hive WindowedHive(const std::filesystem::path& file, std::size_t cacheBytes, RecoveryReport* report) {
  RecoveryReport local;
  RecoveryReport& r = report != nullptr ? *report : local;
  std::shared_ptr<HiveOverlay> overlay;
  const Status s = RecoverHiveOverlay(file, overlay, r);
  if (!s) throw FormatError(s.message);
  return overlay ? Hive::Windowed(overlay, cacheBytes) : Hive::Windowed(file, cacheBytes);
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
