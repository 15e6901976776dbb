#include "ui/console/hint_bar.h"

#include <gtest/gtest.h>

#include "ui/console/ansi_text.h"

namespace hv::ui::console {
namespace {

const std::vector<KeyHint> kMain = {
    {"Enter", "press", 1}, {"Tab", "next", 2}, {"letter", "press", 4}, {"q", "exit", 3}, {"F1", "all keys", 0}};

TEST(HintBarTest, AllHintsShowWhenThereIsRoomWithTheNoteLeading) {
  EXPECT_EQ(FitHints("Analyze the registry", kMain, 200),
            "Analyze the registry  |  Enter: press  Tab: next  letter: press  q: exit  F1: all keys");
  EXPECT_EQ(FitHints("", kMain, 200), "Enter: press  Tab: next  letter: press  q: exit  F1: all keys");
}

TEST(HintBarTest, NarrowWidthsDropWholeHintsLeastImportantFirstNeverAPartOfOne) {
  for (int width = 0; width <= 100; ++width) {
    const std::string line = FitHints("Analyze the registry", kMain, width);
    EXPECT_LE(static_cast<int>(Utf8Length(line)), width) << width;
    // Whatever is shown is whole: every piece is one of the hints or the note.
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t end = line.find("  ", at);
      if (end == std::string::npos) end = line.size();
      const std::string piece = line.substr(at, end - at);
      bool known = piece == "|" || piece == "Analyze the registry" || piece.find("\u2026") != std::string::npos;
      for (const KeyHint& hint : kMain) known |= piece == hint.keys + ": " + hint.action;
      EXPECT_TRUE(known) << width << ": \"" << piece << "\" in \"" << line << "\"";
      at = end + 2;
    }
  }
  // The note goes before any key; then the letters, exit, Tab, Enter; F1 stays.
  EXPECT_EQ(FitHints("Analyze the registry", kMain, 80), "Enter: press  Tab: next  letter: press  q: exit  F1: all keys");
  EXPECT_EQ(FitHints("", kMain, 60), "Enter: press  Tab: next  q: exit  F1: all keys");
  EXPECT_EQ(FitHints("", kMain, 40), "Enter: press  Tab: next  F1: all keys");
  EXPECT_EQ(FitHints("", kMain, 30), "Enter: press  F1: all keys");
  EXPECT_EQ(FitHints("", kMain, 12), "F1: all keys");
}

TEST(HintBarTest, ANoteAloneIsShortenedAtASpace) {
  EXPECT_EQ(FitHints("Defrag the registry now", {}, 16), "Defrag the\u2026");
  EXPECT_EQ(FitHints("Defragmentation", {}, 5), "");
}

}  // namespace
}  // namespace hv::ui::console
