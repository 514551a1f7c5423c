#include "app/layout.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(Scaling, DesignedTextHeightLeavesTheLayoutAsDesigned) {
  for (int height : {13, 0, -1}) {
    const ScaledLayout l = ScaleLayout(height);
    EXPECT_EQ(l.windowOuterWidth, 434);
    EXPECT_EQ(l.windowOuterHeight, 393);
    EXPECT_EQ(l.image2, (Rect{377, 8, 33, 33}));
    EXPECT_EQ(l.exitBtn, (Rect{297, 320, 89, 25}));
    EXPECT_EQ(l.labelFontPixels, 21);
  }
}

TEST(Scaling, LargerFontScalesEveryFixedControlByTheRatio) {
  const ScaledLayout l = ScaleLayout(16);  // 120 dpi
  EXPECT_EQ(l.windowOuterWidth, 534);      // 434 * 16 / 13 = 534.15
  EXPECT_EQ(l.windowOuterHeight, 484);     // 483.7
  EXPECT_EQ(l.exitBtn, (Rect{366, 394, 110, 31}));
  EXPECT_EQ(l.image1, (Rect{10, 10, 100, 100}));
  EXPECT_EQ(l.windowFontPixels, 14);  // 13.54
}

TEST(Scaling, RoundsHalfAwayFromZero) {
  EXPECT_EQ(ScaleByTextHeight(13, 26), 26);
  EXPECT_EQ(ScaleByTextHeight(1, 19), 1);   // 1.46
  EXPECT_EQ(ScaleByTextHeight(1, 20), 2);   // 1.54
  EXPECT_EQ(ScaleByTextHeight(-1, 20), -2);
}

}  // namespace
}  // namespace kestrune
