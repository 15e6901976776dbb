#include "platform/offline/hive_soundness.h"

#include <exception>
#include <system_error>
#include <vector>

#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/recovery.h"

namespace hv::offline {
namespace fs = std::filesystem;

std::optional<std::string> WhyNotSoundHive(const fs::path& file) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(file, ec);
  if (!fs::exists(status)) return std::string("it is missing");
  if (!fs::is_regular_file(status)) return std::string("it is not a plain file");
  const std::vector<std::string> problems = regf::CheckHive(file);
  if (problems.empty()) return std::nullopt;
  // Dirty: sound only as its logs recover it, as Windows would load it.
  try {
    regf::RecoveryReport report;
    const regf::Hive recovered = regf::LoadHive(file, &report);
    if (report.dirty) {
      regf::ValidateTree(recovered);
      return std::nullopt;
    }
  } catch (const std::exception& e) {
    return problems.front() + " (" + e.what() + ")";
  }
  return problems.front();
}

}  // namespace hv::offline
