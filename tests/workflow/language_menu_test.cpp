// The language menu: the marks, switching to a language whose file exists,
// and the message and translation page for a missing one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "settings/language.h"
#include "settings/translate_form.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

class LanguageMenuTest : public AppTest {
 protected:
  LanguageMenuTest() {
    AddMachine();
    fs::create_directories(LanguagesFolder());
    fs::copy_file(fs::path(HIVORA_LANGUAGES_DIR) / "DLan_German.ini", LanguagesFolder() + "DLan_German.ini");
  }
  std::string LanguagesFolder() { return fake.DataFolder() + "Languages/"; }
  void WriteLan(const std::string& lan) {
    std::ofstream(ProgramFile("options.ini")) << "[Options]\r\nLan=" << lan << "\r\n";
  }
  std::vector<std::string> CheckedItems() const {
    std::vector<std::string> names;
    for (const ui::MenuItem* item : main->pmLanguage.Items()) {
      if (item->Checked()) names.push_back(item->Name());
    }
    return names;
  }
  void Choose(const std::string& item) {
    tk.QueuePopupChoice(item);
    main->bLanguageClick();
  }
};

// --- Missing files first.

TEST_F(LanguageMenuTest, MissingFileTellsThePathAndOpensTheTranslationPage) {
  ShowMain();
  Choose("miFinnish");

  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, LanguagesFolder() + "DLan_Finnish.ini can not be found.");
  EXPECT_EQ(tk.MessageBoxLog()[0].caption, "Talvix Hivora");
  EXPECT_EQ(tk.MessageBoxLog()[0].flags, ui::kMbOk);
  ASSERT_EQ(fake.ShellCalls().size(), 1u);
  EXPECT_EQ(fake.ShellCalls()[0].operation, "Open");
  EXPECT_EQ(fake.ShellCalls()[0].file, BuiltinText(kTextTranslatePageUrl));
  EXPECT_EQ(fake.ShellCalls()[0].showCmd, kSwShow);
  EXPECT_EQ(fake.ShellOwners()[0], main->Handle());

  EXPECT_EQ(OptionsSetting.Lan, "English");
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miEnglish"});
  EXPECT_EQ(main->bOptions.Caption(), "Options");
}

TEST_F(LanguageMenuTest, OtherAddsWhereToLearnHowToTranslate) {
  ShowMain();
  Choose("miOther");
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, LanguagesFolder() + "DLan_Other.ini can not be found.\r\n\r\nPlease visit " +
                                            BuiltinText(kTextTranslatePageUrl));
  EXPECT_EQ(fake.ShellCalls().size(), 1u);
}

TEST_F(LanguageMenuTest, MissingFileMessageComesFromTheCurrentLanguage) {
  WriteLan("German");
  ShowMain();
  Choose("miFinnish");
  ASSERT_EQ(tk.MessageBoxLog().size(), 1u);
  EXPECT_EQ(tk.MessageBoxLog()[0].text, LanguagesFolder() + "DLan_Finnish.ini wurde nicht gefunden.");
  EXPECT_EQ(OptionsSetting.Lan, "German");
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miGerman"});
}

// --- Marks.

TEST_F(LanguageMenuTest, CurrentLanguageIsMarkedInAnyLetterCase) {
  WriteLan("brazilianPORTUGUESE");
  ShowMain();
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miBrazilianPortuguese"});
}

TEST_F(LanguageMenuTest, EmptyLanguageMarksNothingNotEvenTheSeparator) {
  WriteLan("");
  ShowMain();
  EXPECT_TRUE(CheckedItems().empty());
}

// --- Switching.

TEST_F(LanguageMenuTest, PresentFileSwitchesTheWindowAtOnceWithoutSaving) {
  ShowMain();
  Choose("miGerman");

  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_TRUE(fake.ShellCalls().empty());
  EXPECT_EQ(OptionsSetting.Lan, "German");
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miGerman"});
  EXPECT_EQ(main->bOptions.Caption(), "Optionen");
  EXPECT_EQ(main->bOptions.Width(), tk.TextWidth(*main, "Optionen") + 17);
  EXPECT_EQ(main->lvMain.Columns()[1].caption, "Aktuell");
  EXPECT_EQ(main->About1.Caption(), "\xDC&ber...");  // Windows-1252
  EXPECT_FALSE(fs::exists(ProgramFile("options.ini")));
}

TEST_F(LanguageMenuTest, FiguresOnScreenFollowTheChosenLanguage) {
  // Hives of megabytes, so that the sizes have groups of digits; each copy 3 MB.
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SYSTEM", 4000000);
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\SOFTWARE", 8000000);
  fake.CreateFileOfSize("C:\\Windows\\System32\\config\\DEFAULT", 2000000);
  fake.SetDefaultSaveSize(3000000);
  ShowMain();
  auto figures = [this] {
    return std::vector<std::string>{main->lvMain.Rows()[0].subItems[0], main->lvMain.Rows()[0].subItems[1],
                                    main->lCurrentRegistrySize.Caption(), main->lNewRegistrySize.Caption(),
                                    main->lSizeReduction.Caption(), main->lCompactPercent.Caption()};
  };
  main->bAnalyzeRegistryClick();
  EXPECT_EQ(figures(), (std::vector<std::string>{"3,907 KB", "2,930 KB", "13,672 KB", "8,790 KB", "4,883 KB",
                                                 "35.7%"}));
  Choose("miGerman");
  EXPECT_EQ(figures(), (std::vector<std::string>{"3.907 KB", "2.930 KB", "13.672 KB", "8.790 KB", "4.883 KB",
                                                 "35,7%"}));
  main->bAnalyzeRegistryClick();  // a new run in German writes German figures
  EXPECT_EQ(main->lCompactPercent.Caption(), "35,7%");
  EXPECT_EQ(main->lvMain.Rows()[2].subItems, (std::vector<std::string>{"1.954 KB", "2.930 KB", "0%"}));
  Choose("miEnglish");
  EXPECT_EQ(main->lCurrentRegistrySize.Caption(), "13,672 KB");
  EXPECT_EQ(main->lCompactPercent.Caption(), "35.7%");
}

TEST_F(LanguageMenuTest, ChoosingTheCurrentLanguageAgainTranslatesAgain) {
  WriteLan("German");
  ShowMain();
  EXPECT_EQ(main->bOptions.Caption(), "Optionen");
  main->bOptions.SetCaption("changed");
  Choose("miGerman");
  EXPECT_EQ(main->bOptions.Caption(), "Optionen");
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miGerman"});
}

// --- English is built in.

// Every translatable text of the main window, keyed as in a language file.
FormTexts TextsOf(TfrmMain& form) { return CaptureFormTexts(form); }

TEST_F(LanguageMenuTest, EnglishRestoresTheBuiltInTextsFromEveryShippedLanguage) {
  const FormTexts english = TextsOf(ShowMain());
  const std::vector<int> englishWidths = {main->bOptions.Width(), main->lTitle1.Width()};
  main.reset();
  for (const char* language : {"German", "French", "Spanish", "Italian", "BrazilianPortuguese"}) {
    SCOPED_TRACE(language);
    fs::copy_file(fs::path(HIVORA_LANGUAGES_DIR) / (std::string("DLan_") + language + ".ini"),
                  LanguagesFolder() + "DLan_" + language + ".ini", fs::copy_options::overwrite_existing);
    WriteLan(language);
    ShowMain();
    ASSERT_NE(TextsOf(*main), english);
    Choose("miEnglish");

    EXPECT_TRUE(tk.MessageBoxLog().empty());
    EXPECT_TRUE(fake.ShellCalls().empty());
    EXPECT_EQ(TextsOf(*main), english);
    EXPECT_EQ(OptionsSetting.Lan, "English");
    EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miEnglish"});
    EXPECT_EQ(GetLanString(kResNotFound, "can not be found."), "can not be found.");
    // Buttons and labels take their English widths again.
    EXPECT_EQ((std::vector<int>{main->bOptions.Width(), main->lTitle1.Width()}), englishWidths);

    main->Close();
    const Keys keys = OptionsKeys();
    EXPECT_NE(std::find(keys.begin(), keys.end(), std::pair<std::string, std::string>{"Lan", "English"}),
              keys.end());
    main.reset();
    fs::remove(ProgramFile("options.ini"));
  }
}

TEST_F(LanguageMenuTest, EnglishDoesNotReadAnEnglishLanguageFile) {
  std::ofstream(LanguagesFolder() + "DLan_English.ini") << "[frmMain]\r\nbOptions=Settings from a file\r\n";
  WriteLan("German");
  ShowMain();
  Choose("miEnglish");
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_EQ(main->bOptions.Caption(), "Options");
  EXPECT_EQ(OptionsSetting.Lan, "English");
}

TEST_F(LanguageMenuTest, EnglishKeepsTheFiguresOfAnAnalysis) {
  WriteLan("German");
  ShowMain();
  main->lCurrentRegistrySize.SetCaption("12.3 MB");
  main->lvMain.SetSubItem(0, 0, "4.0 MB");
  Choose("miEnglish");
  EXPECT_EQ(main->lCurrentRegistrySize.Caption(), "12.3 MB");
  EXPECT_EQ(main->lvMain.Rows()[0].subItems[0], "4.0 MB");
  EXPECT_EQ(main->lTitle.Caption(), std::string("Talvix Hivora ") + BuiltinText(kTextVersion));
}

TEST_F(LanguageMenuTest, AnotherLanguageAfterEnglishTranslatesAgain) {
  WriteLan("German");
  ShowMain();
  Choose("miEnglish");
  Choose("miGerman");
  EXPECT_EQ(main->bOptions.Caption(), "Optionen");
  EXPECT_EQ(CheckedItems(), std::vector<std::string>{"miGerman"});
}

}  // namespace
}  // namespace hv::test
