#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include "support/fake_fixture.h"

namespace hv {
namespace {

class IniFileTest : public test::FakePlatformTest {
 protected:
  std::string path = fake.ProgramFolder() + "t.ini";
  IniFile ini{path};
};

TEST_F(IniFileTest, RefusedWriteThrowsWithTheFullPath) {
  fake.SetUnwritable(path);
  try {
    ini.WriteString("S", "k", "v");
    FAIL() << "no error";
  } catch (const IniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    EXPECT_EQ(e.Path(), path);
  }
  EXPECT_THROW(ini.EraseSection("S"), IniWriteError);
  EXPECT_THROW(ini.WriteBool("S", "k", true), IniWriteError);
}

TEST_F(IniFileTest, WriteIntoAMissingFolderThrows) {
  IniFile missing(fake.ProgramFolder() + "no-such-folder" + fake.ProgramFolder().back() + "t.ini");
  EXPECT_THROW(missing.WriteString("S", "k", "v"), IniWriteError);
}

TEST_F(IniFileTest, IntegersThatAreNotIntegersGiveTheDefault) {
  int v = 7;
  for (const char* text : {"", "yes", "12a", "0x", "$", "-", "1.5", "0xG", "2147483648",
                           "$123456789", "--1"}) {
    EXPECT_FALSE(ParseIniInteger(text, &v)) << text;
  }
  EXPECT_EQ(v, 7);
}

TEST_F(IniFileTest, IntegersInEveryNotation) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"0", 0},          {"2", 2},          {"-1", -1},        {"+5", 5},
               {"$10", 16},       {"0x0", 0},        {"0X1f", 31},      {"$FFFFFFFF", -1},
               {"2147483647", 2147483647},           {"-2147483648", -2147483647 - 1},
               {"  12", 12},      {"007", 7}};
  for (const auto& c : cases) {
    int v = 99;
    EXPECT_TRUE(ParseIniInteger(c.text, &v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST_F(IniFileTest, BoolsReadAnyNonZeroIntegerAsTrue) {
  ini.WriteString("S", "hexzero", "0x0");
  ini.WriteString("S", "two", "2");
  ini.WriteString("S", "minus", "-1");
  ini.WriteString("S", "word", "yes");
  ini.WriteString("S", "empty", "");
  EXPECT_FALSE(ini.ReadBool("S", "hexzero", true));
  EXPECT_TRUE(ini.ReadBool("S", "two", false));
  EXPECT_TRUE(ini.ReadBool("S", "minus", false));
  EXPECT_TRUE(ini.ReadBool("S", "word", true));
  EXPECT_FALSE(ini.ReadBool("S", "word", false));
  EXPECT_TRUE(ini.ReadBool("S", "empty", true));
  EXPECT_TRUE(ini.ReadBool("S", "absent", true));
}

TEST_F(IniFileTest, LongValuesAreCutAt2047Characters) {
  ini.WriteString("S", "long", std::string(3000, 'x'));
  EXPECT_EQ(ini.ReadString("S", "long", ""), std::string(2047, 'x'));
}

TEST_F(IniFileTest, EraseSectionLeavesOtherSections) {
  ini.WriteString("A", "k", "1");
  ini.WriteString("B", "k", "2");
  ini.EraseSection("a");
  EXPECT_EQ(ini.ReadString("A", "k", "gone"), "gone");
  EXPECT_EQ(ini.ReadString("B", "K", ""), "2");
  ini.WriteBool("B", "b", true);
  ini.WriteInteger("B", "i", -3);
  EXPECT_EQ(ini.ReadString("B", "b", ""), "1");
  EXPECT_EQ(ini.ReadInteger("B", "i", 0), -3);
}

}  // namespace
}  // namespace hv
