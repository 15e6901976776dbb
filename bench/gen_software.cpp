// hivora-gen-software SOFTWARE OUT MIB [SEED] [--dirty]: writes OUT, a SOFTWARE hive of about MIB
// MiB that holds every key and value of the hive SOFTWARE (the demo machine's: what the program
// reads at its start) beside the generated, heavily fragmented bulk of hivora-gen-hive (some 45%
// of its bins free or orphaned). With --dirty, OUT is left dirty with OUT.LOG1/OUT.LOG2 beside it,
// as hivora-gen-hive --dirty leaves a hive, and OUT.clean is the hive they recover.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "copy_tree.h"
#include "dirty_logs.h"
#include "regf/fixture.h"
#include "regf/hive.h"
#include "regf/names.h"

namespace {

namespace fs = std::filesystem;

int Fail(const std::string& what) {
  std::fprintf(stderr, "hivora-gen-software: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool dirty = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--dirty") dirty = true;
    else args.push_back(argv[i]);
  }
  if (args.size() < 3 || args.size() > 4) {
    std::fprintf(stderr, "usage: hivora-gen-software SOFTWARE OUT MIB [SEED] [--dirty]\n");
    return 2;
  }
  const double mib = std::atof(args[2].c_str());
  if (mib <= 0) {
    std::fprintf(stderr, "hivora-gen-software: size must be positive\n");
    return 2;
  }
  const unsigned seed = args.size() > 3 ? static_cast<unsigned>(std::strtoul(args[3].c_str(), nullptr, 10)) : 1u;
  const fs::path software = args[0];
  const std::string out = args[1];
  const std::string target = dirty ? out + ".clean" : out;
  const fs::path bulk = out + ".bulk";
  std::error_code ec;
  if (fs::exists(target, ec)) return Fail(target + ": already exists");
  const auto bytes = static_cast<std::uint64_t>(mib * 1024 * 1024);
  try {
    const hv::regf::Hive demo = hv::regf::Hive::Load(software);
    hv::regf::FixtureBuilder b(demo.Base().minor);
    b.SetRootName(hv::regf::NameToUtf8(demo.Key(demo.Base().rootCell).name));
    // The bulk is made by the generator and read back through a window. Its deleted records are
    // not copied (the garbage added below stands in for them), which leaves the copy some 3%
    // smaller than the generated file: the generator is asked for that much more.
    const std::uint64_t demoBytes = demo.FileSize();
    const auto bulkBytes = static_cast<std::uint64_t>(static_cast<double>(bytes) * 1.015);
    fs::remove(bulk, ec);
    if (const auto s = hv::regf::GenerateFragmentedHive(bulk, bulkBytes > demoBytes ? bulkBytes - demoBytes : 0, seed); !s) {
      return Fail(s.message);
    }
    {
      const hv::regf::Hive generated = hv::regf::Hive::Windowed(bulk, 64u << 20);
      hv::bench::CopyTree(generated, b.Root());
    }
    fs::remove(bulk, ec);
    // The demo's keys last: its root's values and descriptor are the ones kept.
    hv::bench::CopyTree(demo, b.Root());
    b.AddGarbage(0.45, seed).SetFileSlack(static_cast<std::uint32_t>(bytes / 64));
    if (const auto s = b.WriteFile(target); !s) return Fail(s.message);
  } catch (const std::exception& e) {
    fs::remove(bulk, ec);
    return Fail(e.what());
  }
  if (!dirty) return 0;
  if (const std::string error = hv::bench::MakeDirty(out); !error.empty()) return Fail(error);
  return 0;
}
