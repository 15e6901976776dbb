// One rule set for check and compact, and the security descriptors Windows validates on load.
#include <gtest/gtest.h>

#include "regf/checker.h"
#include "regf/regf.h"
#include "regf/security_descriptor.h"
#include "regf_test_util.h"

namespace hv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Patched {
  Bytes image = SmallFixture().Build();
  regf::KeyNode root;
  Patched() {
    const regf::Hive h = regf::Hive::FromBytes(image, "fixture");
    root = h.Key(h.Base().rootCell);
  }
  std::uint8_t* Descriptor() { return image.data() + CellData(root.security) + regf::sk::kDescriptor; }
  std::uint32_t DescriptorSize() { return regf::Rd32(image.data() + CellData(root.security) + regf::sk::kDescriptorSize); }
};

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

// What check lists as a fault compact refuses, naming the same fault and the cell, and writes
// nothing.
void ExpectCheckAndCompactRefuse(const Bytes& image, const std::string& fault, std::uint32_t cell) {
  ScratchDir dir;
  WriteBytes(dir / "hive", image);
  const auto problems = regf::CheckHive(dir / "hive");
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find(fault), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("(cell " + Hex(cell) + ")"), std::string::npos) << problems[0];
  const regf::Status s = regf::CompactHiveFile(dir / "hive", dir / "out");
  EXPECT_FALSE(s.ok);
  EXPECT_NE(s.message.find(fault), std::string::npos) << s.message;
  EXPECT_NE(s.message.find("(cell " + Hex(cell) + ")"), std::string::npos) << s.message;
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(RegfSoundness, KeyWithoutSecurityCellIsRefusedByCompactAsByCheck) {
  Patched p;
  regf::Wr32(p.image.data() + CellData(p.root.offset) + regf::nk::kSecurity, regf::kNone);
  ExpectCheckAndCompactRefuse(p.image, "key without a security cell", p.root.offset);
}

TEST(RegfSoundness, InvalidSecurityDescriptorIsRefusedWithItsOffset) {
  {
    SCOPED_TRACE("revision 9");
    Patched p;
    p.Descriptor()[regf::sd::kRevision] = 9;
    ExpectCheckAndCompactRefuse(p.image, "invalid security descriptor: its revision is 9", p.root.security);
  }
  {
    SCOPED_TRACE("owner offset 0xFFFF");
    Patched p;
    regf::Wr32(p.Descriptor() + regf::sd::kOwner, 0xFFFF);
    ExpectCheckAndCompactRefuse(p.image, "its owner offset 65535 is invalid", p.root.security);
  }
  {
    SCOPED_TRACE("garbage");
    Patched p;
    std::fill(p.Descriptor(), p.Descriptor() + p.DescriptorSize(), std::uint8_t{0xA5});
    ExpectCheckAndCompactRefuse(p.image, "invalid security descriptor", p.root.security);
  }
}

TEST(RegfSoundness, DescriptorRulesAsWindowsAppliesThem) {
  Patched p;
  const std::uint32_t size = p.DescriptorSize();
  const Bytes good(p.Descriptor(), p.Descriptor() + size);
  ASSERT_EQ(regf::SecurityDescriptorProblem(good.data(), size), "");
  const std::uint32_t dacl = regf::Rd32(good.data() + regf::sd::kDacl);
  const std::uint32_t owner = regf::Rd32(good.data() + regf::sd::kOwner);
  ASSERT_NE(dacl, 0u);
  ASSERT_NE(owner, 0u);
  ASSERT_GT(regf::Rd16(good.data() + dacl + regf::acl::kAceCount), 0u);
  const struct {
    const char* why;
    std::function<void(Bytes&)> patch;
    std::uint32_t size;
  } cases[] = {
      {"shorter than a descriptor's header", [](Bytes&) {}, regf::sd::kHeader - 1},
      {"not self-relative", [](Bytes& d) { regf::Wr16(d.data() + regf::sd::kControl, regf::Rd16(d.data() + regf::sd::kControl) & 0x7FFF); }, size},
      {"its group offset 6 is invalid", [](Bytes& d) { regf::Wr32(d.data() + regf::sd::kGroup, 6); }, size},
      {"its owner SID has 16 sub-authorities", [&](Bytes& d) { d[owner + regf::sid::kSubAuthorities] = 16; }, size},
      {"its owner SID has revision 2", [&](Bytes& d) { d[owner + regf::sid::kRevision] = 2; }, size},
      {"its DACL has revision 9", [&](Bytes& d) { d[dacl + regf::acl::kRevision] = 9; }, size},
      {"its DACL runs past the descriptor", [&](Bytes& d) { regf::Wr16(d.data() + dacl + regf::acl::kSize, 0xFFFC); }, size},
      {"its DACL ACE 1 has an invalid size 6", [&](Bytes& d) { regf::Wr16(d.data() + dacl + regf::acl::kHeader + regf::ace::kSize, 6); }, size},
      {"its DACL ACE 1 runs past the ACL", [&](Bytes& d) { regf::Wr16(d.data() + dacl + regf::acl::kHeader + regf::ace::kSize, 0xFFFC); }, size},
      {"its DACL ACE", [&](Bytes& d) { regf::Wr16(d.data() + dacl + regf::acl::kAceCount, 0xFFFF); }, size},
  };
  for (const auto& c : cases) {
    Bytes d = good;
    c.patch(d);
    const std::string why = regf::SecurityDescriptorProblem(d.data(), c.size);
    EXPECT_NE(why.find(c.why), std::string::npos) << c.why << " / got: " << why;
  }
  // Without the DACL-present flag the DACL is not looked at, as Windows does not.
  Bytes d = good;
  d[dacl + regf::acl::kRevision] = 9;
  regf::Wr16(d.data() + regf::sd::kControl, regf::Rd16(d.data() + regf::sd::kControl) & ~regf::sd::kDaclPresent);
  EXPECT_EQ(regf::SecurityDescriptorProblem(d.data(), size), "");
}

}  // namespace
}  // namespace hv::test
