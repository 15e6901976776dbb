#include "settings/about_dialog.h"

#include <regex>
#include <string>

#include "settings/web_page_notice.h"
#include "resources/builtin_texts.h"
#include "settings/language.h"
#include "settings/options.h"
#include "settings/translate_form.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

namespace hv {
namespace {

constexpr const char* kYears = "2014-2026";
constexpr const char* kBuild = "20140925";
constexpr const char* kSupportEmail = "support@talvixsoftware.com";
constexpr int kLabelHeight = 13;

}  // namespace

TfrmAbout::TfrmAbout(ui::Toolkit& toolkit, ui::Form* owner)
    : ui::Form(toolkit, "frmAbout", owner),
      Image2(Add<ui::Control>(ui::Kind::Image, "Image2")),
      Image1(Add<ui::Control>(ui::Kind::Image, "Image1")),
      Label1(Add<ui::Control>(ui::Kind::Label, "Label1")),
      Label2(Add<ui::Control>(ui::Kind::Label, "Label2")),
      lCopywrite(Add<ui::Control>(ui::Kind::Label, "lCopywrite")),
      Label3(Add<ui::Control>(ui::Kind::Label, "Label3")),
      Panel2(Add<ui::Control>(ui::Kind::Panel, "Panel2")),
      lbEAddress(Add<ui::Control>(ui::Kind::Label, "lbEAddress")),
      bOK(Add<ui::Control>(ui::Kind::SkinButton, "bOK")) {
  SetCaption("About Talvix Hivora");
  SetClientSize(360, 249);
  SetBorder(ui::BorderStyle::Dialog);
  SetPosition(ui::FormPosition::OwnerCenter);

  Image2.SetBounds({0, 0, 360, 50});
  Image1.SetBounds({20, 61, 32, 32});

  Label1.SetBounds({80, 62, 0, kLabelHeight});
  Label2.SetBounds({80, 84, 0, kLabelHeight});
  Label2.SetCaption(std::string("Version: ") + BuiltinText(kTextVersion) + "   Build " + kBuild);
  lCopywrite.SetBounds({80, 129, 0, kLabelHeight});
  lCopywrite.SetCaption(std::string("\xA9 ") + kYears + " Talvix Software. All rights reserved.");
  Label3.SetBounds({80, 152, 0, kLabelHeight});
  Label3.SetCaption(std::string("Email: ") + kSupportEmail);

  Panel2.SetBounds({80, 176, 262, 2});
  Panel2.SetTabOrder(0);

  lbEAddress.SetBounds({80, 186, 0, kLabelHeight});
  lbEAddress.SetCaption(BuiltinText(kTextHomePageUrl));
  lbEAddress.SetHandCursor(true);
  lbEAddress.OnClick = [this] { lbEAddressClick(); };

  bOK.SetBounds({256, 211, 80, 27});
  bOK.SetCaption("&OK");
  bOK.SetStyle("WinXP");
  bOK.SetModalResult(ui::kMrOk);
  bOK.SetTabOrder(1);
  bOK.SetDefault(true);
}

void TfrmAbout::FormShow() {
  Label1.SetCaption(BuiltinText(kTextProductTitle));
  if (!IsEnglish(OptionsSetting.Lan)) {
    TranslateForm(*this, OptionsSetting.Lan);
    TakeBuiltinFacts();
  }
  // The labels fit their texts as finally shown, translated ones included.
  for (ui::Control* label : {&Label1, &Label2, &lCopywrite, &Label3, &lbEAddress}) {
    label->SetWidth(Tk().TextWidth(*this, label->Caption()));
  }
}

void TfrmAbout::TakeBuiltinFacts() {
  auto replace = [](ui::Control& label, const char* pattern, const std::string& fact) {
    label.SetCaption(std::regex_replace(label.Caption(), std::regex(pattern), fact,
                                        std::regex_constants::format_first_only));
  };
  replace(Label2, R"(\b\d+(\.\d+)+\b)", BuiltinText(kTextVersion));
  replace(Label2, R"(\b\d{8}\b)", kBuild);
  replace(lCopywrite, R"(\b\d{4}-\d{4}\b)", kYears);
  replace(Label3, R"([^\s:]+@[^\s]+)", kSupportEmail);
  lbEAddress.SetCaption(BuiltinText(kTextHomePageUrl));
}

void TfrmAbout::lbEAddressClick() { OpenWebPageOrSay(*this, BuiltinText(kTextHomePageUrl)); }

}  // namespace hv
