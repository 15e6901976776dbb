// hivora-gen-hive FILE MIB [SEED] [--dirty]: writes a heavily fragmented generated hive of about
// MIB MiB. With --dirty, FILE is left dirty as a crashed system leaves it: every fourth 4 KiB page
// of its bins is stale (zeroed) and FILE.LOG1/FILE.LOG2 hold the entries that rewrite those pages
// (a quarter of the hive), split across the two logs; FILE.clean is the hive they recover.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dirty_logs.h"
#include "regf/fixture.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool dirty = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--dirty") dirty = true;
    else args.push_back(argv[i]);
  }
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: hivora-gen-hive FILE MIB [SEED] [--dirty]\n");
    return 2;
  }
  const double mib = std::atof(args[1].c_str());
  if (mib <= 0) {
    std::fprintf(stderr, "hivora-gen-hive: size must be positive\n");
    return 2;
  }
  const unsigned seed = args.size() > 2 ? static_cast<unsigned>(std::strtoul(args[2].c_str(), nullptr, 10)) : 1u;
  const std::string target = dirty ? args[0] + ".clean" : args[0];
  const auto s = hv::regf::GenerateFragmentedHive(target, static_cast<std::uint64_t>(mib * 1024 * 1024), seed);
  if (!s) {
    std::fprintf(stderr, "hivora-gen-hive: %s\n", s.message.c_str());
    return 1;
  }
  if (!dirty) return 0;
  if (const std::string error = hv::bench::MakeDirty(args[0]); !error.empty()) {
    std::fprintf(stderr, "hivora-gen-hive: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
