#include "platform/offline/hive_soundness.h"

#include <exception>
#include <system_error>
#include <vector>

#include "platform/offline/held_path.h"
#include "regf/checker.h"
#include "regf/compare.h"
#include "regf/hive_overlay.h"
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
  // Dirty: sound only as its logs recover it, as Windows would load it (read through a window,
  // the logs' pages laid over the primary's). Clean: as the checker finds it.
  regf::RecoveryReport report;
  std::shared_ptr<regf::HiveOverlay> overlay;
  const regf::Status recovery = regf::RecoverHiveOverlay(file, overlay, report);
  std::string recoveryError = recovery ? std::string() : recovery.message;
  if (overlay) {
    try {
      regf::ValidateTree(regf::Hive::Windowed(overlay, regf::kTreeWindowBytes));
      return std::nullopt;
    } catch (const std::exception& e) {
      recoveryError = e.what();
    }
  }
  const std::vector<std::string> problems = regf::CheckHive(file);
  if (problems.empty()) return std::nullopt;
  const std::string first = held.Describe(problems.front());
  if (!recoveryError.empty()) return first + " (" + held.Describe(recoveryError) + ")";
  return first;
}

}  // namespace hv::offline
