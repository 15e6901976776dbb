#include "platform/shown_path.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(ShownPathTest, DropsTheLongPathPrefixAndKeepsEverythingElse) {
  EXPECT_EQ(ShownPath("\\\\?\\C:\\hivora\\Languages\\DLan_Finnish.ini"), "C:\\hivora\\Languages\\DLan_Finnish.ini");
  EXPECT_EQ(ShownPath("\\\\?\\UNC\\server\\share\\options.ini"), "\\\\server\\share\\options.ini");
  EXPECT_EQ(ShownPath("\\\\server\\share\\x"), "\\\\server\\share\\x");
  EXPECT_EQ(ShownPath("C:\\x"), "C:\\x");
  EXPECT_EQ(ShownPath("/home/u/.config/talvix-hivora/options.ini"), "/home/u/.config/talvix-hivora/options.ini");
  EXPECT_EQ(ShownPath("\\\\?\\"), "");
  EXPECT_EQ(ShownPath(""), "");
}

}  // namespace
}  // namespace hv
