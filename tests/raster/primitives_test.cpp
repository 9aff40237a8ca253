#include <climits>
#include <functional>
#include <random>

#include "support/raster_fixture.h"

namespace {

constexpr Color ink = 0x123456;

class Primitives : public SurfaceTest {
 protected:
  // The pixels one drawing leaves in ink on a white target.
  PixelSet drawn(const std::function<void()>& draw) {
    const DrawSurface* s = currentSurface();
    fillRectangle(0, 0, s->width, s->height, 0xFFFFFF);
    draw();
    return pixelsOf(ink);
  }
};

TEST_F(Primitives, DiscsHaveTheirExactRows) {
  struct Case {
    int radius;
    std::size_t count;
    std::vector<int> halfWidths;  // from the centre row outwards
  };
  const Case cases[] = {
      {0, 1, {0}},
      {1, 5, {1, 0}},
      {2, 21, {2, 2, 1}},
      {3, 37, {3, 3, 2, 1}},
      {23, 1733, {23, 23, 23, 23, 23, 22, 22, 22, 22, 21, 21, 20, 20, 19, 18, 17, 17, 16, 14, 13, 12, 10, 8, 4}},
      {28, 2553, {28, 28, 28, 28, 28, 28, 27, 27, 27, 27, 26, 26, 25, 25, 24, 24, 23, 22, 21, 21, 20, 19, 17, 16, 15,
                  13, 11, 9, 5}}};
  open(100, 100);
  for (const Case& c : cases) {
    const PixelSet disc = drawn([&] { fillCircle(50, 50, c.radius, ink); });
    EXPECT_EQ(disc.size(), c.count) << c.radius;
    EXPECT_EQ(halfWidths(disc, 50, 50), c.halfWidths) << c.radius;
    for (const auto& [x, y] : disc) ASSERT_TRUE(disc.count({100 - x, y}) && disc.count({x, 100 - y}) && disc.count({y, x}));
  }
  EXPECT_EQ(drawn([] {
              fillCircle(50, 50, 28, ink);
              fillCircle(50, 50, 23, 0xFFFFFF);
            }).size(),
            820u);
  const PixelSet ellipse = drawn([] { fillEllipse(50, 50, 7, 3, ink); });
  EXPECT_EQ(ellipse.size(), 85u);
  EXPECT_EQ(halfWidths(ellipse, 50, 50), (std::vector<int>{7, 7, 6, 3}));
  EXPECT_EQ(drawn([] { fillCircle(0, 0, 3, ink); }).size(), 4u + 4u + 3u + 2u);  // the quarter inside
  EXPECT_TRUE(drawn([] { fillCircle(10, 10, -1, ink); }).empty());
}

TEST_F(Primitives, LinesCoverTheTracedPixelsInEitherDirectionAndClipByTruncation) {
  struct Case {
    int x1, y1, x2, y2;
    PixelSet pixels;
  };
  const PixelSet shallow{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
  const Case cases[] = {
      {0, 0, 4, 2, shallow},
      {4, 2, 0, 0, shallow},
      {-3, 0, 4, 2, shallow},
      {0, 0, 1, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}}},
      {10, 10, 2, 12, {{2, 12}, {3, 12}, {4, 11}, {5, 11}, {6, 11}, {7, 11}, {8, 10}, {9, 10}, {10, 10}}},
      {395, 5, 405, 0, {{395, 5}, {396, 4}, {397, 4}, {398, 3}, {399, 3}}},
      {7, 3, 7, 3, {{7, 3}}},
      {20, 5, 17, 5, {{17, 5}, {18, 5}, {19, 5}, {20, 5}}},
      {30, 8, 30, 6, {{30, 6}, {30, 7}, {30, 8}}},
      {-5, 3, -1, 90, {}},
      {10, -5, 20, -1, {}},
      {-50, 600, 450, 500, {}},
  };
  open(400, 400);
  for (const Case& c : cases)
    EXPECT_EQ(drawn([&] { drawLine(c.x1, c.y1, c.x2, c.y2, ink); }), c.pixels) << c.x1 << "," << c.y1 << " " << c.x2;
}

TEST_F(Primitives, RectanglesWithNegativeSizeAndClipping) {
  open(400, 400, 0);
  EXPECT_EQ(drawn([] { fillRectangle(0, 0, 600, 500, ink); }).size(), 160000u);
  EXPECT_EQ(drawn([] { fillRectangle(10, 0, -3, 1, ink); }), (PixelSet{{7, 0}, {8, 0}, {9, 0}}));
  EXPECT_EQ(drawn([] { fillRectangle(398, 399, 5, -2, ink); }), (PixelSet{{398, 397}, {399, 397}, {398, 398}, {399, 398}}));
  EXPECT_TRUE(drawn([] {
                fillRectangle(5, 5, 0, 10, ink);
                fillRectangle(-10, -10, 10, 10, ink);
              }).empty());
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

TEST_F(Primitives, PlotAndReadUseBottomUpRowsOfBlueGreenRed) {
  open(5, 3);
  plot(1, 0, 0xAB123456);
  EXPECT_EQ(readPixel(1, 0), 0x00123456u);
  const ImageRecord* record = lookupImage(image);
  const std::uint8_t* top = record->pixels.get() + 2 * record->stride + 3;  // row 0 is the last in memory
  EXPECT_EQ((std::vector<int>{top[0], top[1], top[2]}), (std::vector<int>{0x12, 0x34, 0x56}));
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
  fillRectangle(0, 0, 400, 400, 0xFFFFFF);
  drawImage(handle, -10, 0);
  EXPECT_EQ((std::vector<Color>{readPixel(189, 5), readPixel(190, 5), readPixel(389, 5), readPixel(390, 5)}),
            (std::vector<Color>{0x303030, 0, 0, 0xFFFFFF}));
  releaseImage(source);
  drawImage(handle, 0, 0);  // a released Image's handle draws nothing
  EXPECT_EQ(readPixel(390, 5), 0xFFFFFFu);
}

TEST(Blend, MatchesIntegerDivisionForEveryByteAndAlpha) {
  initImageStore();
  const ImageId source = createImage(AutoId, 256, 256);
  const ImageId target = createImage(AutoId, 256, 256);
  ASSERT_NE(beginDrawing(imageOutput(source)), 0);
  for (int x = 0; x < 256; ++x) fillRectangle(x, 0, 1, 256, static_cast<Color>(x * 0x010101));
  endDrawing();
  for (int alpha : {1, 80, 128, 254}) {
    ASSERT_NE(beginDrawing(imageOutput(target)), 0);
    for (int y = 0; y < 256; ++y) fillRectangle(0, y, 256, 1, static_cast<Color>(y * 0x010101));
    drawImageBlended(imageHandle(source), 0, 0, alpha);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_EQ(readPixel(x, y), (y * (255u - alpha) + x * unsigned(alpha)) / 255u * 0x010101u) << alpha;
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
