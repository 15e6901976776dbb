#include "platform/offline/hive_soundness.h"

#include <exception>
#include <system_error>
#include <vector>

#include "platform/offline/held_path.h"
#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/recovery.h"

namespace hv::offline {
namespace fs = std::filesystem;

std::optional<std::string> WhyNotSoundHive(const fs::path& hive) {
  const HeldPath held(hive);
  if (held.error() != 0) return "it cannot be reached: " + std::generic_category().message(held.error());
  const fs::path& file = held.path();
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(file, ec);
  if (!fs::exists(status)) return std::string("it is missing");
  if (!fs::is_regular_file(status)) return std::string("it is not a plain file");
  const std::vector<std::string> problems = regf::CheckHive(file);
  if (problems.empty()) return std::nullopt;
  const std::string first = held.Describe(problems.front());
  // Dirty: sound only as its logs recover it, as Windows would load it (read through a window,
  // the logs' pages laid over the primary's).
  try {
    regf::RecoveryReport report;
    const regf::Hive recovered = regf::WindowedHive(file, regf::kTreeWindowBytes, &report);
    if (report.dirty) {
      regf::ValidateTree(recovered);
      return std::nullopt;
    }
  } catch (const std::exception& e) {
    return first + " (" + held.Describe(e.what()) + ")";
  }
  return first;
}

}  // namespace hv::offline
