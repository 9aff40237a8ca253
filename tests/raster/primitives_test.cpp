#include <climits>
#include <random>

#include "support/raster_fixture.h"

namespace {

constexpr Color ink = 0x123456;

TEST(Clipping, NoInputDrawsOutsideTheTarget) {
  // A 7 x 5 target inside a larger buffer: every byte around it and in its row padding must stay.
  constexpr int width = 7, height = 5, guard = 64;
  const int stride = rowStride(width, 24);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride * height + 2 * guard), 0xAA);
  DrawTarget target;
  target.pixels = buffer.data() + guard;
  target.width = width;
  target.height = height;
  target.stride = stride;
  ASSERT_NE(beginDrawing(openSurface(target)), 0);
  const int extremes[] = {INT_MIN, INT_MIN + 1, -70000, -1, 0, 4, 6, 7, 70000, INT_MAX - 1, INT_MAX};
  for (int a : extremes)
    for (int b : extremes) {
      drawLine(a, b, b, a, ink);
      drawLine(a, 2, b, 3, ink);
      fillRectangle(a, b, b, a, ink);
      fillCircle(a, b, 3, ink);
      floodFill(a, b, 0xFFFFFFFF, static_cast<Color>(a ^ b));
      plot(a, b, ink);
      if (a < 0 || a >= width || b < 0 || b >= height) EXPECT_EQ(readPixel(a, b), 0u);
    }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> near(-20, 30);
  for (int i = 0; i < 20000; ++i) {
    drawLine(near(random), near(random), near(random), near(random), static_cast<Color>(i));
    fillEllipse(near(random), near(random), near(random) & 15, near(random) & 15, static_cast<Color>(i));
  }
  endDrawing();
  for (int i = 0; i < guard; ++i) ASSERT_EQ(buffer[i] & buffer[buffer.size() - 1 - i], 0xAA);
  for (int row = 0; row < height; ++row)
    for (int i = width * 3; i < stride; ++i) ASSERT_EQ(buffer[guard + row * stride + i], 0xAA);
}

TEST(Surfaces, OneAtATimeAndNothingWithoutOne) {
  initImageStore();
  const ImageId a = createImage(AutoId, 4, 4);
  const ImageId b = createImage(AutoId, 4, 4);
  plot(0, 0, 0xFFFFFF);  // no surface open: nothing happens
  EXPECT_EQ(readPixel(0, 0), 0u);
  ASSERT_NE(beginDrawing(imageOutput(a)), 0);
  fillRectangle(0, 0, 4, 4, 0xFFFFFF);
  DrawSurface* second = imageOutput(b);  // ends the pass on a first
  EXPECT_EQ(lookupImage(a)->revision, 1u);
  ASSERT_NE(beginDrawing(second), 0);
  EXPECT_EQ(readPixel(0, 0), 0u);
  endDrawing();
  EXPECT_EQ(currentSurface(), nullptr);
  EXPECT_EQ(beginDrawing(imageOutput(0)), 0);
  shutdownImageStore();
}

}  // namespace
