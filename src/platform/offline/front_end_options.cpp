#include "platform/offline/front_end_options.h"

#include <string_view>

#include "platform/offline/demo_machine.h"
#include "platform/offline/installation.h"
#include "platform/offline/installation_state.h"

namespace hv::offline {
namespace fs = std::filesystem;

std::string UsageText(const std::string& programName) {
  return "Usage: " + programName +
         " [--root DIR | --machine FILE] [--script FILE] [--json FILE] [--work-dir DIR]\n"
         "              [/Silent | /Scan REPORT]\n"
         "       " + programName + " [--root DIR | --machine FILE] --apply-pending | --discard-pending |\n"
         "              --restore-backups | --list-restore-points | --restore-point ID\n"
         "       " + programName + " --help | --version\n"
         "\n"
         "Compacts the registry hives of an offline Windows installation.\n"
         "\n"
         "Options (anywhere on the line; \"--\" ends them):\n"
         "  --root DIR       the folder of the installation's system drive (C:)\n"
         "  --machine FILE   a machine description: drives, hivelist, release\n"
         "                   (neither: the built-in demo machine)\n"
         "  --script FILE    drive the window from a script (\"-\": standard input):\n"
         "                   click NAME, answer OK|Cancel|Yes|No, close, wait, dump\n"
         "  --json FILE      write each hive's result and the exit code into FILE (JSON)\n"
         "  --work-dir DIR   where an installation that cannot be written is analysed: its\n"
#ifdef _WIN32
         "                   copies go there (default %LOCALAPPDATA%\\Talvix Hivora\\work,\n"
         "                   made for the user alone); \"Defrag Registry\" is then disabled\n"
#else
         "                   copies go there (default /var/tmp/hivora-UID, made mode 0700);\n"
         "                   \"Defrag Registry\" is then disabled\n"
#endif
         "  --apply-pending, --discard-pending\n"
         "                   apply or drop the replacements left waiting for a restart, and end\n"
         "  --restore-backups  put every hive's backup (.bak) back in its place, and end\n"
         "  --list-restore-points, --restore-point ID\n"
         "                   list the restore points, or put one back, and end\n"
         "  --help, -h, /?   this text\n"
         "  --version        the program's version\n"
         "\n"
         "Switches (the first argument; nothing else may look like one):\n"
         "  /Silent          analyse, commit and restart the installation unattended\n"
         "  /Scan REPORT     analyse unattended and write the figures into the INI file REPORT\n"
         "Arguments reach the program as the shell split them, quotes included.\n"
         "\n"
         "Exit codes (anything but 0 says why in one line on stderr):\n"
         "  0  done\n"
         "  1  nothing done: the analysis failed or was rejected, the report was not written,\n"
         "     nothing was replaced,\n"
         "     or another hivora owns the installation (it was brought forward)\n"
         "  2  bad command line, machine description, root folder or script; no terminal\n"
         "     and no switch; an invalid state file of the installation or a broken backup\n"
         "  3  partly done: some hives replaced, some left alone; a report that leaves a hive out\n";
}

std::optional<FrontEndOptions> ParseFrontEndOptions(int argc, const char* const* argv, std::string* error) {
  FrontEndOptions options;
  options.programName = argc > 0 && argv[0] != nullptr ? argv[0] : "hivora";
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
    if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      options.help = true;
      continue;
    }
    if (!optionsEnded && arg == "--version") {
      options.version = true;
      continue;
    }
    if (optionsEnded || arg.size() < 2 || arg.substr(0, 2) != "--") {
      options.arguments.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name(arg.substr(2, eq == std::string_view::npos ? std::string_view::npos : eq - 2));
    static const std::pair<const char*, SettleAction> kActions[] = {
        {"apply-pending", SettleAction::kApplyPending},       {"discard-pending", SettleAction::kDiscardPending},
        {"restore-backups", SettleAction::kRestoreBackups},   {"list-restore-points", SettleAction::kListRestorePoints},
        {"restore-point", SettleAction::kRestorePoint}};
    SettleAction action = SettleAction::kNone;
    for (const auto& [actionName, value] : kActions) {
      if (name == actionName) action = value;
    }
    if (action != SettleAction::kNone) {
      if (options.settle != SettleAction::kNone) {
        *error = "give one of --apply-pending, --discard-pending, --restore-backups, --list-restore-points, "
                 "--restore-point";
        return std::nullopt;
      }
      options.settle = action;
      if (action != SettleAction::kRestorePoint) {
        if (eq != std::string_view::npos) {
          *error = "option --" + name + " takes no value";
          return std::nullopt;
        }
        continue;
      }
      if (eq != std::string_view::npos) {
        options.restorePointId = std::string(arg.substr(eq + 1));
      } else if (i + 1 < argc && argv[i + 1] != nullptr) {
        options.restorePointId = argv[++i];
      }
      if (options.restorePointId.empty()) {
        *error = "option --restore-point needs a value (--list-restore-points lists them)";
        return std::nullopt;
      }
      continue;
    }
    std::optional<fs::path>* slot = name == "root"      ? &options.root
                                    : name == "machine" ? &options.machine
                                    : name == "script"  ? &options.script
                                    : name == "json"    ? &options.json
                                    : name == "work-dir" ? &options.workDir
                                                        : nullptr;
    if (slot == nullptr) {
      *error = "unknown option --" + name +
               " (known: --root DIR, --machine FILE, --script FILE, --json FILE, --work-dir DIR, --apply-pending, --discard-pending, "
               "--restore-backups, --list-restore-points, --restore-point ID, --help, --version)";
      return std::nullopt;
    }
    std::string value;
    if (eq != std::string_view::npos) {
      value = std::string(arg.substr(eq + 1));
    } else if (i + 1 < argc && argv[i + 1] != nullptr) {
      value = argv[++i];
    } else {
      *error = "option --" + name + " needs a value";
      return std::nullopt;
    }
    if (value.empty()) {
      *error = "option --" + name + " needs a value";
      return std::nullopt;
    }
    if (slot->has_value()) {
      *error = "option --" + name + " is given twice";
      return std::nullopt;
    }
    *slot = fs::path(value);
  }
  if (options.root && options.machine) {
    *error = "give --root or --machine, not both";
    return std::nullopt;
  }
  return options;
}

std::unique_ptr<OfflinePlatform> MakeOfflinePlatform(const FrontEndOptions& options, std::string* error) {
  std::optional<MachineDescription> machine;
  if (options.machine) {
    machine = LoadMachineDescription(*options.machine, error);
  } else if (options.root) {
    machine = DescribeRoot(*options.root, error);
  } else {
    const fs::path demo = options.demoFolder.empty() ? DefaultDemoMachineFolder() : options.demoFolder;
    if (!EnsureDemoMachine(demo, error)) return nullptr;
    machine = DescribeRoot(demo, error);
  }
  if (!machine) return nullptr;
  // The lock and every other file of the program come after this.
  if (options.root && !options.machine && !HoldsWindows(DriveMap(machine->drives, false))) {
    *error = options.root->string() +
             ": no Windows installation (no Windows\\System32\\config with a registry hive); nothing was written";
    return nullptr;
  }
  // The program's own folder must lie inside the installation.
  const DriveMap drives(machine->drives, false);
  if (drives.Drive('C') != nullptr && !drives.ResolveInstallation(kStateFolder)) {
    *error = std::string(kStateFolder) + " is reached through a link that leads out of the installation; nothing was done";
    return nullptr;
  }
  OfflineOptions offline;
  offline.machine = std::move(*machine);
  offline.programName = options.programName;
  offline.argv0 = options.programName;
  offline.arguments = options.arguments;
  offline.programFolder = options.programFolder;
  offline.dataFolder = options.dataFolder;
  offline.readOnly = options.settle == SettleAction::kListRestorePoints;
  if (options.workDir) offline.workDir = *options.workDir;
  return std::make_unique<OfflinePlatform>(std::move(offline));
}

}  // namespace hv::offline
