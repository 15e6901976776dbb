#pragma once
// Where a hive's backup waits while the hive's replacement is requested.
//
// A request needs the backup's name free, yet the backup there is the only
// way back to the hive before the last replacement. So the backup file is
// renamed to SetAsideName(backup) first, and once the request is answered the
// set-aside file is settled by one rule:
//  - no backup under its name: the set-aside file is the last backup, and is
//    renamed back (the request was refused, or its system makes the new
//    backup only when the restart takes the replacement into effect);
//  - a backup under its name: the accepted request made it from the hive as
//    it is now, which supersedes the set-aside file: it is deleted.
// Only the backup file moves; its logs (<backup>.LOG1/.LOG2) keep their
// names, so a backup renamed back finds them again.
//
// A set-aside file found at any other time is what a killed run or a power
// cut left between those steps, and the same rule settles it: the commit does
// so before each request, the offline installation's owner at start. By hand:
// with no backup beside it, rename it back to the backup's name.
#include <string>

namespace hv {

inline constexpr char kSetAsideSuffix[] = ".old";

inline std::string SetAsideName(const std::string& backup) { return backup + kSetAsideSuffix; }

}  // namespace hv
