// The settings file read and written through the offline platform's
// private-profile engine: the same file a Windows user would have.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/offline/machine_description.h"
#include "platform/offline/offline_platform.h"
#include "settings/options.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

class OptionsOfflineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "c" / "Windows" / "System32" / "config");
    std::string error;
    auto machine = offline::DescribeRoot(dir / "c", &error);
    ASSERT_TRUE(machine) << error;
    offline::OfflineOptions options;
    options.machine = *machine;
    options.programFolder = dir / "config";
    options.dataFolder = dir / "data";
    platform = std::make_unique<offline::OfflinePlatform>(std::move(options));
    scope.emplace(platform.get());
    OptionsSetting = TOptionsSetting{};
  }
  void TearDown() override { OptionsSetting = TOptionsSetting{}; }

  std::filesystem::path File() const { return dir / "config" / "options.ini"; }
  void Write(const std::string& text) const { test::WriteWholeFile(File(), text); }
  std::string Read() const {
    std::string text = test::ReadWholeFile(File());
    std::erase(text, '\r');
    return text;
  }

  test::TempDir dir;
  std::unique_ptr<offline::OfflinePlatform> platform;
  std::optional<ScopedPlatform> scope;
};

TEST_F(OptionsOfflineTest, NoFileGivesTheDefaultsAndASaveWritesTheKeysInOrder) {
  ReadWriteOptions(true);
  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_TRUE(OptionsSetting.IsShowLine);
  EXPECT_FALSE(OptionsSetting.RestorePoint);
  EXPECT_EQ(OptionsSetting.Lan, "English");

  ReadWriteOptions(false);
  EXPECT_EQ(Read(), "[Options]\nRestorePoint=0\nIsAskBeforeDefrag=1\nIsShowLine=1\nLan=English\n");
}

TEST_F(OptionsOfflineTest, ValuesAreParsedAsWindowsReadsThem) {
  Write("[options]\r\n"
        "isaskbeforedefrag = 0x0\r\n"
        "IsShowLine=yes\r\n"
        "RestorePoint=-1\r\n"
        "LAN= \"German\" \r\n");
  ReadWriteOptions(true);
  EXPECT_FALSE(OptionsSetting.IsAskBeforeDefrag);  // hexadecimal zero
  EXPECT_TRUE(OptionsSetting.IsShowLine);          // not a number: the default
  EXPECT_TRUE(OptionsSetting.RestorePoint);        // any non-zero number
  EXPECT_EQ(OptionsSetting.Lan, "German");         // blanks and one pair of quotes dropped
}

TEST_F(OptionsOfflineTest, EmptyLanStaysEmptyAndHexWithDollarCounts) {
  Write("[Options]\nLan=\nRestorePoint=$1\nIsShowLine=0X\n");
  ReadWriteOptions(true);
  EXPECT_EQ(OptionsSetting.Lan, "");
  EXPECT_TRUE(OptionsSetting.RestorePoint);
  EXPECT_TRUE(OptionsSetting.IsShowLine);  // "0X" alone is not a number
}

TEST_F(OptionsOfflineTest, RoundTripReplacesKeysWhereTheyStandAndKeepsOtherSections) {
  Write("; settings\n[Other]\nKeep=this\n[Options]\nLan=French\nIsShowLine=1\nExtra=kept\n[Tail]\nA=1\n");
  ReadWriteOptions(true);
  OptionsSetting.IsShowLine = false;
  OptionsSetting.Lan = "Spanish";
  ReadWriteOptions(false);
  EXPECT_EQ(Read(),
            "; settings\n[Other]\nKeep=this\n[Options]\nLan=Spanish\nIsShowLine=0\nExtra=kept\n"
            "RestorePoint=0\nIsAskBeforeDefrag=1\n[Tail]\nA=1\n");

  OptionsSetting = TOptionsSetting{};
  ReadWriteOptions(true);
  EXPECT_FALSE(OptionsSetting.IsShowLine);
  EXPECT_EQ(OptionsSetting.Lan, "Spanish");
}

TEST_F(OptionsOfflineTest, OverlongLanIsCutAt2047Characters) {
  Write("[Options]\nLan=" + std::string(3000, 'x') + "\n");
  ReadWriteOptions(true);
  EXPECT_EQ(OptionsSetting.Lan.size(), 2047u);
}

}  // namespace
}  // namespace hv
