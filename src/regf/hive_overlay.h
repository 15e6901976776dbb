#pragma once
// A dirty hive as its logs recover it, without holding its bytes: the base block recovery made
// and, for each range of the hive bins a log rewrote, where the latest bytes of that range lie in
// which log; the rest of the bins is the primary file's (zeros past its end). Reading lays the
// logs' ranges over the primary's bytes as a reader asks for them, so a recovered hive costs the
// memory of these ranges, not of the hive, and the logs are read where the pages are needed.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "byte_source.h"
#include "format.h"

namespace hv::regf {

class HiveOverlay final : public ByteSource {
 public:
  // `primary` and `logs` stay open for as long as any reader holds the overlay; `logNames[i]`
  // names `logs[i]` in messages.
  HiveOverlay(std::string name, std::shared_ptr<const ByteSource> primary,
              std::vector<std::shared_ptr<const ByteSource>> logs, std::vector<std::string> logNames);

  // Building, as recovery does it. Start: the base block (a log's 512-byte copy is padded with
  // zeros) and the primary's bins up to `binsSize`, as far as the file holds them.
  void Start(const std::uint8_t* baseBlock, std::size_t baseBytes, std::uint32_t binsSize);
  std::uint64_t Bins() const { return bins_; }
  // Grows (with zeros) or cuts the hive bins; bytes cut off are gone if it grows again.
  void Resize(std::uint32_t bins);
  // The bins at [offset, offset + size) are now log `log`'s bytes at `at`.
  void Write(std::uint32_t offset, std::uint32_t size, std::uint32_t log, std::uint64_t at);
  std::uint8_t* BaseBlock() { return base_.data(); }
  // Forgets everything written (an attempt that failed).
  void Clear();
  // The logs whose entries were applied, as recovery names them in messages.
  void SetLogsUsed(std::string names) { logsUsed_ = std::move(names); }

  // Reading.
  const std::string& Name() const { return name_; }
  const std::string& LogsUsed() const { return logsUsed_; }
  const std::uint8_t* BaseBlock() const { return base_.data(); }
  std::uint64_t Size() const override { return kBaseBlockSize + bins_; }
  // Reads the recovered hive's bytes (file offsets: the base block, then the bins). An error
  // when the primary or a log can no longer be read as it was (it shrank).
  int ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) const override;
  // True when a log wrote any of the 512-byte pages holding [offset, offset + size) of the bins.
  bool FromLog(std::uint32_t offset, std::uint32_t size) const;
  // Bytes of the bins that come from the logs, and the ranges that hold them.
  std::uint64_t LogBytes() const;
  std::size_t Ranges() const { return ranges_.size(); }

 private:
  struct Range {
    std::uint32_t end;  // the start is the map's key
    std::uint32_t log;
    std::uint64_t at;
  };
  // Cuts the ranges so that none covers [from, to).
  void Cut(std::uint32_t from, std::uint32_t to);

  std::string name_;
  std::shared_ptr<const ByteSource> primary_;
  std::vector<std::shared_ptr<const ByteSource>> logs_;
  std::vector<std::string> logNames_;
  std::string logsUsed_;
  std::vector<std::uint8_t> base_;
  std::uint64_t bins_ = 0;
  std::uint64_t primaryBins_ = 0;  // bins read from the primary; zeros beyond
  std::map<std::uint32_t, Range> ranges_;
};

}  // namespace hv::regf
