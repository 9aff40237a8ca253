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
  const ImageId scratch = createImage(400, 400);  // a render leaves the end vectors
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
  const int cases[][3] = {{110, 100, 90}, {100, 110, 180}, {90, 100, 270}, {100, 90, 360}, {110, 90, 405}};
  for (const auto& [x, y, angle] : cases) EXPECT_EQ(pointerAngle(x, y, 100, 100), angle) << x << "," << y;
  EXPECT_EQ(pointerAngle(-1, -1, 200, 230), 319);
}

TEST(Rounding, HalfToEvenWithAFallbackForWhatNoIntegerHolds) {
  const std::pair<double, int> cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {1e10, 7}, {std::nan(""), 7}};
  for (const auto& [value, rounded] : cases) EXPECT_EQ(roundToInt(value, 7), rounded) << value;
}

}  // namespace
