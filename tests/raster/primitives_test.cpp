#include <climits>
#include <random>

#include "support/raster_fixture.h"

namespace {

constexpr Color ink = 0x123456;

class Primitives : public SurfaceTest {};

TEST_F(Primitives, SmallCirclesHaveTheirExactPixelSets) {
  open(40, 40);
  fillCircle(10, 10, 0, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{10, 10}}));

  fillRectangle(0, 0, 40, 40, 0xFFFFFF);
  fillCircle(10, 10, 1, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{10, 10}, {9, 10}, {11, 10}, {10, 9}, {10, 11}}));

  fillRectangle(0, 0, 40, 40, 0xFFFFFF);
  fillCircle(10, 10, 2, ink);
  EXPECT_EQ(pixelsOf(ink).size(), 21u);
  EXPECT_EQ(halfWidths(pixelsOf(ink), 10, 10), (std::vector<int>{2, 2, 1}));

  fillRectangle(0, 0, 40, 40, 0xFFFFFF);
  fillCircle(20, 20, 3, ink);
  const PixelSet three = pixelsOf(ink);
  EXPECT_EQ(three.size(), 37u);
  EXPECT_EQ(halfWidths(three, 20, 20), (std::vector<int>{3, 3, 2, 1}));
  EXPECT_TRUE(three.count({20, 17}) && three.count({19, 17}) && !three.count({18, 17}));
}

TEST_F(Primitives, HeadDiscsAndTheirRing) {
  open(100, 100);
  fillCircle(50, 50, 23, ink);
  const PixelSet small = pixelsOf(ink);
  EXPECT_EQ(small.size(), 1733u);
  EXPECT_EQ(halfWidths(small, 50, 50),
            (std::vector<int>{23, 23, 23, 23, 23, 22, 22, 22, 22, 21, 21, 20, 20, 19, 18, 17, 17, 16, 14, 13, 12, 10, 8, 4}));
  for (const auto& [x, y] : small) {
    EXPECT_TRUE(small.count({100 - x, y}) && small.count({x, 100 - y}) && small.count({y, x}));
  }

  fillRectangle(0, 0, 100, 100, 0xFFFFFF);
  fillCircle(50, 50, 28, ink);
  const PixelSet large = pixelsOf(ink);
  EXPECT_EQ(large.size(), 2553u);
  EXPECT_EQ(halfWidths(large, 50, 50), (std::vector<int>{28, 28, 28, 28, 28, 28, 27, 27, 27, 27, 26, 26, 25, 25, 24,
                                                          24, 23, 22, 21, 21, 20, 19, 17, 16, 15, 13, 11, 9, 5}));
  fillCircle(50, 50, 23, 0xFFFFFF);
  EXPECT_EQ(pixelsOf(ink).size(), 820u);
}

TEST_F(Primitives, EllipseAndClippedCircle) {
  open(40, 40);
  fillEllipse(20, 20, 7, 3, ink);
  EXPECT_EQ(pixelsOf(ink).size(), 85u);
  EXPECT_EQ(halfWidths(pixelsOf(ink), 20, 20), (std::vector<int>{7, 7, 6, 3}));

  fillRectangle(0, 0, 40, 40, 0xFFFFFF);
  fillCircle(0, 0, 3, ink);  // only the quarter inside the target
  EXPECT_EQ(pixelsOf(ink).size(), 4u + 4u + 3u + 2u);
  fillCircle(10, 10, -1, 0x0000FF);
  EXPECT_TRUE(pixelsOf(0x0000FF).empty());
}

TEST_F(Primitives, LinesCoverTheTracedPixelsInEitherDirection) {
  open(400, 400);
  const PixelSet shallow{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
  drawLine(0, 0, 4, 2, ink);
  EXPECT_EQ(pixelsOf(ink), shallow);
  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(4, 2, 0, 0, ink);
  EXPECT_EQ(pixelsOf(ink), shallow);

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(0, 0, 1, 4, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}}));

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(10, 10, 2, 12, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{2, 12}, {3, 12}, {4, 11}, {5, 11}, {6, 11}, {7, 11}, {8, 10}, {9, 10}, {10, 10}}));

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(7, 3, 7, 3, ink);
  drawLine(20, 5, 15, 5, ink);
  drawLine(30, 9, 30, 6, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{7, 3}, {15, 5}, {16, 5}, {17, 5}, {18, 5}, {19, 5}, {20, 5},
                                     {30, 6}, {30, 7}, {30, 8}, {30, 9}}));
}

TEST_F(Primitives, ClippedLinesMoveTheirEndsWithTruncation) {
  open(400, 400);
  drawLine(-3, 0, 4, 2, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(395, 5, 405, 0, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{395, 5}, {396, 4}, {397, 4}, {398, 3}, {399, 3}}));

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawLine(-5, 3, -1, 90, ink);
  drawLine(10, -5, 20, -1, ink);
  drawLine(-50, 600, 450, 500, ink);
  EXPECT_TRUE(pixelsOf(ink).empty());
}

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
  std::mt19937 random(7);
  std::uniform_int_distribution<int> near(-20, 30);
  const int extremes[] = {INT_MIN, INT_MIN + 1, -70000, -1, 0, 4, 6, 7, 70000, INT_MAX - 1, INT_MAX};
  for (int a : extremes)
    for (int b : extremes) {
      drawLine(a, b, b, a, ink);
      drawLine(a, 2, b, 3, ink);
      fillRectangle(a, b, b, a, ink);
      fillCircle(a, b, 3, ink);
      floodFill(a, b, 0xFFFFFFFF, static_cast<Color>(a ^ b));
      plot(a, b, ink);
      if (a < 0 || a >= width || b < 0 || b >= height) {
        EXPECT_EQ(readPixel(a, b), 0u);
      }
    }
  for (int i = 0; i < 20000; ++i) {
    drawLine(near(random), near(random), near(random), near(random), static_cast<Color>(i));
    fillEllipse(near(random), near(random), near(random) & 15, near(random) & 15, static_cast<Color>(i));
  }
  endDrawing();
  for (int i = 0; i < guard; ++i) {
    ASSERT_EQ(buffer[i], 0xAA);
    ASSERT_EQ(buffer[buffer.size() - 1 - i], 0xAA);
  }
  for (int row = 0; row < height; ++row)
    for (int i = width * 3; i < stride; ++i) ASSERT_EQ(buffer[guard + row * stride + i], 0xAA);
}

TEST_F(Primitives, RectanglesWithNegativeSizeAndClipping) {
  open(400, 400, 0);
  fillRectangle(0, 0, 600, 500, 0xFFFFFF);
  EXPECT_EQ(pixelsOf(0xFFFFFF).size(), 160000u);
  fillRectangle(10, 0, -3, 1, ink);
  EXPECT_EQ(pixelsOf(ink), (PixelSet{{7, 0}, {8, 0}, {9, 0}}));
  fillRectangle(398, 399, 5, -2, 0x00FF00);
  EXPECT_EQ(pixelsOf(0x00FF00), (PixelSet{{398, 397}, {399, 397}, {398, 398}, {399, 398}}));
  fillRectangle(5, 5, 0, 10, 0x0000FF);
  fillRectangle(-10, -10, 10, 10, 0x0000FF);
  EXPECT_TRUE(pixelsOf(0x0000FF).empty());
}

TEST_F(Primitives, PlotReadAndTheRowOrderInMemory) {
  open(5, 3);
  plot(1, 0, 0xAB123456);
  EXPECT_EQ(readPixel(1, 0), 0x00123456u);
  const ImageRecord* record = lookupImage(image);
  const std::uint8_t* top = record->pixels.get() + 2 * record->stride + 3;  // row 0 is the last in memory
  EXPECT_EQ(top[0], 0x12);
  EXPECT_EQ(top[1], 0x34);
  EXPECT_EQ(top[2], 0x56);
  EXPECT_EQ(readPixel(5, 0), 0u);
  EXPECT_EQ(readPixel(-1, 0), 0u);
}

TEST_F(Primitives, ImageDrawsCopyClipAndBlend) {
  initImageStore();
  const ImageId source = createImage(AutoId, 400, 400);
  ASSERT_NE(beginDrawing(imageOutput(source)), 0);
  fillRectangle(0, 0, 200, 400, 0x303030);  // left half grey, right half stays black
  plot(0, 0, 0x0000FF);
  endDrawing();
  const NativeHandle handle = imageHandle(source);

  image = createImage(AutoId, 400, 400);
  ASSERT_NE(beginDrawing(imageOutput(image)), 0);
  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawImageBlended(handle, 0, 0, 80);
  EXPECT_EQ(readPixel(100, 100), 0xBEBEBEu);  // 190 = (255 * 175 + 0x30 * 80) div 255
  EXPECT_EQ(readPixel(300, 100), 0xAFAFAFu);  // 175
  drawImageBlended(handle, 0, 0, 0);
  EXPECT_EQ(readPixel(300, 100), 0xAFAFAFu);
  drawImage(handle, 0, 0);
  EXPECT_EQ(readPixel(0, 0), 0x0000FFu);
  EXPECT_EQ(readPixel(399, 399), 0u);

  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawImage(handle, -10, 0);
  EXPECT_EQ(readPixel(189, 5), 0x303030u);
  EXPECT_EQ(readPixel(190, 5), 0u);
  EXPECT_EQ(readPixel(389, 5), 0u);
  EXPECT_EQ(readPixel(390, 5), 0xFFFFFFu);
  drawImage(0, 0, 0);
  releaseImage(source);
  drawImage(handle, 0, 0);  // a released Image's handle draws nothing
  EXPECT_EQ(readPixel(390, 5), 0xFFFFFFu);
}

TEST(Blend, MatchesIntegerDivisionForEveryByteAndAlpha) {
  initImageStore();
  const ImageId source = createImage(AutoId, 256, 256);
  const ImageId target = createImage(AutoId, 256, 256);
  ASSERT_NE(beginDrawing(imageOutput(source)), 0);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) plot(x, y, static_cast<Color>(x * 0x010101));
  endDrawing();
  for (int alpha : {1, 80, 128, 254}) {
    ASSERT_NE(beginDrawing(imageOutput(target)), 0);
    for (int y = 0; y < 256; ++y) fillRectangle(0, y, 256, 1, static_cast<Color>(y * 0x010101));
    drawImageBlended(imageHandle(source), 0, 0, alpha);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const unsigned expected = (y * (255u - alpha) + x * unsigned(alpha)) / 255u;
        ASSERT_EQ(readPixel(x, y), expected * 0x010101u) << alpha << " " << x << " " << y;
      }
    endDrawing();
  }
  shutdownImageStore();
}

TEST(Surfaces, OneAtATimeAndNothingWithoutOne) {
  initImageStore();
  const ImageId a = createImage(AutoId, 4, 4);
  const ImageId b = createImage(AutoId, 4, 4);
  fillRectangle(0, 0, 4, 4, 0xFFFFFF);  // no surface open: nothing happens
  plot(0, 0, 0xFFFFFF);
  EXPECT_EQ(readPixel(0, 0), 0u);
  ASSERT_NE(beginDrawing(imageOutput(a)), 0);
  fillRectangle(0, 0, 4, 4, 0xFFFFFF);
  DrawSurface* second = imageOutput(b);  // ends the pass on a first
  EXPECT_EQ(lookupImage(a)->revision, 1u);
  ASSERT_NE(beginDrawing(second), 0);
  EXPECT_EQ(readPixel(0, 0), 0u);
  endDrawing();
  endDrawing();
  EXPECT_EQ(currentSurface(), nullptr);
  EXPECT_EQ(imageOutput(0), nullptr);
  EXPECT_EQ(beginDrawing(nullptr), 0);
  DrawTarget empty;
  EXPECT_EQ(beginDrawing(openSurface(empty)), 0);
  EXPECT_EQ(currentSurface(), nullptr);
  shutdownImageStore();
}

}  // namespace
