#include <deque>
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

// Every channel differs within each colour, so a channel read for another shows; each stray
// colour differs from the outline in one channel only.
constexpr Color outline = 0x3A2010, background = 0xC0B0A0;
constexpr Color strays[] = {0x3A2011, 0x3A2110, 0x3B2010};

class FloodFill : public SurfaceTest {};

void polygon(const std::vector<std::pair<int, int>>& points, Color color) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto& [x1, y1] = points[i];
    const auto& [x2, y2] = points[(i + 1) % points.size()];
    drawLine(x1, y1, x2, y2, color);
  }
}

// The region a plain breadth-first search finds: pixels not of the outline's colour,
// 4-connected to the seed.
PixelSet reference(int sx, int sy, int width, int height) {
  PixelSet region;
  const auto open = [&](int x, int y) { return readPixel(x, y) != outline; };
  if (!open(sx, sy)) return region;
  std::deque<std::pair<int, int>> queue{{sx, sy}};
  region.insert({sx, sy});
  while (!queue.empty()) {
    const auto [x, y] = queue.front();
    queue.pop_front();
    const std::pair<int, int> next[] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    for (const auto& [nx, ny] : next) {
      if (nx < 0 || ny < 0 || nx >= width || ny >= height || region.count({nx, ny})) continue;
      if (!open(nx, ny)) continue;
      region.insert({nx, ny});
      queue.push_back({nx, ny});
    }
  }
  return region;
}

TEST_F(FloodFill, RandomClosedOutlinesFillExactlyTheSearchedRegion) {
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const int width = 8 + static_cast<int>(random() % 40), height = 8 + static_cast<int>(random() % 40);
    open(width, height);
    fillRectangle(0, 0, width, height, background);
    std::uniform_int_distribution<int> px(-3, width + 2), py(-3, height + 2);
    std::vector<std::pair<int, int>> points;
    const int corners = 3 + static_cast<int>(random() % 6);
    for (int i = 0; i < corners; ++i) points.push_back({px(random), py(random)});
    polygon(points, outline);
    for (int i = 0; i < 3; ++i) plot(px(random) & 7, py(random) & 7, strays[i]);  // other colours stay open
    // Seeds lie inside, outside and on the outline.
    const int sx = static_cast<int>(random() % width), sy = static_cast<int>(random() % height);
    const PixelSet expected = reference(sx, sy, width, height);
    std::vector<Color> before;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) before.push_back(readPixel(x, y));
    floodFill(sx, sy, outline);  // a seed on the outline is not open: nothing is filled
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Color want = expected.count({x, y}) ? outline : before[static_cast<std::size_t>(y * width + x)];
        ASSERT_EQ(readPixel(x, y), want) << "round " << round << " at " << x << "," << y;
      }
    TearDown();
  }
}

}  // namespace
