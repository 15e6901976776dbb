#include "ui/console/screen.h"

#include <gtest/gtest.h>

#include "ui/console/accelerators.h"
#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

std::string Row(const Canvas& canvas, int y) { return canvas.Lines(false)[static_cast<std::size_t>(y)]; }

int RowWith(const Canvas& canvas, const std::string& text) {
  for (int y = 0; y < canvas.Rows(); ++y) {
    if (Row(canvas, y).find(text) != std::string::npos) return y;
  }
  return -1;
}

bool Shows(const Canvas& canvas, const std::string& text) {
  for (const auto& line : canvas.Lines(false)) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class ScreenTest : public ::testing::Test {
 protected:
  ScreenTest() : tk(Options()), form(tk) {}
  static ConsoleOptions Options() {
    ConsoleOptions options;
    options.singleInstance = false;
    return options;
  }
  ConsoleToolkit tk;
  testing::TestMainForm form;
};

TEST_F(ScreenTest, HiddenControlsAreNotDrawnAndAControlBeyondTheDesignStillIs) {
  form.bHidden.SetBounds({13, 300, 60, 20});
  form.bOpen.SetBounds({5000, 5000, 60, 20});
  Canvas canvas(80, 23);
  const FormLayout layout = PaintForm(canvas, form, {0, 0, 80, 23}, {});
  EXPECT_FALSE(Shows(canvas, "Hidden"));
  // Nothing is dropped: a control placed off the design is drawn at the edge.
  EXPECT_TRUE(layout.fits);
  EXPECT_TRUE(Shows(canvas, "Open Dialog"));
}

TEST_F(ScreenTest, TheListShowsItsColumnsRowsAndGridLinesWithNumbersRightAligned) {
  form.lvList.SetGridLines(true);
  form.lvList.AddRow("\\REGISTRY\\MACHINE\\SYSTEM", {"10,240 KB", "8,192 KB", "2,048 KB"});
  Canvas canvas(80, 23);
  PaintForm(canvas, form, {0, 0, 80, 23}, {});
  const int header = RowWith(canvas, "Hive Name");
  ASSERT_GE(header, 0);
  EXPECT_NE(Row(canvas, header).find("Hive Name"), std::string::npos);
  EXPECT_NE(Row(canvas, header).find("|Current Size|New Size|Reduction"), std::string::npos) << Row(canvas, header);
  EXPECT_NE(Row(canvas, header + 1).find("|   10,240 KB|8,192 KB| 2,048 KB"), std::string::npos)
      << Row(canvas, header + 1);
}

TEST_F(ScreenTest, ButtonsShowTheirKeysAndTheBarItsPercentage) {
  testing::TestDialog dialog(tk, &form);
  dialog.pbProgress.SetPosition(455);
  Canvas canvas(80, 23);
  PaintOptions options;
  options.framed = true;
  options.keys = AssignAccelerators(dialog, "");
  const CellRect area = PaintForm(canvas, dialog, {0, 0, 80, 23}, options).box;
  EXPECT_EQ(Row(canvas, area.y).substr(0, static_cast<std::size_t>(area.x)), std::string(static_cast<std::size_t>(area.x), ' '));
  EXPECT_NE(Row(canvas, area.y).find("\u250c\u2500 Working \u2500"), std::string::npos);
  EXPECT_TRUE(Shows(canvas, "45%"));
  EXPECT_TRUE(Shows(canvas, "[O]K"));
  EXPECT_TRUE(Shows(canvas, "[S]top"));
  EXPECT_TRUE(Shows(canvas, "Registry Key"));
}

TEST_F(ScreenTest, ARightAlignedValueMovesRightRatherThanCoverTheCaptionBeforeIt) {
  auto& caption = form.Add<Control>(Kind::Label, "lCaption");
  caption.SetBounds({116, 312, 100, 13});
  caption.SetCaption("Current Registry Size:");
  auto& value = form.Add<Control>(Kind::Label, "lValue");
  value.SetBounds({222, 312, 70, 13});
  value.SetAlignment(Align::Right);
  value.SetCaption("123,456 KB");
  Canvas canvas(80, 23);
  PaintForm(canvas, form, {0, 0, 80, 23}, {});
  EXPECT_TRUE(Shows(canvas, "Current Registry Size: 123,456 KB"));
}

TEST_F(ScreenTest, ControlsInAGroupBoxStayInsideItsFrame) {
  Canvas canvas(80, 23);
  PaintForm(canvas, form, {0, 0, 80, 23}, {});
  const int top = RowWith(canvas, "\u250c");
  ASSERT_GE(top, 0);
  EXPECT_NE(Row(canvas, top).find("\u250c"), std::string::npos);
  EXPECT_NE(Row(canvas, top + 1).find("Inner"), std::string::npos);
}

TEST(WrapText, BreaksAtLineEndsAndSpacesThatFit) {
  EXPECT_EQ(WrapText("one two three", 8), (std::vector<std::string>{"one two ", "three"}));
  EXPECT_EQ(WrapText("a\r\nb\nc", 5), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(WrapText("abcdefgh", 3), (std::vector<std::string>{"abc", "def", "gh"}));
  // A path without spaces breaks after a separator, its names whole.
  EXPECT_EQ(WrapText("C:\\Windows\\System32", 12), (std::vector<std::string>{"C:\\Windows\\", "System32"}));
  EXPECT_EQ(WrapText("/mnt/win/Windows", 10), (std::vector<std::string>{"/mnt/win/", "Windows"}));
  EXPECT_EQ(WrapText("", 3), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace hv::ui::console
