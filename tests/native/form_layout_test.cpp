#include "app/form_layout.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace snapvik {
namespace {

TEST(FormLayout, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDivRound(-11, 120, 96), -14);  // -13.75
  EXPECT_EQ(MulDivRound(-11, 144, 96), -17);  // -16.5
  EXPECT_EQ(MulDivRound(11, 144, 96), 17);
  EXPECT_EQ(MulDivRound(337, 16, 13), 415);   // 414.77
  EXPECT_EQ(MulDivRound(7, 1, -2), -4);       // -3.5
}

TEST(FormLayout, MulDivGivesMinusOneForNoDivisorOrAnOverflowAsThePlatformDoes) {
  EXPECT_EQ(MulDivRound(13, 96, 0), -1);
  EXPECT_EQ(MulDivRound(0, 0, 0), -1);
  EXPECT_EQ(MulDivRound(INT32_MAX, 2, 1), -1);
  EXPECT_EQ(MulDivRound(INT32_MIN, 3, 2), -1);
  EXPECT_EQ(MulDivRound(INT32_MAX, 2, 2), INT32_MAX);  // the product may exceed an int, the result not
}

TEST(FormLayout, FontFollowsDensityAndLayoutFollowsMeasuredText) {
  EXPECT_EQ(ScaledFontHeight(kForm1FontHeight, 96), -11);
  EXPECT_EQ(ScaledFontHeight(kForm1FontHeight, 192), -22);
  const LayoutRect edit{142, 8, 147, 21};
  EXPECT_EQ(ScaledRect(edit, 13), edit);
  EXPECT_EQ(ScaledRect(edit, 26), (LayoutRect{284, 16, 294, 42}));
  EXPECT_EQ(ScaledRect(edit, 16), (LayoutRect{175, 10, 181, 26}));
}

TEST(FormLayout, CentredOnTheDesktopBoundingBox) {
  EXPECT_EQ(CenteredOrigin({0, 0, 1920, 1080}, 343, 151), (LayoutPoint{789, 465}));
  // Truncation of each half, on a desktop that starts left of the primary monitor.
  EXPECT_EQ(CenteredOrigin({-1281, -7, 3201, 1087}, 345, 153), (LayoutPoint{-1281 + 1600 - 172, -7 + 543 - 76}));
  // Never above or left of the desktop.
  EXPECT_EQ(CenteredOrigin({0, 0, 300, 100}, 343, 151), (LayoutPoint{0, 0}));
}

}  // namespace
}  // namespace snapvik

namespace snapvik {
namespace {

TEST(Anchors, EachAxisStretchesMovesOrKeepsItsCentre) {
  const LayoutRect tree{8, 20, 321, 319};
  const LayoutSize base{342, 393};
  const LayoutSize bigger{442, 293};  // 100 wider, 100 lower
  EXPECT_EQ(AnchoredRect(tree, base, bigger, akLeft | akTop | akRight | akBottom), (LayoutRect{8, 20, 421, 219}));
  EXPECT_EQ(AnchoredRect({173, 344, 75, 25}, base, bigger, akRight | akBottom), (LayoutRect{273, 244, 75, 25}));
  EXPECT_EQ(AnchoredRect({12, 344, 75, 25}, base, bigger, akLeft | akBottom), (LayoutRect{12, 244, 75, 25}));
  EXPECT_EQ(AnchoredRect({8, 20, 101, 318}, base, bigger, akLeft | akTop | akBottom), (LayoutRect{8, 20, 101, 218}));
  // Unanchored: half the growth, so the centre stays where it was.
  EXPECT_EQ(AnchoredRect({100, 100, 20, 20}, base, bigger, 0), (LayoutRect{150, 50, 20, 20}));
  // Back to the base size gives the base place, and a stretch never goes below nothing.
  EXPECT_EQ(AnchoredRect(tree, base, base, akLeft | akTop | akRight | akBottom), tree);
  EXPECT_EQ(AnchoredRect(tree, base, {0, 0}, akLeft | akTop | akRight | akBottom), (LayoutRect{8, 20, 0, 0}));
}

}  // namespace
}  // namespace snapvik
