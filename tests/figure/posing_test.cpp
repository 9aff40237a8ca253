#include <gtest/gtest.h>

#include <cmath>

#include "figure.h"

namespace {

// Where each handle of the initial pose lies: the ends of Segments 0 to 10.
constexpr int handles[segmentCount][2] = {{190, 159}, {185, 214}, {210, 159}, {215, 214}, {206, 300}, {208, 365},
                                          {194, 300}, {192, 365}, {200, 230}, {200, 100}, {200, 35}};

TEST(HitTest, EachHandleIsOpenFourPixelsToEverySideAndNoFurther) {
  initImageStore();
  Figure figure{};
  resetPose(figure);
  const ImageId scratch = createImage(AutoId, 400, 400);  // a render leaves the end vectors
  renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, scratch}, false, 0);
  shutdownImageStore();
  for (int i = 0; i < segmentCount; ++i) {
    const int x = handles[i][0], y = handles[i][1];
    EXPECT_EQ(hitTest(figure, x, y), i);
    for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      EXPECT_EQ(hitTest(figure, x + 4 * dx, y + 4 * dy), i) << i << " at " << dx << "," << dy;
      EXPECT_EQ(hitTest(figure, x + 5 * dx, y + 5 * dy), -1) << i << " at " << dx << "," << dy;
    }
  }
  EXPECT_EQ(hitTest(figure, 20, 20), -1);
}

TEST(PointerAngle, ClockwiseFromUpInNinetyToFourHundredFifty) {
  EXPECT_EQ(pointerAngle(110, 100, 100, 100), 90);
  EXPECT_EQ(pointerAngle(100, 110, 100, 100), 180);
  EXPECT_EQ(pointerAngle(90, 100, 100, 100), 270);
  EXPECT_EQ(pointerAngle(100, 90, 100, 100), 360);
  EXPECT_EQ(pointerAngle(110, 90, 100, 100), 405);
  EXPECT_EQ(pointerAngle(-1, -1, 200, 230), 319);
  EXPECT_FALSE(pointerAngle(100, 100, 100, 100).has_value());  // on the joint: no direction, the angle stays
}

TEST(Rounding, HalfToEvenWithAFallbackForWhatNoIntegerHolds) {
  EXPECT_EQ(roundToInt(2.5, 0), 2);
  EXPECT_EQ(roundToInt(3.5, 0), 4);
  EXPECT_EQ(roundToInt(-2.5, 0), -2);
  EXPECT_EQ(roundToInt(1e10, 7), 7);
  EXPECT_EQ(roundToInt(std::nan(""), 7), 7);
  EXPECT_EQ(radians(180), 3.14159274f);  // held as a 32-bit float
}

}  // namespace
