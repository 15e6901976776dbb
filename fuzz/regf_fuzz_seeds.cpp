// regf_fuzz_seeds DIR: writes the fuzzer's generated seeds: small hives of every version and
// record kind from the fixture builder, malformed variants of them, and the shared-cell shapes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "regf/fixture.h"
#include "regf/fixture_shapes.h"
#include "regf/format.h"

namespace {

using namespace hv::regf;

bool Write(const std::filesystem::path& dir, const std::string& name, const std::vector<std::uint8_t>& image) {
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

FixtureBuilder Varied(std::uint32_t minor) {
  FixtureBuilder b(minor);
  auto& a = b.Root().AddKey("Software\\Vendor");
  a.SetString("Name", "value").SetDword("Number", 7).SetQword("Big", 1ull << 40);
  a.SetMultiString("Multi", {"one", "two"}).SetClass("cls");
  b.Root().AddKey("Big").SetBinary("Blob", std::vector<std::uint8_t>(40000, 0xAB));
  b.Root().AddKey("\xC3\xA9t\xC3\xA9").SetString("\xE2\x82\xAC", "euro");
  auto& many = b.Root().AddKey("Many");
  for (int i = 0; i < 520; ++i) many.AddKey("K" + std::to_string(1000 + i));
  b.Root().AddDeletedKey("Gone");
  b.AddGarbage(0.3, minor);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: regf_fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  bool ok = true;
  for (std::uint32_t minor : {3u, 4u, 5u, 6u}) {
    const auto image = Varied(minor).Build();
    ok &= Write(dir, "fixture-1." + std::to_string(minor), image);
    auto truncated = image;
    truncated.resize(truncated.size() / 2);
    ok &= Write(dir, "truncated-1." + std::to_string(minor), truncated);
    auto dirty = image;
    Wr32(dirty.data() + base::kPrimarySeq, 9);
    ok &= Write(dir, "dirty-1." + std::to_string(minor), dirty);
    auto badRoot = image;
    Wr32(badRoot.data() + base::kRootCell, 0x20 + 8);
    ok &= Write(dir, "badroot-1." + std::to_string(minor), badRoot);
  }
  ok &= Write(dir, "shared-segment", SharedCellHive(SharedShape::kBigDataSegment, 40));
  ok &= Write(dir, "shared-valuelist", SharedCellHive(SharedShape::kValueList, 8, 16));
  ok &= Write(dir, "shared-value", SharedCellHive(SharedShape::kValue, 16, 20000));
  ok &= Write(dir, "shared-subkeylist", SharedCellHive(SharedShape::kSubkeyList, 8));
  if (!ok) {
    std::fprintf(stderr, "regf_fuzz_seeds: cannot write the seeds into %s\n", dir.string().c_str());
    return 1;
  }
  return 0;
}
