// Memory safety of the primitives: whatever they are given, they write inside their target only.
#include <climits>
#include <random>

#include "support/raster_test.h"

namespace {

constexpr Color ink = 0x123456;

using Clipping = RasterTest;

TEST_F(Clipping, NoInputDrawsOutsideTheTarget) {
  // A 7 x 5 target inside a larger buffer: every byte around it and in its row padding must stay.
  constexpr int width = 7, height = 5, guard = 64;
  const int stride = rowStride(width);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride * height + 2 * guard), 0xAA);
  DrawTarget target;
  target.pixels = buffer.data() + guard;
  target.width = width;
  target.height = height;
  target.stride = stride;
  const NativeHandle picture = imageHandle(createImage(3, 3));
  ASSERT_NE(beginDrawing(openSurface(target)), 0);
  const int extremes[] = {INT_MIN, INT_MIN + 1, -70000, -1, 0, 4, 6, 7, 70000, INT_MAX - 1, INT_MAX};
  for (int a : extremes)
    for (int b : extremes) {
      drawLine(a, b, b, a, ink);
      drawLine(a, 2, b, 3, ink);
      fillRectangle(a, b, b, a, ink);
      fillCircle(a, b, 3, ink);
      floodFill(a, b, static_cast<Color>(a ^ b));
      drawImage(picture, a, b);
      drawImageBlended(picture, b, a, 80);
      plot(a, b, ink);
      if (a < 0 || a >= width || b < 0 || b >= height) {
        EXPECT_EQ(readPixel(a, b), 0u);
      }
    }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> near(-20, 30);
  for (int i = 0; i < 20000; ++i) {
    drawLine(near(random), near(random), near(random), near(random), static_cast<Color>(i));
    fillCircle(near(random), near(random), near(random) & 15, static_cast<Color>(i));
  }
  endDrawing();
  for (int i = 0; i < guard; ++i) ASSERT_EQ(buffer[i] & buffer[buffer.size() - 1 - i], 0xAA);
  for (int row = 0; row < height; ++row)
    for (int i = width * 3; i < stride; ++i) ASSERT_EQ(buffer[guard + row * stride + i], 0xAA);
}

}  // namespace
