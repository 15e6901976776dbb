#include "settings/options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "settings/ini_file.h"
#include "support/settings_test.h"

namespace hv {
namespace {

class OptionsTest : public test::SettingsTest {
 protected:
  void WriteFile(const std::string& content) { fake.CreateFileWithContent(OptionsFilePath(), content); }
};

TEST_F(OptionsTest, FailedSaveReportsTheFullPathAndKeepsTheRecord) {
  OptionsSetting = TOptionsSetting{true, false, true, "German"};
  fake.SetUnwritable(OptionsFilePath());
  try {
    ReadWriteOptions(false);
    FAIL() << "no error";
  } catch (const IniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + fake.ProgramFolder() + "options.ini");
  }
  EXPECT_EQ(OptionsSetting.Lan, "German");
  EXPECT_TRUE(OptionsSetting.RestorePoint);
  EXPECT_FALSE(fake.Exists(OptionsFilePath()));
}

// A program run from a write-protected folder keeps its settings in the
// user's own folder, and reads them from there from then on.
TEST_F(OptionsTest, AWriteProtectedProgramFolderSavesToTheFallbackFolderAndReadsFromThere) {
  const std::string beside = OptionsFilePath();
  const std::string fallback = fake.ProgramFolder() + "appdata" + static_cast<char>(std::filesystem::path::preferred_separator);
  fake.SetSettingsFallbackFolder(fallback);
  fake.CreateFileWithContent(beside, "[Options]\r\nLan=French\r\n");
  ReadWriteOptions(true);
  EXPECT_EQ(OptionsSetting.Lan, "French");  // the file beside the program, while it is the only one
  fake.SetUnwritable(beside);
  OptionsSetting.Lan = "German";
  ReadWriteOptions(false);  // no error
  EXPECT_EQ(OptionsFilePath(), fallback + "options.ini");
  EXPECT_EQ(fake.ReadContent(fallback + "options.ini"),
            "[Options]\r\nRestorePoint=0\r\nIsAskBeforeDefrag=1\r\nIsShowLine=1\r\nLan=German\r\n");
  EXPECT_EQ(fake.ReadContent(beside), "[Options]\r\nLan=French\r\n");
  OptionsSetting.Lan.clear();
  ReadWriteOptions(true);
  EXPECT_EQ(OptionsSetting.Lan, "German");
}

TEST_F(OptionsTest, WithNoFallbackFolderOrAnUnwritableOneTheSaveStillFails) {
  const std::string fallback = fake.ProgramFolder() + "appdata" + static_cast<char>(std::filesystem::path::preferred_separator);
  fake.SetSettingsFallbackFolder(fallback);
  fake.SetUnwritable(OptionsFilePath());
  fake.SetUnwritable(fallback + "options.ini");
  EXPECT_THROW(ReadWriteOptions(false), IniWriteError);
}

TEST_F(OptionsTest, MessagesShowPathsWithoutTheLongPathPrefix) {
  EXPECT_EQ(std::string(IniWriteError("\\\\?\\R:\\options.ini").what()), "Unable to write to R:\\options.ini");
}

TEST_F(OptionsTest, StartsZeroFilled) {
  TOptionsSetting fresh;
  EXPECT_FALSE(fresh.IsAskBeforeDefrag);
  EXPECT_FALSE(fresh.IsShowLine);
  EXPECT_FALSE(fresh.RestorePoint);
  EXPECT_TRUE(fresh.Lan.empty());
}

TEST_F(OptionsTest, MissingFileGivesDefaultsAndSaveWritesKeysInOrder) {
  ReadWriteOptions(true);
  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_TRUE(OptionsSetting.IsShowLine);
  EXPECT_FALSE(OptionsSetting.RestorePoint);
  EXPECT_EQ(OptionsSetting.Lan, "English");
  ReadWriteOptions(false);
  EXPECT_EQ(fake.ReadContent(OptionsFilePath()),
            "[Options]\r\nRestorePoint=0\r\nIsAskBeforeDefrag=1\r\nIsShowLine=1\r\nLan=English\r\n");
}

TEST_F(OptionsTest, OddValuesReadAsTheirIntegerOrTheDefault) {
  WriteFile("[options]\r\nrestorepoint=0x0\r\nIsAskBeforeDefrag=yes\r\nIsShowLine=0\r\nLan=\r\n");
  ReadWriteOptions(true);
  EXPECT_FALSE(OptionsSetting.RestorePoint);
  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_FALSE(OptionsSetting.IsShowLine);
  EXPECT_EQ(OptionsSetting.Lan, "");

  WriteFile("[Options]\r\nRestorePoint=-1\r\nIsAskBeforeDefrag=$0\r\nIsShowLine=2\r\n");
  ReadWriteOptions(true);
  EXPECT_TRUE(OptionsSetting.RestorePoint);
  EXPECT_FALSE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_TRUE(OptionsSetting.IsShowLine);
  EXPECT_EQ(OptionsSetting.Lan, "English");
}

TEST_F(OptionsTest, SaveReplacesKeysInPlaceAndKeepsOtherContent) {
  WriteFile("[Other]\r\nx=1\r\n[Options]\r\nLan=French\r\nExtra=keep\r\n[Tail]\r\ny=2\r\n");
  ReadWriteOptions(true);
  OptionsSetting.Lan = "German";
  OptionsSetting.RestorePoint = true;
  ReadWriteOptions(false);
  EXPECT_EQ(fake.ReadContent(OptionsFilePath()),
            "[Other]\r\nx=1\r\n[Options]\r\nLan=German\r\nExtra=keep\r\nRestorePoint=1\r\n"
            "IsAskBeforeDefrag=1\r\nIsShowLine=1\r\n[Tail]\r\ny=2\r\n");
  TOptionsSetting saved = OptionsSetting;
  OptionsSetting = TOptionsSetting{};
  ReadWriteOptions(true);
  EXPECT_EQ(OptionsSetting.Lan, saved.Lan);
  EXPECT_EQ(OptionsSetting.RestorePoint, saved.RestorePoint);
}

}  // namespace
}  // namespace hv
