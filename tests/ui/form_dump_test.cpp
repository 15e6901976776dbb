#include "ui/console/form_dump.h"

#include <gtest/gtest.h>

#include "ui/console/ansi_text.h"
#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

TEST(Quote, EscapesBackslashQuoteAndLineBreaksOnly) {
  EXPECT_EQ(Quote(""), "\"\"");
  EXPECT_EQ(Quote("a\\b\"c\r\nd\te"), "\"a\\\\b\\\"c\\r\\nd\te\"");
}

TEST(AnsiToUtf8, ConvertsWindows1252IncludingItsC1RangeAndUndefinedBytes) {
  EXPECT_EQ(AnsiToUtf8("\x80 \x9f \xe9 \x81", kCodePage1252), "\xE2\x82\xAC \xC5\xB8 \xC3\xA9 \xC2\x81");
  EXPECT_EQ(AnsiToUtf8("\x80", kCodePageLatin1), "\xC2\x80");
  EXPECT_EQ(AnsiToUtf8("\xC3\xA9", kCodePageUtf8), "\xC3\xA9");
  EXPECT_EQ(Utf8Length("\xE2\x82\xAC" "a\xC3\xA9"), 3u);
  EXPECT_FALSE(IsSupportedCodePage(1251));
}

TEST(DumpForm, ListsEveryComponentInOrderWithFlagsAndListRows) {
  ConsoleOptions options;
  options.singleInstance = false;
  ConsoleToolkit tk(options);
  testing::TestMainForm form(tk);
  form.SetCaption("Caf\xe9");
  form.cbFlag.SetChecked(true);
  form.lvList.AddRow("\\REGISTRY\\MACHINE\\SYSTEM", {"1,024 KB", "512 KB"});
  form.lvList.AddRow("line\r\nbreak", {});
  const std::vector<std::string> expected = {
      "FORM frmTest \"Caf\xC3\xA9\"",
      "lTitle \"Test \\\"main\\\" C:\\\\x\"",
      "gbGroup \"\"",
      "bOpen \"Open Dialog\"",
      "bInner \"Inner\"",
      "bHidden \"Hidden\" hidden",
      "bDisabled \"Disabled\" disabled",
      "bThrow \"Throw\"",
      "cbFlag \"Flag\" checked",
      "lvList \"\"",
      "lvList[0] \"\\\\REGISTRY\\\\MACHINE\\\\SYSTEM\" \"1,024 KB\" \"512 KB\" \"\"",
      "lvList[1] \"line\\r\\nbreak\" \"\" \"\" \"\"",
      "pmMenu \"\"",
      "miOne \"&One\"",
      "N1 \"-\"",
      "miTwo \"&Two\" disabled",
      "tmMain \"\" disabled",
  };
  EXPECT_EQ(DumpForm(form, kCodePage1252), expected);
}

TEST(DumpForm, AProgressBarShowsItsPercentage) {
  ConsoleOptions options;
  options.singleInstance = false;
  ConsoleToolkit tk(options);
  testing::TestMainForm main(tk);
  testing::TestDialog dialog(tk, &main);
  dialog.pbProgress.SetPosition(999);
  const auto lines = DumpForm(dialog, kCodePage1252);
  EXPECT_EQ(lines[2], "pbProgress \"99%\"");
  EXPECT_EQ(lines[3], "mCurrent \"Registry Key\"");
}

}  // namespace
}  // namespace hv::ui::console
