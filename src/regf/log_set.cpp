#include "log_set.h"

#include <algorithm>
#include <system_error>

#include "format.h"
#include "host_file.h"
#include "log_file.h"
#include "regf/text_case.h"

namespace hv::regf {
namespace {

// Opens the log for reading; false with `error` set when it cannot be.
bool OpenLog(const std::filesystem::path& path, FoundLog& log, std::string& error) {
  auto file = std::make_shared<HostFile>();
  int e = file->Open(path, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  if (e != 0) {
    error = "cannot open the file: " + HostErrorText(e);
    return false;
  }
  log.size = file->Size(e);
  if (e != 0) {
    error = "cannot read the file: " + HostErrorText(e);
    return false;
  }
  log.file = std::move(file);
  return true;
}

}  // namespace

std::string LogName(const FoundLog& log) { return log.path.filename().string(); }

std::vector<FoundLog> FindHiveLogs(const std::filesystem::path& primary) {
  std::vector<FoundLog> found;
  const std::string name = primary.filename().string();
  const std::filesystem::path folder = primary.has_parent_path() ? primary.parent_path() : std::filesystem::path(".");
  const std::pair<const char*, LogSlot> suffixes[] = {{".LOG", LogSlot::kLog}, {".LOG1", LogSlot::kLog1}, {".LOG2", LogSlot::kLog2}};
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return found;
  for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(ec)) {
    if (ec) break;
    const std::string entry = it->path().filename().string();
    for (const auto& [suffix, slot] : suffixes) {
      // The suffixes are ASCII; the hive's own name matches apart from the case of its letters.
      if (!SameText(entry, name + suffix)) continue;
      FoundLog log;
      log.path = it->path();
      log.slot = slot;
      std::error_code sec;
      // A log is the hive's own file: a link in its place is never followed, whatever it names.
      const auto status = std::filesystem::symlink_status(log.path, sec);
      if (!sec && std::filesystem::is_symlink(status)) {
        log.skipped = "a link, which is not followed";
      } else if (sec || !std::filesystem::is_regular_file(status)) {
        log.skipped = "not a regular file";
      } else {
        log.size = std::filesystem::file_size(log.path, sec);
        if (sec) log.skipped = "unreadable: " + sec.message();
        else if (log.size == 0) log.skipped = "empty";
      }
      found.push_back(std::move(log));
    }
  }
  // Two files whose names differ only in case (possible on Linux) are both listed; the order is
  // by slot, then by name, so that the result never depends on the folder's order.
  std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) {
    if (a.slot != b.slot) return a.slot < b.slot;
    return a.path.filename() < b.path.filename();
  });
  const bool dual = std::any_of(found.begin(), found.end(), [](const FoundLog& l) {
    return l.slot != LogSlot::kLog && l.skipped.empty();
  });
  for (FoundLog& log : found) {
    if (!log.skipped.empty()) continue;
    if (dual && log.slot == LogSlot::kLog) {
      log.skipped = "a leftover beside the .LOG1/.LOG2 logs";
      continue;
    }
    // HostFile checks the open descriptor again without waiting, so a pipe put in the log's
    // place after the check above fails here instead of blocking.
    std::string error;
    if (!OpenLog(log.path, log, error)) log.skipped = "unreadable: " + error;
    else if (log.size == 0) log.skipped = "empty";
  }
  return found;
}

}  // namespace hv::regf
