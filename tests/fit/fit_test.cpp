// Every text of every form fits, in English and in every shipped language,
// measured with Windows' metrics of the forms' font (a width table of the
// bitmap "MS Sans Serif"; bold measured bold): captions, labels, check
// boxes, buttons, column headers and dialog titles. A text must stay inside
// its own control where that clips it, inside its parent and the window,
// and clear of every other control, with a few pixels to spare for the
// difference between Wine's font and Windows'. Each translated menu keeps
// its keyboard letters unique.
//
// HIVORA_FIT_REPORT=1 prints the tightest margins of each form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fit/font_widths.h"
#include "hive/progress_dialog.h"
#include "resources/builtin_texts.h"
#include "settings/about_dialog.h"
#include "settings/ask_delete_dialog.h"
#include "settings/options.h"
#include "settings/options_dialog.h"
#include "settings/translate_form.h"
#include "shell/main_form.h"
#include "support/console_test.h"
#include "support/fake_platform.h"
#include "ui/console/console_toolkit.h"
#include "workflow/system_point.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

// Pixels every text keeps free: Wine's bitmap font and Windows' differ by
// about this much on a line.
constexpr int kSpare = 3;
// A check box's box and the gap before its caption.
constexpr int kCheckBoxLead = 13 + 5;
// A push button's frame and focus mark on each side.
constexpr int kButtonPadding = 4;
// A flat button's width beyond its caption (the main window's rule).
constexpr int kFlatButtonExtra = 17;
// A list header's text margins (3 edge widths each side).
constexpr int kHeaderPadding = 12;
// A dialog title bar: the close box and the frame beside the title.
constexpr int kTitleBarReserve = 30;

const char* const kLanguages[] = {"English", "German", "French", "Spanish", "Italian", "BrazilianPortuguese"};

const FontWidths& Widths() {
  static const FontWidths widths(HIVORA_FIT_DIR "/ms_sans_serif_widths.txt");
  return widths;
}

struct Margin {
  std::string where;  // form.control (what)
  int spare;          // pixels left over; negative: overflow
};

bool RowsMeet(const ui::Rect& a, const ui::Rect& b) { return a.top < b.top + b.height && b.top < a.top + a.height; }

class FormFit {
 public:
  explicit FormFit(const ui::Form& form) : form_(form) {}

  std::vector<Margin> Check() {
    Place();
    std::vector<Margin> margins;
    for (const Placed& p : placed_) {
      if (!p.text) continue;
      const std::string where = form_.Name() + "." + p.control->Name();
      // Inside its own control where the control clips its text.
      if (p.ownRoom >= 0) margins.push_back({where + " (own width)", p.ownRoom - p.need});
      // Inside the window and its parent.
      const ui::Rect client{0, 0, form_.ClientWidth(), form_.ClientHeight()};
      int spare = client.width - (p.extent.left + p.extent.width);
      for (const ui::Control* parent = p.control->Parent(); parent != nullptr; parent = parent->Parent()) {
        const ui::Rect b = parent->FormBounds();
        spare = std::min(spare, b.left + b.width - 2 - (p.extent.left + p.extent.width));
      }
      // Clear of every other control on its rows, to its right.
      for (const Placed& other : placed_) {
        if (&other == &p || IsAncestor(other.control, p.control) || IsBackground(other) ||
            !RowsMeet(p.extent, other.extent)) {
          continue;
        }
        if (other.extent.left + other.extent.width <= p.extent.left) continue;  // wholly to its left
        // A text that starts further left answers for running into this one.
        if (other.extent.left < p.extent.left && other.text) continue;
        if (other.extent.left < p.extent.left) {
          // It starts inside something that is not text: only a container
          // may hold it, and containers are parents.
          spare = std::min(spare, -1);
          continue;
        }
        spare = std::min(spare, other.extent.left - (p.extent.left + p.extent.width));
      }
      margins.push_back({where, spare});
    }
    for (const auto& column : columns_) margins.push_back(column);
    if (form_.Border() != ui::BorderStyle::None) {
      margins.push_back({form_.Name() + " (title)",
                         form_.ClientWidth() - kTitleBarReserve - Widths().Width(form_.Caption(), -11, true)});
    }
    return margins;
  }

 private:
  struct Placed {
    const ui::Control* control;
    ui::Rect extent;   // where it draws, in form coordinates
    bool text;         // a text that must fit
    int need = 0;      // its text's width
    int ownRoom = -1;  // room inside its own control when that clips; -1: no clip
  };

  static bool IsAncestor(const ui::Control* ancestor, const ui::Control* of) {
    for (const ui::Control* c = of->Parent(); c != nullptr; c = c->Parent()) {
      if (c == ancestor) return true;
    }
    return false;
  }
  bool IsBackground(const Placed& p) const {
    return p.control->GetKind() == ui::Kind::Image && p.extent.width >= form_.ClientWidth() &&
           p.extent.height >= form_.ClientHeight();
  }

  int Need(const ui::Control& c) const {
    const int height = c.FontHeight() != 0 ? c.FontHeight() : form_.Font().height;
    return Widths().Width(c.Caption(), height, c.Bold() || form_.Font().bold);
  }

  void Place() {
    for (const auto& component : form_.Components()) {
      switch (component->GetKind()) {
        case ui::Kind::Timer:
        case ui::Kind::PopupMenu:
        case ui::Kind::MenuItem:
          continue;
        default:
          break;
      }
      const auto& c = static_cast<const ui::Control&>(*component);
      if (!c.Showing()) continue;
      const ui::Rect b = c.FormBounds();
      Placed p{&c, b, false};
      switch (c.GetKind()) {
        case ui::Kind::Label:
        case ui::Kind::UrlLabel:
          if (c.Caption().empty()) continue;
          p.text = true;
          p.need = Need(c);
          p.extent = {c.Alignment() == ui::Align::Right ? b.left + b.width - p.need : b.left, b.top, p.need,
                      b.height};
          break;
        case ui::Kind::FlatButton:
          p.text = true;
          p.need = Need(c);
          p.extent = {b.left, b.top, p.need + kFlatButtonExtra, b.height};
          break;
        case ui::Kind::CheckBox:
          p.text = true;
          p.need = Need(c);
          p.ownRoom = b.width - kCheckBoxLead;
          break;
        case ui::Kind::Button:
        case ui::Kind::SkinButton:
          p.text = true;
          p.need = Need(c);
          p.ownRoom = b.width - 2 * kButtonPadding;
          break;
        case ui::Kind::GroupBox:
        case ui::Kind::SkinGroupBox:
          // A container: what it holds is checked against it as a parent;
          // its own caption, if any, sits on its top edge.
          if (!c.Caption().empty()) {
            columns_.push_back({form_.Name() + "." + c.Name() + " (caption)", b.width - 16 - Need(c)});
          }
          continue;
        case ui::Kind::ListView: {
          const auto& list = static_cast<const ui::ListView&>(c);
          for (std::size_t i = 0; i < list.Columns().size(); ++i) {
            const auto& column = list.Columns()[i];
            columns_.push_back({form_.Name() + "." + c.Name() + "_Column" + std::to_string(i),
                                column.width - kHeaderPadding - Widths().Width(column.caption)});
          }
          break;
        }
        default:
          break;
      }
      placed_.push_back(p);
    }
  }

  const ui::Form& form_;
  std::vector<Placed> placed_;
  std::vector<Margin> columns_;
};

// The forms, built and translated as they are shown.
class Forms {
 public:
  explicit Forms(const std::string& language) : scoped_(&fake_), tk_(TestToolkitOptions()) {
    OptionsSetting = {};
    OptionsSetting.Lan = language;
    if (language != "English") {
      fs::copy_file(fs::path(HIVORA_LANGUAGES_DIR) / ("DLan_" + language + ".ini"),
                    fake_.ProgramFolder() + "DLan_" + language + ".ini");
    }
    main_ = std::make_unique<TfrmMain>(tk_, kInstanceName);
    OptionsSetting.Lan = language;  // the main window read the (missing) settings file
    // The widest figures a registry shows: sizes to a gigabyte, a percentage.
    main_->lCurrentRegistrySize.SetCaption("999,999 KB");
    main_->lNewRegistrySize.SetCaption("999,999 KB");
    main_->lSizeReduction.SetCaption("999,999 KB");
    main_->lCompactPercent.SetCaption("99.99%");
    forms_.push_back(main_.get());
    forms_.push_back(&Own<TfrmOptions>(tk_, main_.get()));
    forms_.push_back(&Own<TfrmAskDelete>(tk_, main_.get()));
    forms_.push_back(&Own<TfrmAbout>(tk_, main_.get()));
    forms_.push_back(&Own<TfrmGetNewHiveProgess>(*main_, *main_, *main_));
    forms_.push_back(&Own<TfrmSystemPoint>(tk_, main_.get()));
    // Each dialog's own showing translates it and fits it to its texts; the
    // restore point's would start its worker, and the main window's needs a
    // machine, so those two are translated as their showing does it.
    for (ui::Form* form : forms_) {
      if (form == main_.get() || form->Name() == "frmSystemPoint") {
        if (language != "English") TranslateForm(*form, language);
      } else {
        form->FormShow();
      }
    }
  }
  ~Forms() {
    owned_.clear();
    main_.reset();
    OptionsSetting = {};
  }
  const std::vector<ui::Form*>& All() const { return forms_; }
  TfrmMain& Main() { return *main_; }

 private:
  template <typename T, typename... Args>
  T& Own(Args&&... args) {
    auto form = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *form;
    owned_.push_back(std::move(form));
    return ref;
  }

  FakePlatform fake_;
  ScopedPlatform scoped_;
  ui::console::ConsoleToolkit tk_;
  std::unique_ptr<TfrmMain> main_;
  std::vector<std::unique_ptr<ui::Form>> owned_;
  std::vector<ui::Form*> forms_;
};

class EveryTextFits : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryTextFits, OnEveryForm) {
  Forms forms(GetParam());
  const bool report = std::getenv("HIVORA_FIT_REPORT") != nullptr;
  for (ui::Form* form : forms.All()) {
    std::vector<Margin> margins = FormFit(*form).Check();
    std::sort(margins.begin(), margins.end(), [](const Margin& a, const Margin& b) { return a.spare < b.spare; });
    for (const Margin& m : margins) {
      EXPECT_GE(m.spare, kSpare) << GetParam() << ": " << m.where << " overflows: " << m.spare << " px to spare";
    }
    if (report && !margins.empty()) {
      std::cout << GetParam() << " " << form->Name() << ": tightest";
      for (std::size_t i = 0; i < std::min<std::size_t>(3, margins.size()); ++i) {
        std::cout << " " << margins[i].where << " " << margins[i].spare << " px;";
      }
      std::cout << "\n";
    }
  }
}

char Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  // Windows-1252 capitals (A-Z, and 0xC0-0xDE but 0xD7) fold to small ones.
  if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return static_cast<char>(u + 32);
  return c;
}

// The letter after each item's "&", folded; 0 when none.
char Letter(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return Lower(caption[i + 1]);
  }
  return 0;
}

// Every menu gives each letter once. The language menu names more languages
// than some languages' names have letters (Italian's 23 names use 18): there
// an item may share its letter only when every letter of its name is
// another item's.
TEST_P(EveryTextFits, MenusKeepTheirLettersUnique) {
  if (std::string(GetParam()) == "English") GTEST_SKIP() << "the built-in menus are as designed";
  Forms forms(GetParam());
  for (const ui::PopupMenu* menu : {&forms.Main().pmHelp, &forms.Main().pmLanguage}) {
    std::map<char, int> uses;
    for (const ui::MenuItem* item : menu->Items()) {
      if (const char letter = Letter(item->Caption())) ++uses[letter];
    }
    for (const ui::MenuItem* item : menu->Items()) {
      const char letter = Letter(item->Caption());
      if (letter == 0 || uses[letter] == 1) continue;
      bool free = false;
      for (char c : item->Caption()) {
        const char folded = Lower(c);
        const auto u = static_cast<unsigned char>(folded);
        if (std::isalpha(u) == 0 && u < 0xC0) continue;
        free = free || uses.count(folded) == 0;
      }
      EXPECT_FALSE(free && menu == &forms.Main().pmLanguage)
          << GetParam() << ": " << item->Caption() << " shares '" << letter << "' but has a free letter";
      EXPECT_NE(menu, &forms.Main().pmHelp) << GetParam() << ": " << item->Caption() << " shares '" << letter << "'";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, EveryTextFits, ::testing::ValuesIn(kLanguages));

TEST(FontWidthsTable, MeasuresBoldWiderAndIgnoresMarkers) {
  EXPECT_EQ(Widths().Width("&OK"), Widths().Width("OK"));
  EXPECT_EQ(Widths().Width("&&"), Widths().Width("&") );
  EXPECT_GT(Widths().Width("Hauptmen\xFC", -11, true), Widths().Width("Hauptmen\xFC"));
  EXPECT_GT(Widths().Width("Talvix Hivora 2.3", -13, true), Widths().Width("Talvix Hivora 2.3", -11, true));
}

}  // namespace
}  // namespace hv::test
