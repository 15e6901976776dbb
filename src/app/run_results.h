#pragma once
// Each hive's result of a run, for the summary and for the --json file a
// script reads: what the analysis made of it and what a restart or a
// settling did to it.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/offline_platform.h"
#include "shell/run_record.h"

namespace hv::app {

struct HiveResult {
  std::string label;  // SOFTWARE, or the last part of a user hive's name
  std::string name;   // \REGISTRY\MACHINE\SOFTWARE
  std::string file;   // the host file
  std::int64_t currentSize = 0;
  std::optional<std::int64_t> newSize;  // none when no copy was made
  std::string state;                    // compacted, not compacted, replaced, left alone
  std::string reason;                   // why not compacted or left alone

  bool compacted() const { return state == "compacted" || state == "replaced"; }
};

// The hives of the last analysis, then those a restart or a settling touched.
std::vector<HiveResult> HiveResults(const offline::OfflinePlatform& platform);

// The hives of the live registry's last analysis, as the window recorded
// them: a hive a commit handed to the system is "compacted", to be replaced
// at the restart; one the system refused is "left alone".
std::vector<HiveResult> LiveHiveResults(const RunRecord& record);

// Writes the results and the exit code as JSON into `file` (a host path);
// nullopt, or why the file could not be written.
std::optional<std::string> WriteResultsJson(const std::filesystem::path& file, const std::vector<HiveResult>& hives,
                                            int exitCode);

// The JSON text WriteResultsJson writes.
std::string ResultsJson(const std::vector<HiveResult>& hives, int exitCode);

}  // namespace hv::app
