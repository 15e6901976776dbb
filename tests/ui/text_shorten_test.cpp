// Names shortened in the middle: rows that differ only at their end stay
// different, and nothing shown is wider than its room.
#include "ui/text_shorten.h"

#include <gtest/gtest.h>

#include <string>

namespace hv::ui {
namespace {

// Six pixels a character, the ellipsis one character.
int Width(std::string_view text) { return 6 * static_cast<int>(text.size()); }

const std::string kClasses = "\\REGISTRY\\USER\\S-1-5-21-3623811015-3361044348-30300820-1001_Classes";
const std::string kUser = "\\REGISTRY\\USER\\S-1-5-21-3623811015-3361044348-30300820-1001";

TEST(ShortenInMiddle, TextThatFitsIsLeftAlone) {
  EXPECT_EQ(ShortenInMiddle("\\REGISTRY\\MACHINE\\SAM", 6 * 21, Width), "\\REGISTRY\\MACHINE\\SAM");
  EXPECT_EQ(ShortenInMiddle("", 0, Width), "");
}

TEST(ShortenInMiddle, KeepsTheEndThatTellsProfilesApart) {
  const int room = 6 * 38;
  const std::string classes = ShortenInMiddle(kClasses, room, Width);
  const std::string user = ShortenInMiddle(kUser, room, Width);
  EXPECT_EQ(classes, "\\REGISTRY\\USER\\S-1-5-21-\x85-1001_Classes");
  EXPECT_EQ(user, "\\REGISTRY\\USER\\S-1-5-21-36238110\x85-1001");
  EXPECT_NE(classes, user);
  EXPECT_LE(Width(classes), room);
  EXPECT_LE(Width(user), room);
}

TEST(ShortenInMiddle, EveryRoomGivesATextThatFits) {
  for (int room = 6; room <= Width(kClasses); ++room) {
    const std::string shown = ShortenInMiddle(kClasses, room, Width);
    ASSERT_LE(Width(shown), room) << room;
    if (room < Width(kClasses)) {
      EXPECT_NE(shown.find('\x85'), std::string::npos) << room;
    }
  }
}

TEST(ShortenInMiddle, AnEndTooLongForTheRoomIsCutToo) {
  const std::string shown = ShortenInMiddle("\\REGISTRY\\MACHINE\\AVERYLONGHIVENAMEWITHOUTBREAKS", 6 * 16, Width);
  EXPECT_LE(Width(shown), 6 * 16);
  EXPECT_EQ(shown.back(), 'S');
  EXPECT_EQ(shown.front(), '\\');
}

TEST(ShortenInMiddle, NoRoomLeavesTheEllipsis) { EXPECT_EQ(ShortenInMiddle(kClasses, 3, Width), "\x85"); }

}  // namespace
}  // namespace hv::ui
