// Where a link of an installation leads, decided from its reparse data alone:
// one table of targets, the same rules on both hosts.
#include "platform/offline/link_target.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hv::offline {
namespace {

using Kind = ReparseTarget::Kind;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value) {
  out[at] = static_cast<std::uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::vector<std::uint8_t> Utf16(const std::string& text) {
  std::vector<std::uint8_t> out;
  for (const char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// Reparse data as NTFS keeps it: the substitute name first, then the print name.
std::vector<std::uint8_t> Reparse(std::uint32_t tag, const std::string& substitute, std::uint32_t flags = 0) {
  const bool symlink = tag == 0xA000000Cu;
  const std::size_t names = symlink ? 20 : 16;
  const std::vector<std::uint8_t> sub = Utf16(substitute);
  const std::vector<std::uint8_t> print = Utf16("shown");
  std::vector<std::uint8_t> out(names, 0);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(tag >> (8 * i));
  Put16(out, 4, names - 8 + sub.size() + print.size());
  Put16(out, 8, 0);
  Put16(out, 10, sub.size());
  Put16(out, 12, sub.size());
  Put16(out, 14, print.size());
  if (symlink) {
    for (int i = 0; i < 4; ++i) out[16 + i] = static_cast<std::uint8_t>(flags >> (8 * i));
  }
  out.insert(out.end(), sub.begin(), sub.end());
  out.insert(out.end(), print.begin(), print.end());
  return out;
}
std::vector<std::uint8_t> Junction(const std::string& target) { return Reparse(0xA0000003u, target); }
std::vector<std::uint8_t> Symlink(const std::string& target, bool relative = false) {
  return Reparse(0xA000000Cu, target, relative ? 1u : 0u);
}

// An installation with drives C: and D:.
ReparseTarget Decide(const std::vector<std::uint8_t>& data) {
  return ReparseLinkTarget(data.data(), data.size(), [](char letter) { return letter == 'C' || letter == 'D'; });
}

TEST(ReparseLinkTargetTest, ADriveOfTheInstallationIsFollowedThereAndARelativeLinkInPlace) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> data;
    Kind kind;
    char drive;
    std::vector<std::string> components;
  };
  const Case cases[] = {
      {"junction to C:\\Users", Junction("\\??\\C:\\Users"), Kind::kDrive, 'C', {"Users"}},
      {"junction in lower case", Junction("\\??\\d:\\data\\x"), Kind::kDrive, 'D', {"data", "x"}},
      {"junction to a drive's root", Junction("\\??\\C:\\"), Kind::kDrive, 'C', {}},
      {"absolute symbolic link", Symlink("\\??\\C:\\Profiles\\Demo"), Kind::kDrive, 'C', {"Profiles", "Demo"}},
      {"absolute without the prefix", Symlink("D:\\Users"), Kind::kDrive, 'D', {"Users"}},
      {"relative symbolic link", Symlink("..\\Profiles", true), Kind::kRelative, 0, {"..", "Profiles"}},
      {"relative with forward slashes", Symlink("a/b", true), Kind::kRelative, 0, {"a", "b"}},
  };
  for (const Case& c : cases) {
    const ReparseTarget target = Decide(c.data);
    EXPECT_EQ(target.kind, c.kind) << c.what << ": " << target.why;
    EXPECT_EQ(target.drive, c.drive) << c.what;
    EXPECT_EQ(target.components, c.components) << c.what;
  }
}

TEST(ReparseLinkTargetTest, AnythingElseIsRefusedWithWhy) {
  std::vector<std::uint8_t> truncated = Junction("\\??\\C:\\Users");
  truncated.resize(truncated.size() - 12);  // the name runs past the data
  std::vector<std::uint8_t> odd = Junction("\\??\\C:\\Users");
  Put16(odd, 10, 5);
  std::vector<std::uint8_t> nul = Junction(std::string("\\??\\C:\\Us\0rs", 12));
  struct Case {
    const char* what;
    std::vector<std::uint8_t> data;
    const char* why;
  };
  const Case cases[] = {
      {"a drive the installation lacks", Junction("\\??\\E:\\Users"),
       "a link to \\??\\E:\\Users, a drive the installation does not have"},
      {"a volume name", Junction("\\??\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\x"),
       "a link to \\??\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\x, which is no drive of the installation"},
      {"a share", Symlink("\\??\\UNC\\server\\share"), "a link to \\??\\UNC\\server\\share, which is no drive of the installation"},
      {"a host path", Symlink("/etc/passwd"), "a link to /etc/passwd, which is no drive of the installation"},
      {"a drive-relative path", Symlink("C:Users"), "a link to C:Users, which is no drive of the installation"},
      {"another kind of reparse point", Reparse(0x80000017u, "\\??\\C:\\x"),
       "a reparse point of a kind Windows does not follow as a link"},
      {"too short for its header", std::vector<std::uint8_t>(10, 0), "broken reparse data"},
      {"a name past the data", truncated, "broken reparse data"},
      {"a name of an odd length", odd, "broken reparse data"},
      {"a NUL in the name", nul, "broken reparse data"},
  };
  for (const Case& c : cases) {
    const ReparseTarget target = Decide(c.data);
    EXPECT_EQ(target.kind, Kind::kRefused) << c.what;
    EXPECT_EQ(target.why, c.why) << c.what;
    EXPECT_TRUE(target.components.empty()) << c.what;
  }
  EXPECT_EQ(ReparseLinkTarget(nullptr, 0, [](char) { return true; }).kind, Kind::kRefused);
}

}  // namespace
}  // namespace hv::offline
