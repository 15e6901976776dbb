#include "workflow/figures.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(ReductionText, NoDivisorAndGrowthGiveZero) {
  EXPECT_EQ(ReductionText(0, 0), "0%");
  EXPECT_EQ(ReductionText(-1, -1), "0%");
  EXPECT_EQ(ReductionText(-1, 0), "0%");
  EXPECT_EQ(ReductionText(1000, 1001), "0%");
}

TEST(CompactPercent, NothingWithoutAPositiveCurrentTotalOrWhenGrown) {
  EXPECT_FALSE(CompactPercent(0, 0));
  EXPECT_FALSE(CompactPercent(-2, -5));
  EXPECT_FALSE(CompactPercent(100, 101));
}

TEST(CompactPercent, IsTheFloatOfTheQuotient) {
  EXPECT_EQ(*CompactPercent(10000, 8473), static_cast<float>(152700.0 / 10000.0));
  EXPECT_EQ(*CompactPercent(10000, 9700), 3.0f);
}

TEST(PercentText, RoundsHalfAwayFromZeroOnTheExactValue) {
  EXPECT_EQ(PercentText(15.27f, '.'), "15.3%");
  EXPECT_EQ(PercentText(2.96f, '.'), "3.0%");
  EXPECT_EQ(PercentText(0.0f, '.'), "0.0%");
  EXPECT_EQ(PercentText(2.25f, '.'), "2.3%");   // exactly representable half
  EXPECT_EQ(PercentText(0.75f, '.'), "0.8%");
  // 2.35f is 2.34999990463..., below the half.
  EXPECT_EQ(PercentText(2.35f, '.'), "2.3%");
  EXPECT_EQ(PercentText(100.0f, '.'), "100.0%");
}

TEST(PercentText, UsesTheGivenSeparator) {
  EXPECT_EQ(PercentText(15.27f, ','), "15,3%");
  EXPECT_EQ(PercentText(2.5f, ','), "2,5%");
}

}  // namespace
}  // namespace hv
