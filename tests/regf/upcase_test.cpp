// Windows' upper-case rules, hashes and hints.
#include "regf/upcase.h"

#include <gtest/gtest.h>

#include <string>

namespace hv::regf {
namespace {

NameRef Ascii(const std::string& s) {
  return NameRef{reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<std::uint32_t>(s.size()), true};
}

TEST(RegfUpcase, FollowsWindowsNotTheCLibrary) {
  EXPECT_EQ(Upcase(u'a'), u'A');
  EXPECT_EQ(Upcase(u'['), u'[');
  EXPECT_EQ(Upcase(u'ß'), u'ß');          // no one-to-many mapping
  EXPECT_EQ(Upcase(u'é'), u'É');
  EXPECT_EQ(Upcase(u'ÿ'), char16_t{0x178});
  EXPECT_EQ(Upcase(u'÷'), u'÷');
  EXPECT_EQ(Upcase(u'ж'), u'Ж');
  EXPECT_EQ(Upcase(u'ω'), u'Ω');
  EXPECT_EQ(Upcase(char16_t{0xFF41}), char16_t{0xFF21});  // full-width a
  EXPECT_EQ(Upcase(char16_t{0xD800}), char16_t{0xD800});
}

TEST(RegfUpcase, OrdersByUpperCasedCodeUnits) {
  const std::string a = "Zeta", b = "alpha", c = "_x", d = "ALPHA", e = "alphab";
  EXPECT_GT(CompareNames(Ascii(a), Ascii(b)), 0);
  EXPECT_GT(CompareNames(Ascii(c), Ascii(a)), 0);  // '_' (0x5F) sorts after 'Z' (0x5A)
  EXPECT_EQ(CompareNames(Ascii(b), Ascii(d)), 0);
  EXPECT_LT(CompareNames(Ascii(b), Ascii(e)), 0);
}

TEST(RegfUpcase, HashesAndHintsAsStored) {
  const std::string s = "Software";
  std::uint32_t h = 0;
  for (char ch : std::string("SOFTWARE")) h = h * 37 + static_cast<std::uint8_t>(ch);
  EXPECT_EQ(NameHash(Ascii(s)), h);
  EXPECT_EQ(NameHint(Ascii(s)), 0x74666F53u);  // "Soft"
  EXPECT_EQ(NameHint(Ascii("ab")), 0x6261u);
  const std::uint8_t utf16[] = {0x16, 0x04, 'a', 0};  // Cyrillic first
  EXPECT_EQ(NameHint(NameRef{utf16, 4, false}) & 0xFF, 0u);
  // Latin-1 names keep their bytes, as Windows stores them (seen in a Windows-written lf list).
  const std::uint8_t latin1[] = {0xEB, 'i', 'g', 'e', 'n', 'a', 'a', 'r'};  // "ëigenaar"
  EXPECT_EQ(NameHint(NameRef{latin1, 8, true}), 0x656769EBu);
  const std::uint8_t mixed[] = {'a', 0, 'b', 0, 'c', 0, 'd', 0, 0x16, 0x04};  // "abcd" + Cyrillic
  EXPECT_EQ(NameHint(NameRef{mixed, 10, false}), 0u);
}

}  // namespace
}  // namespace hv::regf
