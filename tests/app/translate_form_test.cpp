#include "settings/translate_form.h"

#include <gtest/gtest.h>

#include "hive/progress_dialog.h"
#include "settings/options.h"
#include "shell/main_form.h"
#include "shell/startup.h"
#include "stub_toolkit.h"
#include "support/settings_test.h"

namespace hv {
namespace {

class TranslateFormTest : public test::SettingsTest {
 protected:
  test::StubToolkit tk;
};

TEST_F(TranslateFormTest, MissingFileOrUnsafeNameChangesNothing) {
  TfrmMain form(tk, kInstanceName);
  TranslateForm(form, "German");
  TranslateForm(form, "..\\German");
  EXPECT_EQ(form.bAnalyzeRegistry.Caption(), "Analyze Registry");
  EXPECT_EQ(form.Caption(), "Talvix Hivora");
}

TEST_F(TranslateFormTest, HintsOnlyWhereShown) {
  fake.CreateFileWithContent(Beside("German"),
                             "[frmMain]\r\n"
                             "bExitHint=Beenden\r\n"
                             "bCloseHint=Schliessen\r\n"
                             "Label6Hint=nie\r\n"
                             "lvMainHint=nie\r\n");
  TfrmMain form(tk, kInstanceName);
  form.Label6.SetHint("x");
  TranslateForm(form, "German");
  EXPECT_EQ(form.bExit.Hint(), "Beenden");
  EXPECT_EQ(form.bClose.Hint(), "Schliessen");
  EXPECT_EQ(form.Label6.Hint(), "x");
  EXPECT_EQ(form.lvMain.Hint(), "");
  EXPECT_EQ(form.bOptions.Hint(), "Settings");
}

TEST_F(TranslateFormTest, MainWindowCaptionsColumnsAndMenus) {
  fake.CreateFileWithContent(Beside("German"),
                             "[frmMain]\r\n"
                             "frmMain=Hauptfenster\r\n"
                             "bAnalyzeRegistry=Registrierung &analysieren\r\n"
                             "lTitle=Titel\r\n"
                             "suiURLLabel1=Link\r\n"
                             "lvMain=nie\r\n"
                             "lvMain_Column0=Name\r\n"
                             "lvMain_Column3=Verkleinerung\r\n"
                             "Image1=nie\r\n"
                             "suiImagePanel1=nie\r\n"
                             "bMinimize=nie\r\n"
                             "Label1=\r\n"
                             "pmiHelp=nie\r\n"
                             "[Menu_frmMain]\r\n"
                             "pmiHelp=&Hilfe\r\n"
                             "N1=nie\r\n"
                             "N6=nie\r\n"
                             "miGerman=&Deutsch\r\n"
                             "bExit=nie\r\n");
  TfrmMain form(tk, kInstanceName);
  TranslateForm(form, "German");
  EXPECT_EQ(form.Caption(), "Hauptfenster");
  EXPECT_EQ(form.bAnalyzeRegistry.Caption(), "Registrierung &analysieren");
  EXPECT_EQ(form.lTitle.Caption(), "Titel");
  EXPECT_EQ(form.suiURLLabel1.Caption(), "Link");
  EXPECT_EQ(form.lvMain.Caption(), "");
  EXPECT_EQ(form.lvMain.Columns()[0].caption, "Name");
  EXPECT_EQ(form.lvMain.Columns()[1].caption, "Current Size");
  EXPECT_EQ(form.lvMain.Columns()[3].caption, "Verkleinerung");
  EXPECT_EQ(form.Image1.Caption(), "");
  EXPECT_EQ(form.suiImagePanel1.Caption(), "");
  EXPECT_EQ(form.bMinimize.Caption(), "");
  EXPECT_EQ(form.Label1.Caption(), "");  // present and empty
  EXPECT_EQ(form.Label2.Caption(), "1. Analyze the Windows registry.");
  EXPECT_EQ(form.pmiHelp.Caption(), "&Hilfe");
  EXPECT_EQ(form.N1.Caption(), "-");
  EXPECT_EQ(form.pmLanguage.Items()[23]->Caption(), "-");
  EXPECT_EQ(form.pmLanguage.Items()[9]->Caption(), "&Deutsch");
  EXPECT_EQ(form.bExit.Caption(), "Exit");  // menu section is for menu items only
}

TEST_F(TranslateFormTest, FileBesideTheProgramWins) {
  fake.CreateFileWithContent(InLanguages("German"), "[frmMain]\r\nbOptions=Optionen\r\n");
  TfrmMain form(tk, kInstanceName);
  TranslateForm(form, "German");
  EXPECT_EQ(form.bOptions.Caption(), "Optionen");
  fake.CreateFileWithContent(Beside("German"), "[frmMain]\r\nbExit=Ende\r\n");
  TfrmMain second(tk, kInstanceName);
  TranslateForm(second, "German");
  EXPECT_EQ(second.bOptions.Caption(), "Options");
  EXPECT_EQ(second.bExit.Caption(), "Ende");
}

TEST_F(TranslateFormTest, MainWindowTranslatesItselfWhenShownUnlessEnglish) {
  fake.CreateFileWithContent(Beside("German"), "[frmMain]\r\nbExit=Programm beenden\r\nLabel6=Schritte: x\r\n");
  fake.CreateFileWithContent(Beside("english"), "[frmMain]\r\nbExit=nie\r\n");
  fake.CreateFileWithContent(fake.ProgramFolder() + "options.ini", "[Options]\r\nLan=eNgLiSh\r\n");
  {
    TfrmMain form(tk, kInstanceName);
    form.Show();
    EXPECT_EQ(form.bExit.Caption(), "Exit");
  }
  fake.CreateFileWithContent(fake.ProgramFolder() + "options.ini", "[Options]\r\nLan=German\r\n");
  TfrmMain form(tk, kInstanceName);
  form.Show();
  EXPECT_EQ(form.bExit.Caption(), "Programm beenden");
  EXPECT_EQ(form.bExit.Width(), 6 * 16 + 17);  // fitted after the translation
  // Labels follow their translated text, so the drag test sees it.
  EXPECT_EQ(form.Label6.Width(), 6 * 11);
  EXPECT_FALSE(form.IsDragPoint(342 + 63, 312));
  EXPECT_EQ(form.lCompactPercent.Width(), 70);
}

TEST_F(TranslateFormTest, ProgressDialogTranslatesWhenShown) {
  fake.CreateFileWithContent(Beside("German"),
                             "[frmGetNewHiveProgess]\r\n"
                             "frmGetNewHiveProgess=Analyse\r\n"
                             "bStop=Anhalten\r\n"
                             "GroupBox1=Gruppe\r\n"
                             "Label1=Bitte warten.\r\n"
                             "Label2=Pruefe: \r\n"
                             "Memo1=nie\r\n"
                             "ProgressBar1=nie\r\n");
  TfrmMain main(tk, kInstanceName);
  OptionsSetting.Lan = "German";
  TfrmGetNewHiveProgess dialog(main, main, main);
  dialog.FormShow();
  EXPECT_EQ(dialog.Caption(), "Analyse");
  EXPECT_EQ(dialog.bStop.Caption(), "Anhalten");
  EXPECT_EQ(dialog.GroupBox1.Caption(), "Gruppe");
  EXPECT_EQ(dialog.Label1.Caption(), "Bitte warten.");
  EXPECT_EQ(dialog.Label2.Caption(), "Pruefe:");
  EXPECT_EQ(dialog.Memo1.Caption(), "Registry Key");
  EXPECT_EQ(dialog.ProgressBar1.Caption(), "");
}

}  // namespace
}  // namespace hv
