#include "ui/component.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui {
namespace {

console::ConsoleOptions Options() {
  console::ConsoleOptions options;
  options.singleInstance = false;
  return options;
}

TEST(ProgressBar, PercentTextTruncatesAndShowsPositionsBeyondTheRange) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  testing::TestDialog dialog(tk, &main);
  ProgressBar& bar = dialog.pbProgress;
  bar.SetRange(0, 0);
  EXPECT_EQ(bar.PercentText(), "0%");
  bar.SetRange(0, 1000);
  bar.SetPosition(999);
  EXPECT_EQ(bar.PercentText(), "99%");
  bar.SetPosition(1000);
  EXPECT_EQ(bar.PercentText(), "100%");
  bar.SetPosition(1500);
  EXPECT_EQ(bar.PercentText(), "150%");
}

TEST(Control, AHandlerCanTakeBackTheModalResultItsButtonGave) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  testing::TestDialog dialog(tk, &main);
  dialog.bOk.OnClick = [&] { dialog.SetModalResult(kMrNone); };
  dialog.bOk.Click();
  EXPECT_EQ(dialog.ModalResult(), kMrNone);
  dialog.bOk.OnClick = nullptr;
  dialog.bOk.Click();
  EXPECT_EQ(dialog.ModalResult(), kMrOk);
}

TEST(Control, ACheckBoxTogglesBeforeItsHandlerRuns) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  bool seen = false;
  main.cbFlag.OnClick = [&] { seen = main.cbFlag.Checked(); };
  main.cbFlag.Click();
  EXPECT_TRUE(seen);
}

TEST(Control, PositionsAndUsabilityFollowTheParentChain) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  EXPECT_EQ(main.bInner.FormBounds(), (Rect{12, 204, 60, 20}));
  EXPECT_TRUE(main.bInner.Usable());
  main.gbGroup.SetEnabled(false);
  EXPECT_FALSE(main.bInner.Usable());
  EXPECT_TRUE(main.bInner.Enabled());
}

TEST(ListView, SubItemsGrowOnDemandAndRowsOutOfRangeAreIgnored) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  main.lvList.AddRow("a", {});
  main.lvList.SetSubItem(0, 2, "x");
  main.lvList.SetSubItem(5, 0, "y");
  EXPECT_EQ(main.lvList.Rows()[0].subItems, (std::vector<std::string>{"", "", "x"}));
  EXPECT_EQ(main.lvList.Rows().size(), 1u);
}

TEST(Form, CloseRunsFormCloseOnceAndKeepsAResultAlreadySet) {
  console::ConsoleToolkit tk(Options());
  testing::TestMainForm main(tk);
  testing::TestDialog dialog(tk, &main);
  dialog.SetModalResult(kMrYes);
  dialog.Close();
  dialog.Close();
  EXPECT_EQ(dialog.ModalResult(), kMrYes);
  EXPECT_EQ(std::count(dialog.log.begin(), dialog.log.end(), "close"), 1);
  testing::TestDialog other(tk, &main);
  other.Close();
  EXPECT_EQ(other.ModalResult(), kMrCancel);
  EXPECT_EQ(main.FindComponent("lvList"), &main.lvList);
  EXPECT_EQ(main.FindComponent("lvlist"), nullptr);
}

}  // namespace
}  // namespace hv::ui
