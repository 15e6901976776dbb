#include "settings/language.h"

#include <gtest/gtest.h>

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
