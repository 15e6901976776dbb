#pragma once
// Recovery of a dirty hive from its transaction logs, by the rules Windows applies when it loads
// one: into an image in memory, or as an overlay of the logs' pages on the primary file. The
// primary file and its logs are only read.
//
// New-format logs ("HvLE" entries): entries below a log's base-block sequence number are old
// and skipped; the first applied entry carries exactly that number, which must not be below the
// primary's secondary number; each next entry carries the number after the last applied. With a
// valid primary base block every log that is not stale takes part, the one with the lower
// base-block number first; with a bad one, the base block comes from the log with the latest
// entries and only that log is used. The chain ends at a gap, a bad hash or a bad hive bins
// size; the entries before stay applied. Sequence numbers wrap: the number after 0xFFFFFFFF is
// 0, and "below", "lower" and "after" are meant modulo 2^32 (within half its range). Old-format
// logs (a "DIRT" vector): a log applies when its base block is valid and its last-written time
// equals the primary's; .LOG2 is chosen over .LOG1 as Windows 8 chooses it.
//
// The recovered image has the last applied entry's sequence number (primary and secondary),
// hive bins size and flag bit 0, and a valid checksum. A dirty hive bin that is not valid fails
// the recovery: nothing is guessed.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hive.h"
#include "log_set.h"
#include "regf.h"

namespace hv::regf {

struct RecoveryReport {
  bool dirty = false;
  std::uint32_t primarySeq = 0, secondarySeq = 0;
  bool checksumOk = true;
  // Every log file found beside the hive: "NAME (N bytes)", followed by why it was not used.
  std::vector<std::string> logs;
  bool newFormat = false;
  std::vector<std::string> used;  // the logs whose content was applied, in order
  std::uint32_t entries = 0;      // log entries applied (an old-format log counts as one)
  std::uint32_t firstSeq = 0, lastSeq = 0;
  std::uint64_t pageBytes = 0;    // dirty-page bytes written into the image
  std::string stopped;            // why the chain of entries ended before a log's last entry
};

// A log held in memory, as recovery reads it.
struct LogImage {
  std::string name;
  LogSlot slot = LogSlot::kLog;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// Recovers the hive whose primary file's bytes are `primary` from `logs` (usable logs only,
// each a distinct slot). On success `image` holds the base block and exactly the hive bins it
// declares. Never reads outside the given bytes; the image never grows beyond the primary's
// bytes plus the dirty-page bytes applied.
Status RecoverImage(const std::uint8_t* primary, std::size_t primarySize, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report);
// The same, with the primary's bytes handed over: the image is made of them where it can be,
// so that the hive is held once rather than twice.
Status RecoverImage(std::vector<std::uint8_t> primary, const std::vector<LogImage>& logs,
                    std::vector<std::uint8_t>& image, RecoveryReport& report);

// The same rules, building an overlay of the logs' pages on the primary instead of an image (for
// tests and fuzzing: the bytes stay the caller's and must outlive the overlay). `overlay` is left
// empty for a clean primary. The overlay's bin chain is checked by the hive that reads it.
class HiveOverlay;
Status RecoverOverlay(const std::uint8_t* primary, std::size_t primarySize, const std::vector<LogImage>& logs,
                      std::shared_ptr<HiveOverlay>& overlay, RecoveryReport& report);

// Reads the hive file and, when it is dirty, the logs beside it. A clean hive leaves `image`
// empty (report.dirty false). A dirty one that cannot be recovered fails with a message that
// names the logs found and why none could be applied.
Status RecoverHiveFile(const std::filesystem::path& file, std::vector<std::uint8_t>& image, RecoveryReport& report);
// The same, without reading the hive into memory: a dirty hive comes back as an overlay of its
// logs' pages on its primary file (both kept open by it), which Hive::Windowed and Hive::OnDemand
// read as the recovered hive; the logs are read once here, in order, and then only where their
// pages are asked for. A clean hive leaves `overlay` empty. The recovered bins' chain is checked
// when a hive reads the overlay, in the words RecoverHiveFile uses.
Status RecoverHiveOverlay(const std::filesystem::path& file, std::shared_ptr<HiveOverlay>& overlay,
                          RecoveryReport& report);

// How recovery words a recovered hive bin that is not valid; `fromLog` when a log wrote it.
std::string RecoveredBinProblem(std::uint32_t offset, const std::string& problem, bool fromLog, const std::string& logs);

// The hive as the reader sees it once Windows would have loaded it: a clean file as it stands,
// a dirty one recovered from its logs. Throws FormatError (a dirty hive that cannot be
// recovered, or any malformed structure).
Hive LoadHive(const std::filesystem::path& file, RecoveryReport* report = nullptr);

// The same hive read through a window of `cacheBytes` of bins (Hive::Windowed): a dirty one with
// its logs' pages laid over its primary's, so that memory stays bounded whatever its size.
Hive WindowedHive(const std::filesystem::path& file, std::size_t cacheBytes, RecoveryReport* report = nullptr);

// The logs recovery applied and what they held, e.g. "SYSTEM.LOG1, SYSTEM.LOG2: 24 entries,
// sequence numbers 2107-2130".
std::string DescribeRecovery(const RecoveryReport& report);

}  // namespace hv::regf
