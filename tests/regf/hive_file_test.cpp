// The read-only view used by the offline platform.
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

}  // namespace
}  // namespace hv::test
