#include "shell/main_form.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "hive/hive_primitives.h"
#include "platform/platform.h"
#include "platform/shown_path.h"
#include "resources/builtin_texts.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "shell/command_switch.h"
#include "shell/windows_release.h"

namespace hv {
namespace {

// The language menu, in menu order: item name suffix and caption.
struct LanguageEntry {
  const char* name;
  const char* caption;
};
constexpr LanguageEntry kLanguages[] = {
    {"Arabic", "&Arabic"},         {"BrazilianPortuguese", "&Brazilian Portuguese"},
    {"Chinese", "&Chinese"},       {"Czech", "C&zech"},
    {"Danish", "Da&nish"},         {"Dutch", "&Dutch"},
    {"English", "&English"},       {"Finnish", "F&innish"},
    {"French", "&French"},         {"German", "&German"},
    {"Greek", "G&reek"},           {"Hungarian", "&Hungarian"},
    {"Italian", "&Italian"},       {"Japanese", "&Japanese"},
    {"Kurdish", "&Kurdish"},       {"Polish", "&Polish"},
    {"Portuguese", "P&ortuguese"}, {"Russian", "&Russian"},
    {"Slovenian", "S&lovenian"},   {"Spanish", "&Spanish"},
    {"Swedish", "S&wedish"},       {"Turkish", "&Turkish"},
    {"Ukranian", "&Ukranian"},
};

constexpr std::uint32_t kActiveCaptionColor = 0x00D1B499;
constexpr std::uint32_t kFlatButtonBorder = 0x00A0A0A0;
constexpr int kLabelHeight = 13;
constexpr int kFlatButtonHeight = 25;
constexpr int kListWidth = 423;
constexpr int kNameColumnWidth = kListWidth - 2 * 2 - 17 - (72 + 70 + 65);
// Closing the window waits this long for a worker still copying a hive.
constexpr int kCloseWaitMs = 30000;

bool IsDragBlockingKind(ui::Kind kind) {
  switch (kind) {
    case ui::Kind::Image:
    case ui::Kind::HoverImage:
    case ui::Kind::Label:
    case ui::Kind::UrlLabel:
    case ui::Kind::FlatButton:
      return true;
    default:
      return false;
  }
}

// The maker's address as the link shows it: no scheme, no trailing slash.
std::string SiteAddressText() {
  std::string text = kSiteRootUrl;
  if (const auto scheme = text.find("://"); scheme != std::string::npos) text.erase(0, scheme + 3);
  if (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

TfrmMain::TfrmMain(ui::Toolkit& toolkit, std::string instanceName)
    : ui::Form(toolkit, "frmMain", nullptr),
      Image1(Add<ui::Control>(ui::Kind::Image, "Image1")),
      lTitle(Add<ui::Control>(ui::Kind::Label, "lTitle")),
      bMinimize(Add<ui::Control>(ui::Kind::ImageButton, "bMinimize")),
      bClose(Add<ui::Control>(ui::Kind::HoverImage, "bClose")),
      suiURLLabel1(Add<ui::LinkLabel>("suiURLLabel1")),
      lTitle1(Add<ui::Control>(ui::Kind::Label, "lTitle1")),
      suiImagePanel1(Add<ui::Control>(ui::Kind::ImagePanel, "suiImagePanel1")),
      bAnalyzeRegistry(Add<ui::Control>(ui::Kind::FlatButton, "bAnalyzeRegistry")),
      bDefragRegistry(Add<ui::Control>(ui::Kind::FlatButton, "bDefragRegistry")),
      bOptions(Add<ui::Control>(ui::Kind::FlatButton, "bOptions")),
      lTitle3(Add<ui::Control>(ui::Kind::Label, "lTitle3")),
      suiImagePanel2(Add<ui::Control>(ui::Kind::ImagePanel, "suiImagePanel2")),
      bHomepage(Add<ui::Control>(ui::Kind::FlatButton, "bHomepage")),
      bLanguage(Add<ui::Control>(ui::Kind::FlatButton, "bLanguage")),
      bAbout(Add<ui::Control>(ui::Kind::FlatButton, "bAbout")),
      bExit(Add<ui::Control>(ui::Kind::FlatButton, "bExit")),
      lvMain(Add<ui::ListView>("lvMain")),
      lLastWashed(Add<ui::Control>(ui::Kind::Label, "lLastWashed")),
      Label4(Add<ui::Control>(ui::Kind::Label, "Label4")),
      Label5(Add<ui::Control>(ui::Kind::Label, "Label5")),
      lCompactPercent1(Add<ui::Control>(ui::Kind::Label, "lCompactPercent1")),
      lCurrentRegistrySize(Add<ui::Control>(ui::Kind::Label, "lCurrentRegistrySize")),
      lNewRegistrySize(Add<ui::Control>(ui::Kind::Label, "lNewRegistrySize")),
      lSizeReduction(Add<ui::Control>(ui::Kind::Label, "lSizeReduction")),
      lCompactPercent(Add<ui::Control>(ui::Kind::Label, "lCompactPercent")),
      Label6(Add<ui::Control>(ui::Kind::Label, "Label6")),
      Label2(Add<ui::Control>(ui::Kind::Label, "Label2")),
      Label1(Add<ui::Control>(ui::Kind::Label, "Label1")),
      Label3(Add<ui::Control>(ui::Kind::Label, "Label3")),
      pmHelp(Add<ui::PopupMenu>("pmHelp")),
      pmiHelp(Add<ui::MenuItem>("pmiHelp", pmHelp)),
      N1(Add<ui::MenuItem>("N1", pmHelp)),
      Homepage1(Add<ui::MenuItem>("Homepage1", pmHelp)),
      N2(Add<ui::MenuItem>("N2", pmHelp)),
      pmiCheckUpdate(Add<ui::MenuItem>("pmiCheckUpdate", pmHelp)),
      N3(Add<ui::MenuItem>("N3", pmHelp)),
      About1(Add<ui::MenuItem>("About1", pmHelp)),
      pmLanguage(Add<ui::PopupMenu>("pmLanguage")),
      instanceName_(std::move(instanceName)) {
  SetBorder(ui::BorderStyle::None);
  SetPosition(ui::FormPosition::ScreenCenter);
  SetClientSize(556, 392);
  SetFont({"MS Sans Serif", -11, false});
  SetCaption("Talvix Hivora");
  BuildControls();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // A window destroyed without closing (an error on the way out) still
  // leaves no worker running against a toolkit or platform that goes next.
  StopWorkers();
  WaitForWorkers(kCloseWaitMs);
}

// A label sizes itself to its text, as the designer's auto-sized labels do.
void TfrmMain::PlaceLabel(ui::Control& label, int left, int top, const std::string& caption) {
  label.SetCaption(caption);
  label.SetBounds({left, top, Tk().ControlTextWidth(*this, label, caption), kLabelHeight});
}

void TfrmMain::BuildControls() {
  auto hinted = [](ui::Control& c, const char* hint) {
    c.SetHint(hint);
    c.SetShowHint(true);
  };
  auto flat = [&](ui::Control& b, int left, int top, const char* caption, const char* hint) {
    b.SetBounds({left, top, 100, kFlatButtonHeight});
    b.SetCaption(caption);
    b.SetBorderColor(kFlatButtonBorder);
    b.SetHandCursor(true);
    hinted(b, hint);
  };

  Image1.SetBounds({0, 0, 556, 393});
  Image1.SetContextMenu(&pmHelp);
  lTitle.SetBold(true);
  lTitle.SetFontHeight(-13);
  PlaceLabel(lTitle, 17, 12, "Talvix Hivora");
  bMinimize.SetBounds({488, 9, 24, 24});
  hinted(bMinimize, "Minimize");
  bMinimize.OnClick = [this] { bMinimizeClick(); };
  bClose.SetBounds({517, 9, 24, 24});
  hinted(bClose, "Minimize to system tray");
  bClose.OnClick = [this] { bCloseClick(); };
  suiURLLabel1.SetHandCursor(true);
  suiURLLabel1.SetUrl(kSiteRootUrl);
  PlaceLabel(suiURLLabel1, 436, 38, SiteAddressText());
  suiURLLabel1.OnClick = [this] { suiURLLabel1Click(); };

  lTitle1.SetBold(true);
  PlaceLabel(lTitle1, 13, 67, "Main");
  suiImagePanel1.SetBounds({11, 85, 100, 1});
  suiImagePanel1.SetBorderColor(kActiveCaptionColor);
  flat(bAnalyzeRegistry, 13, 93, "Analyze Registry", "Analyze your registry");
  bAnalyzeRegistry.OnClick = [this] { bAnalyzeRegistryClick(); };
  flat(bDefragRegistry, 13, 122, "Defrag Registry", "Defrag your registry");
  bDefragRegistry.SetEnabled(false);
  bDefragRegistry.OnClick = [this] { bDefragRegistryClick(); };
  flat(bOptions, 12, 151, "Options", "Settings");
  bOptions.OnClick = [this] { bOptionsClick(); };

  lTitle3.SetBold(true);
  PlaceLabel(lTitle3, 13, 193, "Help");
  suiImagePanel2.SetBounds({11, 213, 100, 1});
  suiImagePanel2.SetBorderColor(kActiveCaptionColor);
  flat(bHomepage, 15, 221, "Homepage", "Homepage");
  bHomepage.OnClick = [this] { bHomepageClick(); };
  flat(bLanguage, 16, 252, "Language", "Change display language");
  bLanguage.OnClick = [this] { bLanguageClick(); };
  flat(bAbout, 16, 283, "Help", "Click to popup the menu");
  bAbout.OnClick = [this] { bHelpClick(); };
  flat(bExit, 16, 314, "Exit", "Exit");
  bExit.OnClick = [this] { bExitClick(); };

  lvMain.SetBounds({119, 65, kListWidth, 236});
  // The columns fill the list's client area (its 2-pixel sunken edge on
  // each side) beside a 17-pixel vertical scroll bar, so that a long hive
  // list never needs a horizontal one; the name column takes what the
  // figures leave.
  lvMain.AddColumn({"Hive Name", kNameColumnWidth, ui::Align::Left});
  lvMain.AddColumn({"Current Size", 72, ui::Align::Right});
  lvMain.AddColumn({"New Size", 70, ui::Align::Right});
  lvMain.AddColumn({"Reduction", 65, ui::Align::Right});

  PlaceLabel(lLastWashed, 116, 312, "Current Registry Size:");
  PlaceLabel(Label4, 116, 330, "New Registry Size:");
  PlaceLabel(Label5, 116, 348, "Size Reduction:");
  PlaceLabel(lCompactPercent1, 116, 366, "Compact Percent:");
  int top = 312;
  for (ui::Control* total : {&lCurrentRegistrySize, &lNewRegistrySize, &lSizeReduction,
                             &lCompactPercent}) {
    total->SetBounds({222, top, 70, kLabelHeight});
    total->SetAlignment(ui::Align::Right);
    total->SetCaption("0");
    top += 18;
  }
  PlaceLabel(Label6, 342, 312, "Step Hint:");
  PlaceLabel(Label2, 353, 330, "1. Analyze the Windows registry.");
  PlaceLabel(Label1, 353, 348, "2. Review the analyzing result.");
  PlaceLabel(Label3, 353, 366, "3. Defrag the registry and restart the pc.");

  pmiHelp.SetCaption("&Help");
  pmiHelp.OnClick = [this] { pmiHelpClick(); };
  N1.SetCaption("-");
  Homepage1.SetCaption("H&omepage");
  Homepage1.OnClick = [this] { Homepage1Click(); };
  N2.SetCaption("-");
  pmiCheckUpdate.SetCaption("&Check for Update");
  pmiCheckUpdate.OnClick = [this] { pmiCheckUpdateClick(); };
  N3.SetCaption("-");
  About1.SetCaption("&About...");
  About1.OnClick = [this] { bAboutClick(); };

  for (const auto& language : kLanguages) {
    auto& item = Add<ui::MenuItem>(std::string("mi") + language.name, pmLanguage);
    item.SetCaption(language.caption);
    item.OnClick = [this, &item] { miEnglishClick(item); };
  }
  Add<ui::MenuItem>("N6", pmLanguage).SetCaption("-");
  auto& other = Add<ui::MenuItem>("miOther", pmLanguage);
  other.SetCaption("Other");
  other.OnClick = [this, &other] { miEnglishClick(other); };
}

void TfrmMain::CreateParams(ui::CreateParamsRec& params) {
  ui::Form::CreateParams(params);
  // The class name field holds 63 characters and a NUL.
  params.windowClassName = instanceName_.substr(0, 63);
}

void TfrmMain::FormCreate() {
  ReadWriteOptions(true);
  Hives.clear();
  lCurrentRegistrySize.SetCaption("");
  lNewRegistrySize.SetCaption("");
  lSizeReduction.SetCaption("");
  lCompactPercent.SetCaption("");
  IsSilent = false;
  lTitle.SetCaption(lTitle.Caption() + " " + BuiltinText(kTextVersion));
  lTitle.SetWidth(Tk().ControlTextWidth(*this, lTitle, lTitle.Caption()));

  bHomepage.SetVisible(false);
  bExit.SetTop(bAbout.Top());
  bExit.SetBorderColor(bAbout.BorderColor());
  bAbout.SetTop(bLanguage.Top());
  bAbout.SetBorderColor(bLanguage.BorderColor());
  bLanguage.SetTop(bHomepage.Top());
  bLanguage.SetBorderColor(bHomepage.BorderColor());
  builtinTexts_ = CaptureFormTexts(*this);
}

void TfrmMain::FormShow() {
  // The work of the first showing: the table is built once per run, and a
  // window shown again (after an unattended mode hid it) must not add its
  // rows twice.
  if (firstShowDone_) return;
  firstShowDone_ = true;

  IsWow64Flag = IsWow64();
  BuildHiveTable();
  for (const HiveRecord& hive : Hives) {
    // The tip names the hive whole, however narrow its column, and its file.
    const std::size_t row = lvMain.AddRow(hive.Name, {"", "", ""});
    lvMain.SetRowTip(row, hive.Name + "\r\n" + ShownPath(hive.File));
  }

  if (!IsAcceptedWindowsClass(GetWindowsClass())) {
    Tk().MessageBoxA(this, BuiltinText(kTextUnsupportedWindows), BuiltinText(kTextProductTitle), ui::kMbOk);
    return;
  }
  lvMain.SetGridLines(OptionsSetting.IsShowLine);
  MarkCurrentLanguage();
  if (!IsEnglish(OptionsSetting.Lan)) {
    TranslateForm(*this, OptionsSetting.Lan);
    AutoSizeLabels();
  }
  FitButtonWidths();

  const CommandSwitch which = RecognizeSwitch(Os().CommandLineArguments());
  if (which == CommandSwitch::Silent) {
    IsSilent = true;
    PostMessage(ui::kWmSilentDefrag, 0, 0);
  }
  if (which == CommandSwitch::Scan) {
    IsSilent = true;
    PostMessage(ui::kWmScanReport, 0, 0);
  }
}

void TfrmMain::FormClose() {
  // A worker may still be copying a hive into one of the copies deleted
  // below; it is asked to stop and given time to finish its hive.
  StopWorkers();
  WaitForWorkers(kCloseWaitMs);

  for (const HiveRecord& hive : Hives) {
    const std::string copy = hive.Copy();
    if (FileExists(copy)) Os().DeleteFileA(copy.c_str());
  }
  Hives.clear();
  // A failed save is reported and the window closes all the same: its lists
  // are already released, so it cannot stay in use.
  try {
    ReadWriteOptions(false);
  } catch (const IniWriteError& error) {
    Tk().ShowApplicationError(error.what());
  }
}

bool TfrmMain::HandleMessage(UINT msg, ui::WPARAM wParam, ui::LPARAM lParam) {
  switch (msg) {
    case ui::kWmActivateInstance:
      WMActivateInstance();
      return true;
    case ui::kWmSilentDefrag:
      WMSilentDefrag();
      return true;
    case ui::kWmScanReport:
      WMScanReport();
      return true;
    case ui::kWmSysCommand:
      // The low four bits of a system command are the system's own.
      if ((wParam & 0xFFF0) == ui::kScMinimize) {
        Tk().MinimizeApplication();
        return true;
      }
      return false;
    default:
      return ui::Form::HandleMessage(msg, wParam, lParam);
  }
}

int TfrmMain::HitTest(ui::Point windowPoint, int defaultResult) {
  if (defaultResult == ui::kHtClient && IsDragPoint(windowPoint.x, windowPoint.y)) {
    return ui::kHtCaption;
  }
  return defaultResult;
}

bool TfrmMain::IsDragPoint(int x, int y) const {
  for (const auto& component : Components()) {
    if (!IsDragBlockingKind(component->GetKind())) continue;
    const auto& control = static_cast<const ui::Control&>(*component);
    if (control.Name() == "Image1" || !control.Visible()) continue;
    const ui::Rect r = control.FormBounds();
    if (r.left <= x && x <= r.left + r.width && r.top <= y && y <= r.top + r.height) return false;
  }
  return true;
}

void TfrmMain::FitButtonWidths() {
  for (const auto& component : Components()) {
    if (component->GetKind() != ui::Kind::FlatButton) continue;
    auto& button = static_cast<ui::Control&>(*component);
    button.SetWidth(Tk().TextWidth(*this, button.Caption()) + 17);
  }
}

void TfrmMain::AutoSizeLabels() {
  for (const auto& component : Components()) {
    const ui::Kind kind = component->GetKind();
    if (kind != ui::Kind::Label && kind != ui::Kind::UrlLabel) continue;
    auto& label = static_cast<ui::Control&>(*component);
    if (label.Alignment() == ui::Align::Right) continue;
    // Measured in its own font: a bold heading measured plain would leave
    // the end of a longer translation unpainted.
    label.SetWidth(Tk().ControlTextWidth(*this, label, label.Caption()));
  }
}

void TfrmMain::bExitClick() { Close(); }

void TfrmMain::bCloseClick() { bExitClick(); }

void TfrmMain::bMinimizeClick() { PostMessage(ui::kWmSysCommand, ui::kScMinimize, 0); }

void TfrmMain::bHelpClick() { Tk().Popup(pmHelp, Tk().GetCursorPos()); }

void TfrmMain::WMActivateInstance() {
  // An unattended mode hid the window on purpose; a second start must not
  // bring it back.
  if (!IsSilent && !Visible()) Show();
  ui::Toolkit& tk = Tk();
  const HWND app = tk.ApplicationHandle();
  if (tk.IsIconic(app)) tk.ShowWindow(app, ui::kSwRestore);
  const HWND popup = tk.GetLastActivePopup(app);
  if (popup != nullptr && popup != app && tk.IsWindowVisible(popup) && tk.IsWindowEnabled(popup)) {
    tk.SetForegroundWindow(popup);
  }
}

}  // namespace hv
