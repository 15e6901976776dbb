// hivora-gen-hive FILE MIB [SEED]: writes a heavily fragmented generated hive of about MIB MiB.
#include <cstdio>
#include <cstdlib>

#include "regf/fixture.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: hivora-gen-hive FILE MIB [SEED]\n");
    return 2;
  }
  const double mib = std::atof(argv[2]);
  if (mib <= 0) {
    std::fprintf(stderr, "hivora-gen-hive: size must be positive\n");
    return 2;
  }
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1u;
  const auto s = hv::regf::GenerateFragmentedHive(argv[1], static_cast<std::uint64_t>(mib * 1024 * 1024), seed);
  if (!s) {
    std::fprintf(stderr, "hivora-gen-hive: %s\n", s.message.c_str());
    return 1;
  }
  return 0;
}
