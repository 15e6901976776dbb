// The Options, confirmation and About dialogs, and the main window's
// commands that open the first and the last.
#include <gtest/gtest.h>

#include <filesystem>

#include "app_fixture.h"
#include "settings/about_dialog.h"
#include "settings/ask_delete_dialog.h"
#include "settings/ini_file.h"
#include "settings/options_dialog.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

class DialogsTest : public AppTest {
 protected:
  DialogsTest() {
    AddMachine();
    ShowMain();
  }
};

// --- Options.

TEST_F(DialogsTest, OptionsCancelLeavesRecordGridLinesAndFileAlone) {
  ThenClick("frmOptions", "cbShowLines");
  ThenClick("frmOptions", "cbCreateRestore");
  ThenClick("frmOptions", "bCancel");
  main->bOptionsClick();

  EXPECT_TRUE(StepsDone());
  EXPECT_TRUE(OptionsSetting.IsShowLine);
  EXPECT_FALSE(OptionsSetting.RestorePoint);
  EXPECT_TRUE(main->lvMain.GridLines());
  EXPECT_FALSE(fs::exists(ProgramFile("options.ini")));
}

TEST_F(DialogsTest, OptionsClosedFromTitleBarCountsAsCancel) {
  ThenClick("frmOptions", "cbAskBeforeDefrag");
  ThenClose("frmOptions");
  main->bOptionsClick();

  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_FALSE(fs::exists(ProgramFile("options.ini")));
}

TEST_F(DialogsTest, OptionsOkWithoutChangeSavesAllFourKeys) {
  ThenClick("frmOptions", "bOK");
  main->bOptionsClick();

  EXPECT_EQ(OptionsKeys(), (Keys{{"RestorePoint", "0"}, {"IsAskBeforeDefrag", "1"},
                                 {"IsShowLine", "1"}, {"Lan", "English"}}));
  EXPECT_TRUE(main->lvMain.GridLines());
}

TEST_F(DialogsTest, OptionsOkCopiesTheBoxesAndRemovesGridLinesAtOnce) {
  ThenClick("frmOptions", "cbShowLines");        // on -> off
  ThenClick("frmOptions", "cbAskBeforeDefrag");  // on -> off
  ThenClick("frmOptions", "cbCreateRestore");    // off -> on
  ThenClick("frmOptions", "bOK");
  main->bOptionsClick();

  EXPECT_FALSE(OptionsSetting.IsShowLine);
  EXPECT_FALSE(OptionsSetting.IsAskBeforeDefrag);
  EXPECT_TRUE(OptionsSetting.RestorePoint);
  EXPECT_FALSE(main->lvMain.GridLines());
  EXPECT_EQ(OptionsKeys(), (Keys{{"RestorePoint", "1"}, {"IsAskBeforeDefrag", "0"},
                                 {"IsShowLine", "0"}, {"Lan", "English"}}));
}

TEST_F(DialogsTest, OptionsBoxesStartFromTheRecord) {
  OptionsSetting.IsAskBeforeDefrag = false;
  OptionsSetting.RestorePoint = true;
  OptionsSetting.IsShowLine = false;
  TfrmOptions dialog(tk, main.get());
  EXPECT_FALSE(dialog.cbAskBeforeDefrag.Checked());
  EXPECT_TRUE(dialog.cbCreateRestore.Checked());
  EXPECT_FALSE(dialog.cbShowLines.Checked());
  EXPECT_EQ(dialog.bOK.ModalResult(), ui::kMrNone);
  EXPECT_EQ(dialog.bCancel.ModalResult(), ui::kMrCancel);
}

TEST_F(DialogsTest, OptionsSaveFailureIsReportedAfterGridLinesWereSet) {
  fake.SetUnwritable(ProgramFile("options.ini"));
  ThenClick("frmOptions", "cbShowLines");
  ThenClick("frmOptions", "bOK");
  // The error escapes the handler as it does from a click.
  EXPECT_THROW(main->bOptionsClick(), IniWriteError);
  EXPECT_FALSE(main->lvMain.GridLines());
}

// --- Confirmation.

TEST_F(DialogsTest, ConfirmationOffersNoBeforeYesAndStartsUnticked) {
  OptionsSetting.IsAskBeforeDefrag = false;
  TfrmAskDelete dialog(tk, main.get());
  EXPECT_LT(dialog.bCancel.TabOrder(), dialog.bOK.TabOrder());
  EXPECT_EQ(dialog.bOK.Caption(), "&Yes");
  EXPECT_EQ(dialog.bOK.ModalResult(), ui::kMrYes);
  EXPECT_EQ(dialog.bCancel.Caption(), "&No");
  EXPECT_EQ(dialog.bCancel.ModalResult(), ui::kMrNo);
  EXPECT_FALSE(dialog.cbAsk.Checked());
}

TEST_F(DialogsTest, ConfirmationBoxSwitchesTheQuestionAtEachClick) {
  TfrmAskDelete dialog(tk, main.get());
  dialog.cbAsk.Click();
  EXPECT_FALSE(OptionsSetting.IsAskBeforeDefrag);
  dialog.cbAsk.Click();
  EXPECT_TRUE(OptionsSetting.IsAskBeforeDefrag);
}

// --- About.

TEST_F(DialogsTest, AboutShowsTitleNoticeAndHomePageAndOpensItWithItselfAsOwner) {
  HWND aboutWindow = nullptr;
  Then([&] {
    auto* about = dynamic_cast<TfrmAbout*>(tk.ActiveForm());
    ASSERT_NE(about, nullptr);
    aboutWindow = about->Handle();
    EXPECT_EQ(about->Caption(), "About Talvix Hivora");
    EXPECT_EQ(about->Label1.Caption(), "Talvix Hivora");
    EXPECT_EQ(about->Label2.Caption(), "Version: 2.3   Build 20140925");
    EXPECT_EQ(about->Label3.Caption(), "Email: support@talvixsoftware.com");
    EXPECT_EQ(about->lbEAddress.Caption(), BuiltinText(kTextHomePageUrl));
    EXPECT_EQ(about->Label2.Width(), tk.TextWidth(*about, about->Label2.Caption()));
    about->lbEAddress.Click();
    EXPECT_EQ(tk.ActiveForm(), about);  // stays open
  });
  ThenClick("frmAbout", "bOK");
  main->bAboutClick();

  ASSERT_EQ(fake.ShellCalls().size(), 1u);
  EXPECT_EQ(fake.ShellCalls()[0].operation, "Open");
  EXPECT_EQ(fake.ShellCalls()[0].file, BuiltinText(kTextHomePageUrl));
  EXPECT_EQ(fake.ShellCalls()[0].showCmd, kSwShow);
  EXPECT_EQ(fake.ShellOwners()[0], aboutWindow);
  EXPECT_NE(aboutWindow, main->Handle());
}

// No browser, no handler: the user is told, with the address to open by hand.
TEST_F(DialogsTest, AWebPageThatCannotBeOpenedIsSaidWithItsAddress) {
  fake.SetShellResult(2);  // SE_ERR_FNF
  main->pmiHelpClick();
  main->pmiCheckUpdateClick();
  ASSERT_EQ(MessageTexts().size(), 2u);
  EXPECT_EQ(MessageTexts()[0], std::string("The web page could not be opened. Its address is:\r\n\r\n") +
                                   BuiltinText(kTextHelpPageUrl));
  EXPECT_NE(MessageTexts()[1].find(BuiltinText(kTextUpdatePageUrl)), std::string::npos);
  fake.SetShellResult(42);
  main->bHomepageClick();
  EXPECT_EQ(MessageTexts().size(), 2u);
}

TEST_F(DialogsTest, AboutTitleCanBeReplacedByTheLanguageFile) {
  fs::create_directories(fake.DataFolder() + "Languages");
  std::ofstream(fake.DataFolder() + "Languages/DLan_Test.ini")
      << "[frmAbout]\r\nLabel1=Hivora Test\r\nbOK=&Gut\r\n";
  OptionsSetting.Lan = "Test";
  Then([&] {
    auto* about = dynamic_cast<TfrmAbout*>(tk.ActiveForm());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->Label1.Caption(), "Hivora Test");
    EXPECT_EQ(about->bOK.Caption(), "&Gut");
    EXPECT_EQ(about->Caption(), "About Talvix Hivora");
  });
  ThenClick("frmAbout", "bOK");
  main->bAboutClick();
  EXPECT_TRUE(StepsDone());
}

TEST_F(DialogsTest, AboutTakesVersionYearsAndAddressesFromTheProgramNotTheLanguageFile) {
  fs::create_directories(fake.DataFolder() + "Languages");
  std::ofstream(fake.DataFolder() + "Languages/DLan_Old.ini")
      << "[frmAbout]\r\nLabel2=Versione: 1.9   Build 20120101\r\n"
         "lCopywrite=\xA9 2010-2013 Talvix Software. Tutti i diritti riservati.\r\n"
         "Label3=E-mail: help@example.com\r\nlbEAddress=http://old.example.com/\r\n";
  OptionsSetting.Lan = "Old";
  Then([&] {
    auto* about = dynamic_cast<TfrmAbout*>(tk.ActiveForm());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->Label2.Caption(), std::string("Versione: ") + BuiltinText(kTextVersion) + "   Build 20140925");
    EXPECT_EQ(about->lCopywrite.Caption(), "\xA9 2014-2026 Talvix Software. Tutti i diritti riservati.");
    EXPECT_EQ(about->Label3.Caption(), "E-mail: support@talvixsoftware.com");
    EXPECT_EQ(about->lbEAddress.Caption(), BuiltinText(kTextHomePageUrl));
  });
  ThenClick("frmAbout", "bOK");
  main->bAboutClick();
  EXPECT_TRUE(StepsDone());
}

}  // namespace
}  // namespace hv::test
