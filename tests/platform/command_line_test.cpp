#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, EmptyAndBlankLinesHaveNoArguments) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine(" \t\r\n\x01 "), Args{});
  EXPECT_EQ(SplitCommandLine("\"\""), Args{});
  EXPECT_EQ(ParamStr("", 0), "");
  EXPECT_EQ(ParamStr("prog.exe /Scan", 2), "");
}

TEST(SplitCommandLine, BlanksAndControlCharactersSeparate) {
  EXPECT_EQ(SplitCommandLine("prog.exe /Scan report.ini"),
            (Args{"prog.exe", "/Scan", "report.ini"}));
  EXPECT_EQ(SplitCommandLine("  prog.exe\t/Scan\x1f\x1freport.ini\r\n"),
            (Args{"prog.exe", "/Scan", "report.ini"}));
}

TEST(SplitCommandLine, QuotedStretchesHoldBlanksAndLoseTheirQuotes) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\Hivora\\hivora.exe\" /Scan \"C:\\My Reports\\r.ini\""),
            (Args{"C:\\Program Files\\Hivora\\hivora.exe", "/Scan", "C:\\My Reports\\r.ini"}));
  EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (Args{"ab cd", "e"}));
  // An unclosed stretch runs to the end of the line.
  EXPECT_EQ(SplitCommandLine("p \"open to the end"), (Args{"p", "open to the end"}));
}

TEST(SplitCommandLine, BackslashesAreOrdinaryCharacters) {
  // The C runtime would read \" as a literal quote and \\ before a quote as one backslash.
  EXPECT_EQ(SplitCommandLine("p \"C:\\dir\\\" next"), (Args{"p", "C:\\dir\\", "next"}));
  EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\""), (Args{"p", "a\\\\b c"}));
}

TEST(SplitCommandLine, EmptyQuotesAtTheStartOfAnArgumentAreSkipped) {
  EXPECT_EQ(SplitCommandLine("p \"\" /Scan"), (Args{"p", "/Scan"}));
  EXPECT_EQ(SplitCommandLine("p \"\"\"\"/Scan"), (Args{"p", "/Scan"}));
  // Inside an argument an empty pair just vanishes.
  EXPECT_EQ(SplitCommandLine("p /Sc\"\"an"), (Args{"p", "/Scan"}));
  EXPECT_EQ(ParamStr("p \"\" /Scan", 1), "/Scan");
}

TEST(SplitCommandLine, CharactersAboveAsciiBelongToArguments) {
  EXPECT_EQ(SplitCommandLine("p \xe9t\xe9 \xa0x"), (Args{"p", "\xe9t\xe9", "\xa0x"}));
}

TEST(ParamStr, PicksTheArgumentByPosition) {
  const char* line = "\"C:\\Hivora Dir\\hivora.exe\" /SCAN \"out file.ini\" extra";
  EXPECT_EQ(ParamStr(line, 0), "C:\\Hivora Dir\\hivora.exe");
  EXPECT_EQ(ParamStr(line, 1), "/SCAN");
  EXPECT_EQ(ParamStr(line, 2), "out file.ini");
  EXPECT_EQ(ParamStr(line, 3), "extra");
  EXPECT_EQ(ParamStr(line, 4), "");
}

}  // namespace
}  // namespace hv
