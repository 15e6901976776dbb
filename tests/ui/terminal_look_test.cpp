#include "ui/console/terminal_look.h"

#include <gtest/gtest.h>

#include "ui/console/screen.h"

namespace hv::ui::console {
namespace {

TEST(TerminalLookTest, PlainAsciiWhereBoxDrawingWouldComeOutWrong) {
  // A dumb terminal: ASCII, no colour, no dim.
  EXPECT_EQ(LookFor("dumb", nullptr, nullptr, "C.UTF-8"), (Look{false, true, false}));
  EXPECT_EQ(LookFor("", nullptr, nullptr, "C.UTF-8"), (Look{false, true, false}));
  // The Linux console: colours, but its dim does not show; ASCII without UTF-8.
  EXPECT_EQ(LookFor("linux", nullptr, nullptr, "en_US.UTF-8"), (Look{true, false, false}));
  EXPECT_EQ(LookFor("linux", nullptr, nullptr, "C"), (Look{true, true, false}));
  // A locale that is not UTF-8, or none at all.
  EXPECT_TRUE(LookFor("xterm-256color", nullptr, nullptr, "de_DE.ISO-8859-1").ascii);
  EXPECT_TRUE(LookFor("xterm-256color", nullptr, nullptr, "").ascii);
  EXPECT_FALSE(LookFor("xterm-256color", nullptr, nullptr, "de_DE.utf8").ascii);
}

TEST(TerminalLookTest, ColourWhereTheTerminalHasItUnlessNoColorIsSet) {
  EXPECT_EQ(LookFor("tmux-256color", nullptr, nullptr, "C.UTF-8"), (Look{true, false, true}));
  EXPECT_TRUE(LookFor("screen", nullptr, nullptr, "C.UTF-8").colour);
  EXPECT_TRUE(LookFor("foot", nullptr, "truecolor", "C.UTF-8").colour);
  EXPECT_FALSE(LookFor("vt100", nullptr, nullptr, "C.UTF-8").colour);
  EXPECT_FALSE(LookFor("xterm", "1", nullptr, "C.UTF-8").colour);
  // NO_COLOR set but empty does not count.
  EXPECT_TRUE(LookFor("xterm", "", nullptr, "C.UTF-8").colour);
}

TEST(TerminalLookTest, TheCanvasWritesWhatTheLookAllows) {
  Canvas canvas(12, 3);
  canvas.Frame(0, 0, 12, 3, "T\u00e4");
  canvas.Text(2, 1, "a\u2192b", kDim);
  canvas.Tint(0, 0, 12, 1, kTitle);
  const Look ascii{false, true, false};
  EXPECT_EQ(canvas.Lines(false, ascii), (std::vector<std::string>{"+- T? -----+", "| a>b      |", "+----------+"}));
  // No escape for dim where it vanishes, and no colour without colour.
  for (const std::string& line : canvas.Lines(true, ascii)) {
    EXPECT_EQ(line.find(";2"), std::string::npos) << line;
    EXPECT_EQ(line.find(";3"), std::string::npos) << line;
    EXPECT_EQ(line.find(";4"), std::string::npos) << line;
  }
  const Look colour{true, false, true};
  const std::vector<std::string> lines = canvas.Lines(true, colour);
  EXPECT_NE(lines[0].find(";37;44m"), std::string::npos) << lines[0];  // the title bar
  EXPECT_NE(lines[1].find(";90m"), std::string::npos) << lines[1];     // dim as grey
  EXPECT_NE(lines[1].find("\u2192"), std::string::npos);
  // Without colour (NO_COLOR) the attributes stay and no colour comes in.
  for (const std::string& line : canvas.Lines(true, Look{false, false, true})) {
    EXPECT_EQ(line.find(";3"), std::string::npos) << line;
    EXPECT_EQ(line.find(";9"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace hv::ui::console
