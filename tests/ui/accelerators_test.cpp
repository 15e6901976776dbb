#include "ui/console/accelerators.h"

#include <gtest/gtest.h>

#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

TEST(Accelerators, UnusableAndCaptionlessControlsGetNoKeyAndReservedLettersAreNeverGiven) {
  ConsoleOptions options;
  options.singleInstance = false;
  ConsoleToolkit tk(options);
  testing::TestMainForm form(tk);
  form.bThrow.SetCaption("Quit");
  auto& picture = form.Add<Control>(Kind::ImageButton, "bMinimize");
  const auto keys = AssignAccelerators(form, "q");
  EXPECT_EQ(keys.count(&form.bHidden), 0u);
  EXPECT_EQ(keys.count(&form.bDisabled), 0u);
  EXPECT_EQ(keys.count(&picture), 0u);
  EXPECT_EQ(keys.count(&form.lTitle), 0u) << "a label without a click handler is not pressed";
  EXPECT_EQ(keys.at(&form.bThrow), 'u');
  // Still reachable with Tab.
  const auto controls = PressableControls(form);
  EXPECT_NE(std::find(controls.begin(), controls.end(), &picture), controls.end());
}

TEST(Accelerators, MarkedLettersWinThenTheFirstFreeLetterOfEachCaption) {
  ConsoleOptions options;
  options.singleInstance = false;
  ConsoleToolkit tk(options);
  testing::TestMainForm form(tk);
  form.bOpen.SetCaption("Exit");
  form.bInner.SetCaption("E&nter");
  form.bThrow.SetCaption("Edit");
  form.cbFlag.SetCaption("Ask && tell");
  const auto keys = AssignAccelerators(form, "");
  EXPECT_EQ(keys.at(&form.bInner), 'n');
  EXPECT_EQ(keys.at(&form.bOpen), 'e');
  EXPECT_EQ(keys.at(&form.bThrow), 'd');
  EXPECT_EQ(keys.at(&form.cbFlag), 'a');
  EXPECT_EQ(CaptionWithKey("Exit", 'e'), "[E]xit");
  EXPECT_EQ(CaptionWithKey("Edit", 'd'), "E[d]it");
  EXPECT_EQ(CaptionWithKey("E&nter", 'n'), "E[n]ter");
  EXPECT_EQ(CaptionWithKey("Ask && tell", 'a'), "[A]sk & tell");
  EXPECT_EQ(CaptionWithKey("&About...", 0), "About...");
}

}  // namespace
}  // namespace hv::ui::console
