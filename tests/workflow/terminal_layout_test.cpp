// Every form of the program on the terminal, in English and in every shipped
// language, at the smallest supported size, the usual one and a large one:
// each caption appears whole, no two controls share a cell, and the form
// stays inside the screen. A screen below the smallest size is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app_fixture.h"
#include "hive/progress_dialog.h"
#include "settings/about_dialog.h"
#include "settings/ask_delete_dialog.h"
#include "settings/options_dialog.h"
#include "settings/translate_form.h"
#include "ui/console/accelerators.h"
#include "ui/console/layout.h"
#include "ui/console/screen.h"
#include "workflow/system_point.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;
using ui::console::Canvas;
using ui::console::CellRect;
using ui::console::FormLayout;
using ui::console::PaintOptions;

struct Size {
  int cols;
  int rows;  // the terminal's; the forms get one row less (the status line)
};

const char* const kLanguages[] = {"English", "German", "French", "Spanish", "Italian", "BrazilianPortuguese"};
const Size kSizes[] = {{60, 18}, {80, 24}, {132, 43}};

std::string NoBlanks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ') out += c;
  }
  return out;
}

bool Meet(const CellRect& a, const CellRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool Holds(const ui::Control& group, const ui::Control& control) {
  for (const ui::Control* p = control.Parent(); p != nullptr; p = p->Parent()) {
    if (p == &group) return true;
  }
  return false;
}

class TerminalLayoutTest : public AppTest, public ::testing::WithParamInterface<std::tuple<const char*, Size>> {
 protected:
  void SetUp() override {
    const std::string language = std::get<0>(GetParam());
    if (language != "English") {
      fs::copy_file(fs::path(HIVORA_LANGUAGES_DIR) / ("DLan_" + language + ".ini"),
                    ProgramFile("DLan_" + language + ".ini"));
    }
    AddMachine();
    CreateMain();
    OptionsSetting.Lan = language;
    ShowMain();
    // Figures as wide as a large installation gives.
    main->lCurrentRegistrySize.SetCaption("1,234,567 KB");
    main->lNewRegistrySize.SetCaption("1,034,567 KB");
    main->lSizeReduction.SetCaption("200,000 KB");
    main->lCompactPercent.SetCaption("16.2%");
  }
  void TearDown() override { OptionsSetting.Lan = "English"; }

  // Lays the form out as the terminal does, paints it, and checks it.
  void Check(const ui::Form& form, bool framed) {
    const Size size = std::get<1>(GetParam());
    const std::string where = form.Name() + " in " + std::get<0>(GetParam()) + " at " + std::to_string(size.cols) +
                              "x" + std::to_string(size.rows);
    Canvas canvas(size.cols, size.rows - 1);
    PaintOptions options;
    options.framed = framed;
    options.keys = ui::console::AssignAccelerators(form, &form == main.get() ? "q" : "");
    const FormLayout layout = PaintForm(canvas, form, {0, 0, canvas.Cols(), canvas.Rows()}, options);
    const std::vector<std::string> screen = canvas.Lines(false);
    std::string shown;
    for (const auto& line : screen) shown += line + "\n";
    ASSERT_TRUE(layout.fits) << where << "\n" << shown;
    ui::console::LayoutOptions layoutOptions{1252, options.keys, framed};
    for (std::size_t i = 0; i < layout.placed.size(); ++i) {
      const auto& a = layout.placed[i];
      const std::string name = a.control->Name() + " (" + where + ")";
      EXPECT_GE(a.cell.x, 0) << name;
      EXPECT_GE(a.cell.y, 0) << name;
      EXPECT_LE(a.cell.x + a.cell.width, canvas.Cols()) << name;
      EXPECT_LE(a.cell.y + a.cell.height, canvas.Rows()) << name;
      const ui::Kind kind = a.control->GetKind();
      const std::string caption = ui::console::DrawnCaption(*a.control, layoutOptions);
      if (kind == ui::Kind::Label || kind == ui::Kind::UrlLabel || kind == ui::Kind::CheckBox) {
        std::string joined;
        for (const auto& line : a.lines) joined += line;
        EXPECT_EQ(NoBlanks(joined), NoBlanks(caption)) << name;
        // And the screen shows it there.
        for (std::size_t l = 0; l < a.lines.size(); ++l) {
          const std::string& row = screen[static_cast<std::size_t>(a.cell.y) + l];
          const std::string& line = a.lines[l];
          const std::size_t first = line.find_first_not_of(' ');
          if (first == std::string::npos) continue;
          EXPECT_NE(row.find(line.substr(first, 3)), std::string::npos) << name << ": " << row;
        }
      }
      if (kind == ui::Kind::Button || kind == ui::Kind::SkinButton || kind == ui::Kind::FlatButton) {
        EXPECT_NE(screen[static_cast<std::size_t>(a.cell.y)].find(caption), std::string::npos)
            << name << ": " << screen[static_cast<std::size_t>(a.cell.y)];
      }
      for (std::size_t j = i + 1; j < layout.placed.size(); ++j) {
        const auto& b = layout.placed[j];
        if (Holds(*a.control, *b.control) || Holds(*b.control, *a.control)) {
          // Inside a frame, a blank cell on either side.
          const auto& [group, inner] = Holds(*a.control, *b.control) ? std::tie(a, b) : std::tie(b, a);
          if (inner.control->GetKind() == ui::Kind::Label || inner.control->GetKind() == ui::Kind::CheckBox) {
            EXPECT_GE(inner.cell.x, group.cell.x + 2) << inner.control->Name() << " (" << where << ")";
            EXPECT_LE(inner.cell.x + inner.cell.width, group.cell.x + group.cell.width - 2)
                << inner.control->Name() << " (" << where << ")";
          }
          continue;
        }
        EXPECT_FALSE(Meet(a.cell, b.cell)) << name << " and " << b.control->Name();
      }
      if (framed && a.control->Parent() == nullptr && kind != ui::Kind::Panel && kind != ui::Kind::GroupBox) {
        EXPECT_GE(a.cell.x, layout.box.x + 2) << name;
        EXPECT_LE(a.cell.x + a.cell.width, layout.box.x + layout.box.width - 2) << name;
      }
    }
    if (framed) ExpectButtonRowsCentred(layout, where);
  }

  // A row of buttons alone is centred in its frame: the room left of the
  // first and right of the last differ by a cell at most.
  static void ExpectButtonRowsCentred(const FormLayout& layout, const std::string& where) {
    std::map<std::pair<const ui::Control*, int>, std::vector<CellRect>> rows;
    for (const auto& p : layout.placed) {
      const ui::Kind kind = p.control->GetKind();
      if (kind == ui::Kind::Button || kind == ui::Kind::SkinButton) rows[{p.control->Parent(), p.cell.y}].push_back(p.cell);
    }
    for (const auto& [key, cells] : rows) {
      const auto& [parent, y] = key;
      bool alone = true;
      int from = layout.client.x;
      int to = layout.client.x + layout.client.width;
      for (const auto& p : layout.placed) {
        const ui::Kind kind = p.control->GetKind();
        if (p.control == parent) {
          from = p.cell.x + 1;
          to = p.cell.x + p.cell.width - 1;
        }
        if (kind == ui::Kind::Button || kind == ui::Kind::SkinButton || kind == ui::Kind::GroupBox) continue;
        if (p.control->Parent() == parent && p.cell.y <= y && y < p.cell.y + p.cell.height) alone = false;
      }
      if (!alone) continue;
      int left = 1 << 20;
      int right = 0;
      for (const CellRect& c : cells) {
        left = std::min(left, c.x);
        right = std::max(right, c.x + c.width);
      }
      EXPECT_LE(std::abs((left - from) - (to - right)), 1) << "buttons at row " << y << " (" << where << ")";
    }
  }

  template <typename Dialog>
  void CheckDialog(Dialog& dialog) {
    if (!OptionsSetting.Lan.empty() && std::get<0>(GetParam()) != std::string("English")) {
      TranslateForm(dialog, OptionsSetting.Lan);
    }
    Check(dialog, true);
  }
};

using TerminalMainWindowTest = TerminalLayoutTest;
TEST_P(TerminalMainWindowTest, ShowsEveryCaptionWholeAndNoControlOverAnother) { Check(*main, false); }

TEST_P(TerminalLayoutTest, EveryDialogShowsEveryCaptionWholeAndNoControlOverAnother) {
  TfrmOptions options(tk, main.get());
  CheckDialog(options);
  TfrmAskDelete ask(tk, main.get());
  CheckDialog(ask);
  TfrmAbout about(tk, main.get());
  about.FormShow();
  Check(about, true);
  TfrmSystemPoint point(tk, main.get());
  CheckDialog(point);
  TfrmGetNewHiveProgess progress(*main, *main, *main);
  progress.Memo1.SetCaption("\\REGISTRY\\USER\\S-1-5-21-1111111111-2222222222-3333333333-1001_Classes");
  CheckDialog(progress);
}

INSTANTIATE_TEST_SUITE_P(LanguagesAndSizes, TerminalLayoutTest,
                         ::testing::Combine(::testing::ValuesIn(kLanguages), ::testing::ValuesIn(kSizes)),
                         [](const auto& info) {
                           const Size size = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param)) + "_" + std::to_string(size.cols) + "x" +
                                  std::to_string(size.rows);
                         });

INSTANTIATE_TEST_SUITE_P(LanguagesAndSizes, TerminalMainWindowTest,
                         ::testing::Combine(::testing::ValuesIn(kLanguages), ::testing::ValuesIn(kSizes)),
                         [](const auto& info) {
                           const Size size = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param)) + "_" + std::to_string(size.cols) + "x" +
                                  std::to_string(size.rows);
                         });

TEST_F(AppTest, TheMainWindowUsesAWiderTerminalForItsListAndABelowMinimumOneIsRefused) {
  AddMachine();
  ShowMain();
  ui::console::LayoutOptions options;
  const FormLayout usual = ui::console::LayoutForm(*main, {0, 0, 80, 23}, options);
  const FormLayout wide = ui::console::LayoutForm(*main, {0, 0, 132, 42}, options);
  ASSERT_TRUE(usual.fits);
  ASSERT_TRUE(wide.fits);
  const CellRect list = usual.Find(main->lvMain)->cell;
  const CellRect wideList = wide.Find(main->lvMain)->cell;
  EXPECT_GT(wideList.width - list.width, 30);
  EXPECT_GE(wideList.x + wideList.width, 132 - 4);
  EXPECT_GT(wideList.height - list.height, 15);
  // The close box stays at the right edge.
  EXPECT_GE(wide.Find(main->bClose)->cell.x + 3, 132 - 8);
  EXPECT_FALSE(ui::console::LayoutForm(*main, {0, 0, 40, 12}, options).fits);
}

// A screen too low for both the list and the static step hint gives the
// hint's rows to the list; with room for both, or a short list, the hint
// stays.
TEST_F(AppTest, OnALowScreenTheStepHintGivesItsRowsToAListThatNeedsThem) {
  AddMachine();
  ShowMain();
  auto fill = [&](int count) {
    main->lvMain.ClearRows();
    for (int i = 0; i < count; ++i) {
      main->lvMain.AddRow("\\REGISTRY\\MACHINE\\H" + std::to_string(i), {"", "", ""});
    }
  };
  ui::console::LayoutOptions options;
  const std::vector<const ui::Control*> hint = {&main->Label6, &main->Label1, &main->Label2, &main->Label3};
  const std::vector<const ui::Control*> figures = {&main->lLastWashed, &main->lCompactPercent1,
                                                   &main->lCurrentRegistrySize, &main->lCompactPercent};

  fill(7);
  const FormLayout small = ui::console::LayoutForm(*main, {0, 0, 60, 17}, options);
  ASSERT_TRUE(small.fits);
  EXPECT_GE(small.Find(main->lvMain)->cell.height, 7 + 1);  // the header and every row
  for (const ui::Control* control : hint) EXPECT_EQ(small.Find(*control), nullptr) << control->Name();
  for (const ui::Control* control : figures) EXPECT_NE(small.Find(*control), nullptr) << control->Name();

  const FormLayout usual = ui::console::LayoutForm(*main, {0, 0, 80, 23}, options);
  ASSERT_TRUE(usual.fits);
  EXPECT_GE(usual.Find(main->lvMain)->cell.height, 7 + 1);
  for (const ui::Control* control : hint) EXPECT_NE(usual.Find(*control), nullptr) << control->Name();

  fill(2);
  const FormLayout few = ui::console::LayoutForm(*main, {0, 0, 60, 17}, options);
  ASSERT_TRUE(few.fits);
  for (const ui::Control* control : hint) EXPECT_NE(few.Find(*control), nullptr) << control->Name();
}

}  // namespace
}  // namespace hv::test
