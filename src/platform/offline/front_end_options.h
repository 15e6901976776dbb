#pragma once
// The Linux program's own command-line options, and the platform they make.
//
//   --root DIR      the folder of a Windows system drive (C:)
//   --machine FILE  a machine description (machine_description.h)
//   --script FILE   a script for the terminal front end's scripted mode
//   --json FILE     per-hive results and the exit code, for scripts
//   --work-dir DIR  where a read-only installation's copies are made
//   --help, -h      the usage (UsageText) on stdout
//   --version       the program's name and version on stdout
//   --apply-pending, --discard-pending, --restore-backups,
//   --list-restore-points, --restore-point ID
//                   settle the installation's state and end (settle.h); at
//                   most one of them, and no window is shown
// Each option with a value may also be written --name=VALUE, and they may
// stand anywhere; "--" ends them. They are removed before the application sees its command line.
// With neither --root nor --machine the built-in demo machine is used.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/offline_platform.h"

namespace hv::offline {

enum class SettleAction { kNone, kApplyPending, kDiscardPending, kRestoreBackups, kListRestorePoints, kRestorePoint };

struct FrontEndOptions {
  SettleAction settle = SettleAction::kNone;
  std::string restorePointId;
  std::optional<std::filesystem::path> root;
  std::optional<std::filesystem::path> machine;
  std::optional<std::filesystem::path> script;
  std::optional<std::filesystem::path> json;
  std::optional<std::filesystem::path> workDir;
  bool help = false;
  bool version = false;
  std::string programName;              // argv[0]
  std::vector<std::string> arguments;   // what the application sees, in order

  // Not options of the command line: overrides for tests and packaging.
  std::filesystem::path demoFolder;     // empty: DefaultDemoMachineFolder()
  std::filesystem::path programFolder;  // empty: the platform's default
  std::filesystem::path dataFolder;     // empty: the platform's default
};

// The exit code for a bad command line or machine, before any window.
inline constexpr int kUsageExitCode = 2;

// What --help prints: every option, switch and exit code.
std::string UsageText(const std::string& programName);

// nullopt with *error (one line, naming the option or file) on a bad command line.
std::optional<FrontEndOptions> ParseFrontEndOptions(int argc, const char* const* argv, std::string* error);

// The platform for the options; null with *error ("<file>:<line>: <problem>"
// for a bad description) when the machine cannot be used.
std::unique_ptr<OfflinePlatform> MakeOfflinePlatform(const FrontEndOptions& options, std::string* error);

}  // namespace hv::offline
