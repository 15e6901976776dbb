#pragma once
// The transaction logs that belong to a hive file: `<name>.LOG`, `<name>.LOG1` and `<name>.LOG2`
// in the hive's folder, the whole name matched case-insensitively. Each one found is listed with
// its bytes or with the reason it is not used, so that a refusal can say what was there.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host_file.h"


namespace hv::regf {

enum class LogSlot { kLog, kLog1, kLog2 };

struct FoundLog {
  std::filesystem::path path;
  LogSlot slot = LogSlot::kLog;
  std::uint64_t size = 0;
  // Empty when the log is usable; otherwise why it is left out (empty, an installation
  // leftover beside the dual logs, not a regular file, unreadable).
  std::string skipped;
  // The file, open for reading, when usable: recovery reads it through this handle only, so the
  // file it read is the file whose pages it applies.
  std::shared_ptr<HostFile> file;
};

// Every log beside `primary`, in the order .LOG, .LOG1, .LOG2. Nothing is written; a log that is
// not a regular file (a folder, a pipe, a device) is never opened.
std::vector<FoundLog> FindHiveLogs(const std::filesystem::path& primary);

// "SYSTEM.LOG1" for a path.
std::string LogName(const FoundLog& log);

}  // namespace hv::regf
