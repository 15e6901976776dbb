// The read-only view used by the offline platform.
#include "regf/hive.h"
#include "regf/names.h"
#include "regf/regf.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

TEST(RegfHiveFile, RefusesBrokenFilesWithAMessage) {
  ScratchDir dir;
  std::string error;
  EXPECT_EQ(regf::HiveFile::Open(dir / "nothing", &error), nullptr);
  EXPECT_NE(error.find("nothing"), std::string::npos);
  ASSERT_TRUE(SmallFixture().SetSequenceNumbers(2, 1).WriteFile(dir / "dirty"));
  EXPECT_EQ(regf::HiveFile::Open(dir / "dirty", &error), nullptr);
  EXPECT_NE(error.find("dirty"), std::string::npos);
}

TEST(RegfHiveFile, AnswersKeysAndValues) {
  ScratchDir dir;
  regf::FixtureBuilder b(3);
  b.SetRootName("CMI-CreateHive{X}");
  auto& k = b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion");
  k.SetString("CurrentVersion", "6.1").SetString("ProductName", "Windows 7 Ünïcode").SetDword("N", 5);
  k.SetValue("", regf::kRegSz, regf::RegString("dflt"));
  b.Root().AddKey("Microsoft\\Zeta");
  b.Root().AddKey("Microsoft\\alpha");
  ASSERT_TRUE(b.WriteFile(dir / "soft"));
  std::string error;
  auto h = regf::HiveFile::Open(dir / "soft", &error);
  ASSERT_NE(h, nullptr) << error;
  EXPECT_EQ(h->RootName(), "CMI-CreateHive{X}");
  EXPECT_TRUE(h->KeyExists(""));
  EXPECT_TRUE(h->KeyExists("MICROSOFT\\windows nt\\currentversion"));
  EXPECT_FALSE(h->KeyExists("Microsoft\\Nope"));
  EXPECT_EQ(h->SubkeyNames("Microsoft"), (std::vector<std::string>{"alpha", "Windows NT", "Zeta"}));
  EXPECT_EQ(h->GetString("Microsoft\\Windows NT\\CurrentVersion", "currentversion"), "6.1");
  EXPECT_EQ(h->GetString("Microsoft\\Windows NT\\CurrentVersion", "ProductName"), "Windows 7 Ünïcode");
  EXPECT_EQ(h->GetString("Microsoft\\Windows NT\\CurrentVersion", ""), "dflt");
  EXPECT_FALSE(h->GetString("Microsoft\\Windows NT\\CurrentVersion", "N").has_value());
  const auto n = h->GetValue("Microsoft\\Windows NT\\CurrentVersion", "N");
  ASSERT_TRUE(n.has_value());
  EXPECT_EQ(n->type, regf::kRegDword);
  EXPECT_EQ(n->data, (std::vector<std::uint8_t>{5, 0, 0, 0}));
  EXPECT_FALSE(h->GetValue("Microsoft\\Windows NT\\CurrentVersion", "Missing").has_value());
}

TEST(RegfHiveFile, ReadsARealSystemHive) {
  HV_REQUIRE_SHARED_HIVES();
  std::string error;
  auto h = regf::HiveFile::Open(SharedHivesDir() / "windows/SYSTEM", &error);
  ASSERT_NE(h, nullptr) << error;
  EXPECT_TRUE(h->KeyExists("Select"));
  EXPECT_TRUE(h->GetValue("Select", "Current").has_value());
}

// Opening a hive and reading a few keys reads the bins on their path, not the hive; a fault
// elsewhere in the tree does not stop them (the checker's business), one on the path makes the
// key absent.
TEST(RegfHiveFile, ReadingAFewKeysCostsTheirPathNotTheHive) {
  ScratchDir dir;
  regf::FixtureBuilder b(5);
  auto& big = b.Root().AddKey("Classes");
  for (int i = 0; i < 3000; ++i) {
    big.AddKey("Key" + std::to_string(i)).SetBinary("Blob", std::vector<std::uint8_t>(1000, static_cast<std::uint8_t>(i)));
  }
  b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion").SetString("CurrentVersion", "6.1");
  auto image = b.Build();
  ASSERT_GT(image.size(), std::size_t{3} << 20);
  WriteBytes(dir / "soft", image);
  const regf::Hive h = regf::Hive::OnDemand(dir / "soft");
  const regf::KeyNode root = h.Key(h.Base().rootCell);
  std::vector<std::uint32_t> children;
  h.AppendSubkeys(root, children);
  ASSERT_EQ(children.size(), 2u);
  for (std::uint32_t c : children) h.Key(c);
  EXPECT_LT(h.BinBytesRead(), std::uint64_t{64} << 10) << "of " << image.size();

  std::string error;
  auto file = regf::HiveFile::Open(dir / "soft", &error);
  ASSERT_NE(file, nullptr) << error;
  EXPECT_EQ(file->GetString("Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion"), "6.1");

  // A broken cell far from the path: still answered. The path's own key broken: absent.
  const regf::Hive full = regf::Hive::FromBytes(image, "image");
  std::vector<std::uint32_t> classes;
  full.AppendSubkeys(full.Key(children[0]), classes);
  ASSERT_FALSE(classes.empty());
  const std::string brokenName = regf::NameToUtf8(full.Key(classes.back()).name);
  auto broken = image;
  broken[CellData(classes.back()) + regf::nk::kSignature] = 'x';
  WriteBytes(dir / "broken", broken);
  file = regf::HiveFile::Open(dir / "broken", &error);
  ASSERT_NE(file, nullptr) << error;
  EXPECT_EQ(file->GetString("Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion"), "6.1");
  EXPECT_FALSE(file->KeyExists("Classes\\" + brokenName));
  EXPECT_TRUE(file->KeyExists("Classes\\Key0"));
}

// A file cut short or a forged offset is answered as an absent key, never read outside the file.
TEST(RegfHiveFile, TruncatedFileAnswersWhatItHolds) {
  ScratchDir dir;
  auto image = SmallFixture().Build();
  WriteBytes(dir / "cut", std::vector<std::uint8_t>(image.begin(), image.begin() + 4096 + 32));
  std::string error;
  EXPECT_EQ(regf::HiveFile::Open(dir / "cut", &error), nullptr);
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

}  // namespace
}  // namespace hv::test
