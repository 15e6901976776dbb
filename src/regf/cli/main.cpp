// hivora-hive: compact, check, compare and describe registry hive files.
// Exit codes: 0 success, 1 refused or "no", 2 usage error.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "../checker.h"
#include "../compare.h"
#include "../hive.h"
#include "../info.h"
#include "../recovery.h"
#include "../regf.h"
#include "hivora_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: hivora-hive COMMAND ARGS\n"
    "\n"
    "  compact IN OUT   write a compacted, verified copy of hive IN to OUT (OUT must not exist)\n"
    "  recover IN OUT   write hive IN as recovered from its transaction logs, not compacted,\n"
    "                   verified like compact's copy (OUT must not exist)\n"
    "  check FILE       validate a hive; lists the problems (exit 1 when not sound)\n"
    "  diff A B         compare two hives' trees (exit 0 equal, 1 different)\n"
    "  info FILE        show version, sequence numbers, sizes, keys, values, free space,\n"
    "                   and for a dirty hive its logs and what they would recover\n"
    "\n"
    "A dirty hive (unequal sequence numbers or a bad checksum) is recovered in memory from\n"
    "the transaction logs beside it (NAME.LOG1 and NAME.LOG2, or NAME.LOG), as Windows does\n"
    "when it loads it: compact, recover and diff work on the recovered hive; check reports a\n"
    "dirty hive as not sound and says whether its logs can recover it. The hive file and its\n"
    "logs are never written. A dirty hive that no log can recover is refused.\n"
    "\n"
    "  --help, -h       this text\n"
    "  --version        the tool's version\n"
    "\n"
    "Exit codes: 0 success, 1 refused or \"no\", 2 usage error.\n";

constexpr const char* kVersion = "hivora-hive " HIVORA_VERSION "\n";

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "hivora-hive: %s\n\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

int Compact(const char* in, const char* out) {
  const hv::regf::Status s = hv::regf::CompactHiveFile(in, out);
  if (!s) {
    std::fprintf(stderr, "hivora-hive: %s\n", s.message.c_str());
    return 1;
  }
  return 0;
}

int Recover(const char* in, const char* out) {
  hv::regf::RecoveryReport report;
  std::shared_ptr<hv::regf::HiveOverlay> overlay;
  hv::regf::Status s = hv::regf::RecoverHiveOverlay(in, overlay, report);
  overlay.reset();
  if (s) s = hv::regf::WriteRecoveredHiveFile(in, out);
  if (!s) {
    std::fprintf(stderr, "hivora-hive: %s\n", s.message.c_str());
    return 1;
  }
  std::printf("%s: %s\n", in, report.dirty ? ("recovered from " + hv::regf::DescribeRecovery(report)).c_str() : "clean; copied as it is");
  return 0;
}

// What recovery would do with a dirty hive, for check and info.
std::string RecoveryLines(const char* file, const char* indent) {
  hv::regf::RecoveryReport report;
  hv::regf::Status s;
  try {
    hv::regf::WindowedHive(file, hv::regf::kTreeWindowBytes, &report);  // the recovered bins' chain too
  } catch (const std::exception& e) {
    s = hv::regf::Status{false, e.what()};
  }
  if (!report.dirty) return "";
  std::string text;
  text += std::string(indent) + "Logs found:         " + (report.logs.empty() ? std::string("none") : std::string()) + "\n";
  for (const auto& l : report.logs) text += std::string(indent) + "  " + l + "\n";
  if (s) {
    text += std::string(indent) + "Recovery:           its logs recover it from " + hv::regf::DescribeRecovery(report) + "\n";
    if (!report.stopped.empty()) text += std::string(indent) + "  the chain ends at " + report.stopped + "\n";
  } else {
    text += std::string(indent) + "Recovery:           not possible: " + s.message + "\n";
  }
  return text;
}

int Check(const char* file) {
  const auto problems = hv::regf::CheckHive(file);
  if (problems.empty()) {
    std::printf("%s: sound\n", file);
    return 0;
  }
  for (const auto& p : problems) std::printf("%s\n", p.c_str());
  std::printf("%s", RecoveryLines(file, "").c_str());
  std::printf("%s: %zu problem(s)\n", file, problems.size());
  return 1;
}

int Diff(const char* a, const char* b) {
  try {
    const hv::regf::Hive ha = hv::regf::WindowedHive(a, hv::regf::kTreeWindowBytes);
    const hv::regf::Hive hb = hv::regf::WindowedHive(b, hv::regf::kTreeWindowBytes);
    hv::regf::ValidateTree(ha);
    hv::regf::ValidateTree(hb);
    const auto diffs = hv::regf::CompareTrees(ha, hb, 20);
    if (diffs.empty()) {
      std::printf("equal\n");
      return 0;
    }
    for (const auto& d : diffs) std::printf("%s\n", d.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hivora-hive: %s\n", e.what());
    return 1;
  }
}

int Info(const char* file) {
  hv::regf::HiveInfo info;
  const hv::regf::Status s = hv::regf::ReadHiveInfo(file, info);
  if (!s) {
    // A dirty hive's own bins may be broken where its logs hold the pages: say what they can do.
    std::fprintf(stderr, "hivora-hive: %s\n", s.message.c_str());
    std::printf("%s", RecoveryLines(file, "").c_str());
    return 1;
  }
  std::printf("%s\n%s%s", file, hv::regf::FormatHiveInfo(info).c_str(), RecoveryLines(file, "").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) return Usage(nullptr);
    const std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (cmd == "--version") {
      std::fputs(kVersion, stdout);
      return 0;
    }
    // A file is never taken for an option by mistake, nor an option for a file: "--" before a
    // file whose name starts with "-".
    int first = 2;
    if (first < argc && std::strcmp(argv[first], "--") == 0) {
      ++first;
    } else {
      for (int i = 2; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') return Usage(("unknown option \"" + std::string(argv[i]) + "\"").c_str());
      }
    }
    argv += first - 2;
    argc -= first - 2;
    const int args = argc - 2;
    if (cmd == "compact") return args == 2 ? Compact(argv[2], argv[3]) : Usage("compact takes IN and OUT");
    if (cmd == "recover") return args == 2 ? Recover(argv[2], argv[3]) : Usage("recover takes IN and OUT");
    if (cmd == "check") return args == 1 ? Check(argv[2]) : Usage("check takes one FILE");
    if (cmd == "diff") return args == 2 ? Diff(argv[2], argv[3]) : Usage("diff takes two files");
    if (cmd == "info") return args == 1 ? Info(argv[2]) : Usage("info takes one FILE");
    return Usage(("unknown command \"" + cmd + "\"").c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hivora-hive: %s\n", e.what());
    return 1;
  }
}
