#pragma once
// Windows paths of the offline machine onto host paths.
//
// "X:\..." names a file on drive X: of the description; the components are
// matched case-insensitively against the host folders, as the Windows file
// system does, and a tail that does not exist keeps its spelling (so that new
// files can be created). They are walked through the installation's root
// (installation_root.h): links are followed by the installation's rules and
// none leads out of it. A path without a drive letter is a host path (the
// Linux program's own files: settings, reports, language files); backslashes
// in it separate components too.
//
// For a WOW64 process the file-system redirection of Windows is applied:
// C:\Windows\System32 reaches SysWOW64 (but for the folders Windows exempts),
// and C:\Windows\sysnative reaches the real System32.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/machine_description.h"

namespace hv::offline {

class InstallationRoot;

class DriveMap {
 public:
  DriveMap(std::vector<DriveSpec> drives, bool wow64);

  const std::vector<DriveSpec>& drives() const { return drives_; }
  const DriveSpec* Drive(char letter) const;
  bool wow64() const { return wow64_; }

  // A path as the program passes it; nullopt for an unknown drive letter.
  std::optional<std::filesystem::path> Resolve(std::string_view path) const;
  // The same without WOW64 redirection: the path as the kernel sees it.
  std::optional<std::filesystem::path> ResolveNative(std::string_view path) const;
  // Only a drive-letter path of a described drive, never a host path: what
  // the program reads back from the installation names its files this way.
  std::optional<std::filesystem::path> ResolveInstallation(std::string_view path) const;
  // A kernel path (\Device\HarddiskVolume1\..., \??\C:\..., \SystemRoot\...).
  std::optional<std::filesystem::path> ResolveKernel(std::string_view path) const;
  // Drive-letter form of a host path inside a drive folder ("C:\Windows\..."),
  // else the host path itself.
  std::string ToWindows(const std::filesystem::path& host) const;
  // The drive holding a host path, if any.
  const DriveSpec* DriveOf(const std::filesystem::path& host) const;

  static bool IsDrivePath(std::string_view path);

 private:
  std::optional<std::filesystem::path> ResolveDrive(std::string_view path, bool redirect) const;

  std::vector<DriveSpec> drives_;
  bool wow64_;
  std::shared_ptr<const InstallationRoot> root_;
};

// Splits on '\' and '/', dropping empty and "." components and applying "..".
std::vector<std::string> SplitPath(std::string_view path);
// base + components, each matched case-insensitively when not found as spelt.
std::filesystem::path WalkCaseInsensitive(const std::filesystem::path& base,
                                          const std::vector<std::string>& components);
// ASCII case-insensitive equality.
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace hv::offline
