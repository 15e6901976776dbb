#pragma once
// Leaves a generated hive dirty as a crashed system leaves it, for the benchmarks: reads the clean
// hive FILE.clean, writes FILE with every fourth 4 KiB page of its bins stale (zeroed) and unequal
// sequence numbers, and FILE.LOG1/FILE.LOG2 holding the entries that rewrite those pages (a
// quarter of the hive, in entries of 1 MiB of pages), split across the two logs. FILE.clean stays:
// it is the hive the logs recover.
#include <string>

namespace hv::bench {

// Empty when done, else what failed.
std::string MakeDirty(const std::string& file);

}  // namespace hv::bench
