#include "platform/offline/installation_notes.h"

namespace hv::offline {
namespace fs = std::filesystem;

std::string InstallationTitle(const FrontEndOptions& options, const OfflinePlatform& platform) {
  if (!options.root && !options.machine) return "demo machine";
  std::string title;
  for (const DriveSpec& drive : platform.drives().drives()) {
    if (!title.empty()) title += ", ";
    title += std::string(1, drive.letter) + ": = " + drive.folder.string();
  }
  return title;
}

InstallationCheck CheckInstallation(const OfflinePlatform& platform) {
  InstallationCheck check;
  bool anyFile = false;
  bool software = false;
  bool users = false;
  for (const HivelistValue& hive : platform.hivelist()) {
    if (!platform.HostFileOfHive(hive.name)) continue;
    anyFile = true;
    software |= hive.name == "\\REGISTRY\\MACHINE\\SOFTWARE";
    users |= hive.name.rfind("\\REGISTRY\\USER\\S-", 0) == 0;
  }
  if (!anyFile) {
    check.refusal = "no registry hive found (looked for Windows\\System32\\config\\SYSTEM, SOFTWARE and the others "
                    "on C:)";
    return check;
  }
  if (!software && users) {
    // The description lists the users' hives itself: only SOFTWARE is missing.
    check.warnings.push_back("The installation has no SOFTWARE hive (Windows\\System32\\config\\SOFTWARE).");
  } else if (!software) {
    check.warnings.push_back(
        "The installation has no SOFTWARE hive (Windows\\System32\\config\\SOFTWARE), so the users' hives cannot be "
        "found: only the machine hives are listed.");
  } else if (!users) {
    check.warnings.push_back(
        "The SOFTWARE hive names no user profile on a known drive (its ProfileList is missing or empty): no user "
        "hives are listed.");
  }
  return check;
}

std::string HiveRowNote(const OfflinePlatform& platform, const std::string& hiveName, const std::string& newSize) {
  const auto file = platform.HostFileOfHive(hiveName);
  if (!file) return hiveName + ": no file (the hive lives in memory only)";
  fs::path copy = *file;
  copy += ".hvx";
  const fs::path kept = platform.KeptAt(copy);
  std::string note = file->string() + " \u2192 " + (kept == copy ? copy.filename().string() : kept.string());
  if (newSize == "n/a") {
    std::string why = platform.SaveFailure(copy);
    note += ": not compacted: " + (why.empty() ? std::string("the copy could not be made") : why);
  }
  return note;
}

}  // namespace hv::offline
