#include <climits>
#include <random>

#include <gtest/gtest.h>

#include <set>

#include "raster.h"

namespace {

using PixelSet = std::set<std::pair<int, int>>;

// A fresh store and an open drawing surface over a white Image.
class SurfaceTest : public testing::Test {
 protected:
  void open(int width, int height) {
    initImageStore();
    ASSERT_NE(beginDrawing(imageOutput(createImage(width, height))), 0);
    fillRectangle(0, 0, width, height, 0xFFFFFF);
  }
  void TearDown() override {
    endDrawing();
    shutdownImageStore();
  }
};

constexpr Color ink = 0x123456;

TEST(Clipping, NoInputDrawsOutsideTheTarget) {
  // A 7 x 5 target inside a larger buffer: every byte around it and in its row padding must stay.
  constexpr int width = 7, height = 5, guard = 64;
  const int stride = rowStride(width);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride * height + 2 * guard), 0xAA);
  DrawTarget target;
  target.pixels = buffer.data() + guard;
  target.width = width;
  target.height = height;
  target.stride = stride;
  initImageStore();
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
  shutdownImageStore();
  for (int i = 0; i < guard; ++i) ASSERT_EQ(buffer[i] & buffer[buffer.size() - 1 - i], 0xAA);
  for (int row = 0; row < height; ++row)
    for (int i = width * 3; i < stride; ++i) ASSERT_EQ(buffer[guard + row * stride + i], 0xAA);
}

class Lines : public SurfaceTest {};

TEST_F(Lines, CoverTheTracedPixelsInEitherDirectionAndClipByTruncation) {
  const PixelSet shallow{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
  const struct {
    int x1, y1, x2, y2;
    PixelSet pixels;
  } cases[] = {
      {0, 0, 4, 2, shallow},
      {4, 2, 0, 0, shallow},
      {-3, 0, 4, 2, shallow},
      {0, 0, 1, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}}},
      {395, 5, 405, 0, {{395, 5}, {396, 4}, {397, 4}, {398, 3}, {399, 3}}},
      {5, 399, 5, 420, {{5, 399}}},
      {405, 10, 399, 12, {{399, 12}}},
      {3, -1, 5, 1, {{4, 0}, {5, 1}}},
      {-3, 5, 0, 6, {{0, 6}}},
      {-5, 3, -1, 90, {}},
  };
  open(400, 400);
  for (const auto& c : cases) {
    fillRectangle(0, 0, 400, 400, 0xFFFFFF);
    drawLine(c.x1, c.y1, c.x2, c.y2, ink);
    PixelSet drawn;
    for (int y = 0; y < 400; ++y)
      for (int x = 0; x < 400; ++x)
        if (readPixel(x, y) == ink) drawn.insert({x, y});
    EXPECT_EQ(drawn, c.pixels) << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2;
  }
}

TEST(Blend, IsIntegerDivisionForEveryPairOfBytes) {
  initImageStore();
  const ImageId source = createImage(256, 256), target = createImage(256, 256);
  ASSERT_NE(beginDrawing(imageOutput(source)), 0);
  for (int x = 0; x < 256; ++x) fillRectangle(x, 0, 1, 256, static_cast<Color>(x * 0x010101));
  endDrawing();
  for (const unsigned alpha : {1u, 80u, 254u}) {  // 80: the onion skin
    ASSERT_NE(beginDrawing(imageOutput(target)), 0);
    for (int y = 0; y < 256; ++y) fillRectangle(0, y, 256, 1, static_cast<Color>(y * 0x010101));
    drawImageBlended(imageHandle(source), 0, 0, static_cast<std::int32_t>(alpha));
    for (unsigned y = 0; y < 256; ++y)
      for (unsigned x = 0; x < 256; ++x)
        ASSERT_EQ(readPixel(x, y), (y * (255 - alpha) + x * alpha) / 255 * 0x010101u) << alpha << " " << x << "," << y;
    endDrawing();
  }
  shutdownImageStore();
}

TEST(Surfaces, OneAtATimeAndNothingWithoutOne) {
  initImageStore();
  const ImageId a = createImage(4, 4);
  const ImageId b = createImage(4, 4);
  plot(0, 0, 0xFFFFFF);  // no surface open: nothing happens
  EXPECT_EQ(readPixel(0, 0), 0u);
  ASSERT_NE(beginDrawing(imageOutput(a)), 0);
  fillRectangle(0, 0, 4, 4, 0xFFFFFF);
  DrawSurface* second = imageOutput(b);  // ends the pass on a first
  EXPECT_EQ(lookupImage(a)->revision, 1u);
  ASSERT_NE(beginDrawing(second), 0);
  EXPECT_EQ(readPixel(0, 0), 0u);
  endDrawing();
  EXPECT_EQ(beginDrawing(imageOutput(0)), 0);
  shutdownImageStore();
}

}  // namespace
