#pragma once
// System Restore of the offline machine: a restore point is a dated copy of
// every hive file of the hivelist, in
//   <C:>\ProgramData\Talvix Hivora\RestorePoints\<yyyymmdd-hhmmss>
// with an index file (RestorePoint.ini) naming the description, the time and
// each copied hive. A description may declare that System Restore is off.
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "platform/offline/drive_map.h"
#include "platform/platform.h"

namespace hv::offline {

struct RestorePointSource {
  std::string name;              // hivelist value name
  std::filesystem::path file;    // host file of the hive
};

class RestorePointStore {
 public:
  RestorePointStore(std::filesystem::path folder, const DriveMap* drives, bool disabled,
                    std::function<SystemTime()> clock);

  // SRSetRestorePointA. BEGIN_SYSTEM_CHANGE copies the hives; END_SYSTEM_CHANGE
  // and the cancel event only acknowledge the sequence number.
  BOOL Create(const RestorePointInfoA* info, StateMgrStatus* status,
              const std::vector<RestorePointSource>& hives);
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  const DriveMap* drives_;
  bool disabled_;
  std::function<SystemTime()> clock_;
};

// The library object that LoadSrClient hands out.
std::unique_ptr<SystemRestoreLibrary> MakeSrClient(RestorePointStore* store,
                                                   std::function<std::vector<RestorePointSource>()> hives);

}  // namespace hv::offline
