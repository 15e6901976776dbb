#include <string>

#include "fixture.h"

namespace hv::regf {

Status GenerateFragmentedHive(const std::filesystem::path& file, std::uint64_t bytes, std::uint32_t seed) {
  constexpr double kGarbage = 0.45;
  if (bytes < 65536) bytes = 65536;
  FixtureBuilder b(5);
  b.SetRootName("CsiTool-CreateHive{00000000-0000-0000-0000-000000000000}");
  b.AddGarbage(kGarbage, seed);
  std::uint32_t rng = seed ? seed : 1;
  auto next = [&rng]() {
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return rng;
  };
  // Live bytes to aim for, counted roughly as the cells the builder will allocate.
  const double target = static_cast<double>(bytes) * (1 - kGarbage) * 0.97;
  double live = 0;
  std::uint64_t n = 0;
  while (live < target) {
    const std::string vendor = "Vendor" + std::to_string(n / 4000);
    const std::string product = "Product" + std::to_string((n / 100) % 40);
    const std::string leaf = "Component{" + std::to_string(100000 + n) + "}";
    FixtureKey& k = b.Root().AddKey(vendor + "\\" + product + "\\" + leaf);
    k.SetTimestamp(FileTimeOf(2015, 1, 1) + static_cast<std::uint64_t>(n) * 10000000ull);
    live += 96 + leaf.size();
    const std::string text = "C:\\Program Files\\" + vendor + "\\" + product + "\\bin\\module" + std::to_string(n) + ".dll";
    k.SetString("Path", text);
    k.SetExpandString("Data", "%SystemRoot%\\system32\\" + leaf + ".mui");
    k.SetDword("Flags", next());
    k.SetQword("InstallTime", FileTimeOf(2016, 3, 1) + next());
    std::vector<std::uint8_t> blob(16 + next() % 400);
    for (auto& c : blob) c = static_cast<std::uint8_t>(next());
    live += 5 * 40 + 2 * text.size() + 100 + blob.size() + 16;
    k.SetBinary("Blob", std::move(blob));
    if (n % 5 == 0) k.AddDeletedValue("Old" + std::to_string(n), std::vector<std::uint8_t>(40 + next() % 200, 0x5A));
    if (n % 7 == 0) k.AddDeletedKey("Removed" + std::to_string(n));
    if (n % 1500 == 0) {
      std::vector<std::uint8_t> big(20000 + next() % 30000);
      for (auto& c : big) c = static_cast<std::uint8_t>(next());
      live += big.size() + 64;
      k.SetBinary("Large", std::move(big));
    }
    ++n;
  }
  b.SetFileSlack(static_cast<std::uint32_t>(bytes / 64));
  return b.WriteFile(file);
}

}  // namespace hv::regf
