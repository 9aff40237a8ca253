// Memory safety of the image store and the primitives (whatever they are given, they write
// inside their target only), and the flood fill against a plain breadth-first search on
// random closed outlines: the caps of the figure are convex, but a fill that only works for
// convex regions is still wrong.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <deque>
#include <random>
#include <set>

#include "raster.h"

namespace {

// A fresh image store for each test, and no drawing pass left open by a failed one.
class RasterTest : public testing::Test {
 protected:
  void SetUp() override { initImageStore(); }
  void TearDown() override {
    endDrawing();
    shutdownImageStore();
  }
};

using ImageStore = RasterTest;

TEST_F(ImageStore, IdsAndHandlesNameOneImageAndNothingOnceItIsGone) {
  const ImageId a = createImage(400, 400), b = createImage(400, 400);
  ASSERT_NE(a, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(imageHandle(a), imageHandle(b));
  const ImageRecord* record = lookupImage(a);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(lookupHandle(imageHandle(a)), record);
  for (int i = 0; i < 480000; ++i) ASSERT_EQ(record->pixels[i], 0);  // black
  const NativeHandle handleOfA = imageHandle(a);
  releaseImage(a);
  const ImageId c = createImage(400, 400);  // takes a's slot, never its id or handle
  EXPECT_NE(c, a);
  EXPECT_NE(imageHandle(c), handleOfA);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  for (const ImageId madeUp : {b ^ (ImageId{1} << 40), ImageId{123456789}, ImageId{-7}, ImageId{0}})
    EXPECT_EQ(lookupImage(madeUp), nullptr) << madeUp;
  EXPECT_EQ(lookupHandle(0), nullptr);
  EXPECT_EQ(lookupHandle(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(imageHandle(a), 0u) << "a released Image names no raster";
  EXPECT_EQ(createImage(32768, 1), 0);  // the record's 16-bit sizes end at 32767
  EXPECT_EQ(createImage(1, 32768), 0);
  EXPECT_EQ(createImage(1, 0), 0);
  EXPECT_NE(createImage(32767, 1), 0);
  EXPECT_EQ(liveImageCount(), 3u);
  shutdownImageStore();
  EXPECT_EQ(liveImageCount(), 0u);
  EXPECT_EQ(lookupImage(b), nullptr);
}

constexpr Color ink = 0x123456;

// Packed, an Image reads back byte for byte, however its expansion came and went in the cache,
// and one made after another was released never reads the old one's expansion.
TEST_F(ImageStore, APackedImageReadsBackByteForByte) {
  std::vector<ImageId> images;
  std::vector<std::vector<std::uint8_t>> drawn;
  const auto drawAndPack = [&](int i) {
    const ImageId image = createImage(400, 400);
    beginDrawing(imageOutput(image));
    fillRectangle(0, 0, 400, 400, 0xFFFFFF);
    fillCircle(60 + 40 * i, 200, 28, ink);
    drawLine(0, 7 * i, 399, 399 - i, 0x303030u + static_cast<Color>(i));
    endDrawing();
    const std::uint8_t* pixels = lookupImage(image)->pixels.get();
    drawn.emplace_back(pixels, pixels + 480000);
    EXPECT_TRUE(packImage(image));
    images.push_back(image);
  };
  for (int i = 0; i < 5; ++i) drawAndPack(i);
  for (const int i : {0, 1, 2, 3, 4, 4, 0, 2})
    EXPECT_EQ(std::memcmp(imagePixels(*lookupImage(images[i])), drawn[i].data(), 480000), 0) << i;
  EXPECT_EQ(imageOutput(images[0]), nullptr) << "a packed Image is not drawn on";
  releaseImage(images[2]);  // expanded just now; the next record may take its place in memory
  drawAndPack(5);
  EXPECT_EQ(std::memcmp(imagePixels(*lookupImage(images.back())), drawn.back().data(), 480000), 0);
}

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
  const int extremes[] = {INT_MIN, INT_MIN + 1, -70000, -1, 0, 4, 5, 6, 7, 70000, INT_MAX - 1, INT_MAX};  // 5, 7: the sizes
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

// Every channel differs within each colour, so a channel read for another shows; each stray
// colour differs from the outline in one channel only.
constexpr Color outline = 0x3A2010, background = 0xC0B0A0;
constexpr Color strays[] = {0x3A2011, 0x3A2110, 0x3B2010};

// The pixels not of the outline's colour that are 4-connected to the seed.
std::set<std::pair<int, int>> searched(int sx, int sy, int width, int height) {
  std::set<std::pair<int, int>> region;
  std::deque<std::pair<int, int>> queue{{sx, sy}};
  while (!queue.empty()) {
    const auto [x, y] = queue.front();
    queue.pop_front();
    if (x < 0 || y < 0 || x >= width || y >= height || readPixel(x, y) == outline || !region.insert({x, y}).second)
      continue;
    for (const auto& next : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}) queue.push_back(next);
  }
  return region;
}

using FloodFill = RasterTest;

// 300 rounds have missed a fault that 2000 find.
TEST_F(FloodFill, RandomClosedOutlinesFillExactlyTheSearchedRegion) {
  std::mt19937 random(2024);
  for (int round = 0; round < 2000; ++round) {
    const int width = 8 + static_cast<int>(random() % 40), height = 8 + static_cast<int>(random() % 40);
    const ImageId image = createImage(width, height);
    ASSERT_NE(beginDrawing(imageOutput(image)), 0);
    fillRectangle(0, 0, width, height, background);
    std::uniform_int_distribution<int> px(-3, width + 2), py(-3, height + 2);
    const int corners = 3 + static_cast<int>(random() % 6);
    const int x0 = px(random), y0 = py(random);
    int x = x0, y = y0;
    for (int i = 1; i <= corners; ++i) {
      const int nx = i == corners ? x0 : px(random), ny = i == corners ? y0 : py(random);
      drawLine(x, y, nx, ny, outline);
      x = nx, y = ny;
    }
    for (const Color stray : strays) plot(px(random) & 7, py(random) & 7, stray);  // other colours stay open
    // Seeds lie inside, outside and on the outline, where nothing is filled.
    const int sx = static_cast<int>(random() % width), sy = static_cast<int>(random() % height);
    const auto expected = searched(sx, sy, width, height);
    std::vector<Color> before;
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column) before.push_back(readPixel(column, row));
    floodFill(sx, sy, outline);
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column)
        ASSERT_EQ(readPixel(column, row),
                  expected.count({column, row}) ? outline : before[static_cast<std::size_t>(row * width + column)])
            << "round " << round << " at " << column << "," << row;
    endDrawing();
    releaseImage(image);
  }
}

}  // namespace
