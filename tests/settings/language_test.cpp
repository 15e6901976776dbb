#include "settings/language.h"

#include <gtest/gtest.h>

#include "settings/number_separators.h"
#include "support/settings_test.h"

namespace hv {
namespace {

using LanguageTest = test::SettingsTest;

TEST_F(LanguageTest, NamesThatLeaveTheFoldersAreRefused) {
  for (const char* name : {"..", "..\\..\\Windows\\win", "a/b", "x\\y", "de..", "/etc/passwd"}) {
    EXPECT_EQ(LanguageFilePath(name), "") << name;
  }
  OptionsSetting.Lan = "..\\German";
  EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "can not be found.");
}

TEST_F(LanguageTest, MissingFileOrKeyGivesTheBuiltInText) {
  OptionsSetting.Lan = "German";
  EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "can not be found.");
  fake.CreateFileWithContent(Beside("German"), "[ResourceString]\r\nRES_Other=x\r\n");
  EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "can not be found.");
}

TEST_F(LanguageTest, EmptyValueStaysEmptyAndPresentValueIsUsed) {
  OptionsSetting.Lan = "German";
  fake.CreateFileWithContent(Beside("German"),
                             "[resourcestring]\r\nres_not_found=\r\nRES_Analyze_NoSuccess= \"Fehler!\" \r\n");
  EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "");
  EXPECT_EQ(GetLanString(kResAnalyzeNoSuccess, "Failed to analyze the registry!"), "Fehler!");
}

TEST_F(LanguageTest, EnglishInAnyCaseReadsNoFile) {
  fake.CreateFileWithContent(Beside("English"), "[ResourceString]\r\nRES_Not_Found=changed\r\n");
  for (const char* lan : {"English", "english", "ENGLISH", "eNgLiSh"}) {
    OptionsSetting.Lan = lan;
    EXPECT_TRUE(IsEnglish(lan));
    EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "can not be found.");
  }
  EXPECT_FALSE(IsEnglish(""));
  EXPECT_FALSE(IsEnglish("Englis"));
  EXPECT_FALSE(IsEnglish("English "));
}

TEST_F(LanguageTest, NumberSeparatorsComeFromTheFileWhenTheyAreSound) {
  fake.SetDecimalSeparator(';');  // the locale's, kept by English and by a file without the keys
  struct Case {
    const char* language;
    const char* keys;  // the [ResourceString] lines of the language file
    char thousands;
    char decimal;
  } cases[] = {
      {"English", "RES_Thousand_Separator=.\r\nRES_Decimal_Separator=,\r\n", ',', ';'},
      {"German", "", ',', ';'},
      {"German", "RES_Thousand_Separator=.\r\nRES_Decimal_Separator=,\r\n", '.', ','},
      {"French", "RES_Thousand_Separator=\"\xA0\"\r\nRES_Decimal_Separator=,\r\n", '\xA0', ','},
      {"Swiss", "RES_Thousand_Separator=\"'\"\r\n", '\'', ';'},
      {"Spaced", "RES_Thousand_Separator=\" \"\r\nRES_Decimal_Separator=,\r\n", ' ', ','},
      // Unsound values give the stored separators for both.
      {"Empty", "RES_Thousand_Separator=\r\nRES_Decimal_Separator=,\r\n", ',', ';'},
      {"Long", "RES_Thousand_Separator=..\r\nRES_Decimal_Separator=,\r\n", ',', ';'},
      {"Digit", "RES_Thousand_Separator=7\r\nRES_Decimal_Separator=,\r\n", ',', ';'},
      {"Sign", "RES_Thousand_Separator=.\r\nRES_Decimal_Separator=-\r\n", ',', ';'},
      {"Percent", "RES_Thousand_Separator=%\r\n", ',', ';'},
      {"Control", "RES_Thousand_Separator=\"\x01\"\r\n", ',', ';'},
      {"Equal", "RES_Thousand_Separator=.\r\nRES_Decimal_Separator=.\r\n", ',', ';'},
      {"EqualToTheLocale", "RES_Thousand_Separator=;\r\n", ',', ';'},
  };
  for (const Case& c : cases) {
    fake.CreateFileWithContent(Beside(c.language), std::string("[ResourceString]\r\n") + c.keys);
    OptionsSetting.Lan = c.language;
    const NumberSeparators separators = LanguageNumberSeparators();
    EXPECT_EQ(separators.thousands, c.thousands) << c.language;
    EXPECT_EQ(separators.decimal, c.decimal) << c.language;
  }
  EXPECT_EQ(StoredNumberSeparators().thousands, ',');
  EXPECT_EQ(StoredNumberSeparators().decimal, ';');
}

TEST_F(LanguageTest, FileBesideTheProgramWinsOverTheLanguagesFolder) {
  EXPECT_EQ(LanguageFilePath("German"), InLanguages("German"));
  fake.CreateFileWithContent(InLanguages("German"), "[ResourceString]\r\nRES_Not_Found=folder\r\n");
  OptionsSetting.Lan = "German";
  EXPECT_EQ(GetLanString(kResNotFound, "x"), "folder");
  fake.CreateFileWithContent(Beside("German"), "[ResourceString]\r\nRES_Not_Found=beside\r\n");
  EXPECT_EQ(LanguageFilePath("German"), Beside("German"));
  EXPECT_EQ(GetLanString(kResNotFound, "x"), "beside");
}

TEST_F(LanguageTest, WindowsFoldersUseBackslashes) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  fake.SetProgramFolder("C:\\Program Files\\Hivora\\");
  fake.SetDataFolder("C:\\Program Files\\Hivora\\");
  EXPECT_EQ(LanguageFilePath("French"), "C:\\Program Files\\Hivora\\Languages\\DLan_French.ini");
  fake.CreateFileOfSize("C:\\Program Files\\Hivora\\DLan_French.ini", 0);
  EXPECT_EQ(LanguageFilePath("French"), "C:\\Program Files\\Hivora\\DLan_French.ini");
}

}  // namespace
}  // namespace hv
