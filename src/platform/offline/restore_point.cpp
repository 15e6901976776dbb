#include "platform/offline/restore_point.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/offline/file_protection.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/host_io.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/restore_point_index.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kEndSystemChange = 101;
constexpr DWORD kCancelledOperation = 13;
constexpr DWORD kServiceDisabled = 1058;  // ERROR_SERVICE_DISABLED

std::string Stamp(const SystemTime& t, bool readable) {
  char buf[32];
  std::snprintf(buf, sizeof buf, readable ? "%04u-%02u-%02u %02u:%02u:%02u" : "%04u%02u%02u-%02u%02u%02u",
                t.wYear % 10000u, t.wMonth % 100u, t.wDay % 100u, t.wHour % 100u, t.wMinute % 100u,
                t.wSecond % 100u);
  return buf;
}

std::mutex& CreateMutex() {
  static std::mutex mutex;
  return mutex;
}

class OfflineSrClient : public SystemRestoreLibrary {
 public:
  OfflineSrClient(RestorePointStore* store, std::function<std::vector<RestorePointSource>()> hives)
      : store_(store), hives_(std::move(hives)) {}
  bool HasSetRestorePoint() const override { return true; }
  BOOL SRSetRestorePointA(const RestorePointInfoA* info, StateMgrStatus* status) override {
    return store_->Create(info, status, hives_());
  }

 private:
  RestorePointStore* store_;
  std::function<std::vector<RestorePointSource>()> hives_;
};

}  // namespace

RestorePointStore::RestorePointStore(fs::path folder, const DriveMap* drives, bool disabled,
                                     std::function<SystemTime()> clock)
    : folder_(std::move(folder)), drives_(drives), disabled_(disabled), clock_(std::move(clock)) {}

BOOL RestorePointStore::Create(const RestorePointInfoA* info, StateMgrStatus* status,
                               const std::vector<RestorePointSource>& hives) {
  StateMgrStatus ignored;
  if (status == nullptr) status = &ignored;
  *status = StateMgrStatus{};
  if (info == nullptr) {
    status->nStatus = err::kInvalidParameter;
    return 0;
  }
  if (disabled_) {
    status->nStatus = kServiceDisabled;
    return 0;
  }
  std::lock_guard lock(CreateMutex());
  std::error_code ec;
  std::int64_t count = 0;
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) ++count;
  }
  if (info->dwEventType == kEndSystemChange || info->dwRestorePtType == kCancelledOperation) {
    status->llSequenceNumber = info->llSequenceNumber;
    return 1;
  }

  const SystemTime now = clock_();
  fs::path point = folder_ / Stamp(now, false);
  for (int n = 2; fs::exists(point, ec); ++n) point = folder_ / (Stamp(now, false) + "-" + std::to_string(n));
  const DWORD made = host::CreateFolders(point);
  auto fail = [&](DWORD code) {
    host::RemoveTree(point);
    status->nStatus = code;
    return 0;
  };
  if (made != err::kSuccess) return fail(made);

  // The description need not be NUL-terminated within its 64 bytes.
  const std::string description(info->szDescription, strnlen(info->szDescription, sizeof info->szDescription));
  const fs::path index = point / "RestorePoint.ini";
  const std::int64_t sequence = count + 1;
  DWORD w = WriteProfileString("RestorePoint", "Description", description.c_str(), index);
  if (w == err::kSuccess) w = WriteProfileString("RestorePoint", "Time", Stamp(now, true).c_str(), index);
  if (w == err::kSuccess) {
    w = WriteProfileString("RestorePoint", "Sequence", std::to_string(sequence).c_str(), index);
  }
  if (w != err::kSuccess) return fail(w);

  int n = 0;
  for (const RestorePointSource& hive : hives) {
    if (!fs::is_regular_file(hive.file, ec)) continue;
    // The copy keeps the hive's path below its drive letter, so that two
    // hives of one name (users' NTUSER.DAT) do not meet.
    const std::string windows = drives_->ToWindows(hive.file);
    // Only a hive on a drive of the installation: a later restore accepts no other.
    if (!DriveMap::IsDrivePath(windows)) continue;
    const fs::path relative = RestorePointCopyPlace(windows);
    host::CreateFolders((point / relative).parent_path());
    // Copies of a hive are as protected as the hive; its logs go with it, as
    // a change may sit in them alone.
    host::Remove(point / relative);
    if (DWORD c = host::CopyFileProtected(hive.file, point / relative, hive.file); c != err::kSuccess) return fail(c);
    for (const char* which : kLogNames) {
      const fs::path log = LogOf(hive.file, which);
      if (!fs::is_regular_file(log, ec)) continue;
      fs::path copy = point / relative;
      copy += std::string(".") + which;
      if (DWORD c = host::CopyFileProtected(log, copy, log); c != err::kSuccess) return fail(c);
    }
    const std::string section = "Hive" + std::to_string(++n);
    w = WriteProfileString(section.c_str(), "Name", hive.name.c_str(), index);
    if (w == err::kSuccess) w = WriteProfileString(section.c_str(), "File", windows.c_str(), index);
    if (w == err::kSuccess) w = WriteProfileString(section.c_str(), "Copy", relative.generic_string().c_str(), index);
    if (w != err::kSuccess) return fail(w);
  }
  status->nStatus = err::kSuccess;
  status->llSequenceNumber = sequence;
  return 1;
}

std::unique_ptr<SystemRestoreLibrary> MakeSrClient(RestorePointStore* store,
                                                   std::function<std::vector<RestorePointSource>()> hives) {
  return std::make_unique<OfflineSrClient>(store, std::move(hives));
}

}  // namespace hv::offline
