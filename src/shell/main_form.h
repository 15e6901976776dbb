#pragma once
// TfrmMain: the program's one main window.
//
// The window's own life (creation, first showing, closing, chrome, command
// line) is in shell/main_form.cpp; its other handlers are in files of their
// own in this folder, calling the work they start in the folders below:
//   shell/analysis_run.cpp      bAnalyzeRegistryClick
//   shell/commit.cpp            bDefragRegistryClick, RestartComputer, EnableShutdownPrivilege
//   shell/silent_modes.cpp      WMSilentDefrag, WMScanReport
//   shell/language_commands.cpp bLanguageClick, miEnglishClick, MarkCurrentLanguage
//   shell/dialog_commands.cpp   bOptionsClick, bAboutClick
//   shell/web_links.cpp         bHomepageClick, Homepage1Click, pmiHelpClick,
//                               pmiCheckUpdateClick, suiURLLabel1Click
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hive/hive_catalogue.h"
#include "platform/worker_registry.h"
#include "settings/translate_form.h"
#include "ui/component.h"
#include "ui/form.h"
#include "ui/toolkit.h"
#include "workflow/figures.h"

namespace hv {

// The workers a dialog starts (the scan) are registered with the window
// until they end; closing the window stops them.
class TfrmMain : public ui::Form, public HiveCatalogue, public WorkerRegistry {
 public:
  // Builds every control and runs FormCreate. `instanceName` is the window
  // class name by which a second start finds this one.
  TfrmMain(ui::Toolkit& toolkit, std::string instanceName);
  ~TfrmMain() override;

  // --- Controls, in the window's component order.
  ui::Control& Image1;
  ui::Control& lTitle;
  ui::Control& bMinimize;
  ui::Control& bClose;
  ui::LinkLabel& suiURLLabel1;
  ui::Control& lTitle1;
  ui::Control& suiImagePanel1;
  ui::Control& bAnalyzeRegistry;
  ui::Control& bDefragRegistry;
  ui::Control& bOptions;
  ui::Control& lTitle3;
  ui::Control& suiImagePanel2;
  ui::Control& bHomepage;
  ui::Control& bLanguage;
  ui::Control& bAbout;
  ui::Control& bExit;
  ui::ListView& lvMain;
  ui::Control& lLastWashed;
  ui::Control& Label4;
  ui::Control& Label5;
  ui::Control& lCompactPercent1;
  ui::Control& lCurrentRegistrySize;
  ui::Control& lNewRegistrySize;
  ui::Control& lSizeReduction;
  ui::Control& lCompactPercent;
  ui::Control& Label6;
  ui::Control& Label2;
  ui::Control& Label1;
  ui::Control& Label3;
  ui::PopupMenu& pmHelp;
  ui::MenuItem& pmiHelp;
  ui::MenuItem& N1;
  ui::MenuItem& Homepage1;
  ui::MenuItem& N2;
  ui::MenuItem& pmiCheckUpdate;
  ui::MenuItem& N3;
  ui::MenuItem& About1;
  ui::PopupMenu& pmLanguage;  // items "mi" + language name, a separator N6, miOther

  // --- State read by other parts of the program.
  // Started with "/Silent" or "/Scan": the analysis and the commit leave out
  // their dialogs.
  bool IsSilent = false;

  // --- Window handlers.
  void CreateParams(ui::CreateParamsRec& params) override;
  void FormCreate();
  void FormShow() override;
  void FormClose() override;
  bool HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) override;
  int HitTest(ui::Point windowPoint, int defaultResult) override;
  // True when the point (window coordinates) is not over a visible label,
  // link label, flat button or picture other than the background.
  bool IsDragPoint(int x, int y) const;
  // Each flat button's width := its caption's width in the window's font + 17.
  void FitButtonWidths();
  // Labels and the link label take the width of their caption, as auto-sized
  // labels do (the four right-aligned totals keep their fixed width); run
  // after a translation so that the drag test sees the translated texts.
  void AutoSizeLabels();

  void bExitClick();
  void bCloseClick();
  void bMinimizeClick();
  void bHelpClick();
  void WMActivateInstance();

  // --- Analysis and commit.
  void bAnalyzeRegistryClick();
  void bDefragRegistryClick();
  void RestartComputer(bool Force);
  void EnableShutdownPrivilege();
  void WMSilentDefrag();
  void WMScanReport();
  // Puts the figures of the last accepted analysis into the list and the
  // totals, written with the current language's separators; nothing before
  // one. Run again after the language changes.
  void ShowFigures();
  // The four totals (current, new, reduction, compact percent) as the scan
  // report stores them, whatever the language; empty texts before an
  // accepted analysis.
  std::vector<std::string> StoredTotals() const;

  // --- Dialogs, languages, web links.
  void bOptionsClick();
  void bAboutClick();
  void bLanguageClick();
  void miEnglishClick(ui::MenuItem& Sender);
  void MarkCurrentLanguage();
  // Shows the built-in English texts again, whatever language showed before.
  void RestoreBuiltinTexts();
  void bHomepageClick();
  void Homepage1Click();
  void pmiHelpClick();
  void pmiCheckUpdateClick();
  void suiURLLabel1Click();

 private:
  void BuildControls();
  void PlaceLabel(ui::Control& label, int left, int top, const std::string& caption);

  std::string instanceName_;
  // The window's English texts as built, taken before any translation:
  // choosing English puts them back.
  FormTexts builtinTexts_;
  bool firstShowDone_ = false;
  // What the last accepted analysis measured; the labels show it.
  std::optional<AnalysisFigures> figures_;
};

}  // namespace hv
