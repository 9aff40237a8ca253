#include <deque>
#include <random>

#include "support/raster_fixture.h"

namespace {

constexpr Color outline = 0x3A3030;

class FloodFill : public SurfaceTest {};

void polygon(const std::vector<std::pair<int, int>>& points, Color color) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto& [x1, y1] = points[i];
    const auto& [x2, y2] = points[(i + 1) % points.size()];
    drawLine(x1, y1, x2, y2, color);
  }
}

// The region a plain breadth-first search finds: open pixels 4-connected to the seed.
PixelSet reference(int sx, int sy, Color border, int width, int height) {
  PixelSet region;
  if (readPixel(sx, sy) == border) return region;
  std::deque<std::pair<int, int>> queue{{sx, sy}};
  region.insert({sx, sy});
  while (!queue.empty()) {
    const auto [x, y] = queue.front();
    queue.pop_front();
    const std::pair<int, int> next[] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    for (const auto& [nx, ny] : next) {
      if (nx < 0 || ny < 0 || nx >= width || ny >= height || region.count({nx, ny})) continue;
      if (readPixel(nx, ny) == border) continue;
      region.insert({nx, ny});
      queue.push_back({nx, ny});
    }
  }
  return region;
}

TEST_F(FloodFill, SquareAndDiamondFillSolidWithoutLeaking) {
  open(20, 20);
  polygon({{1, 1}, {5, 1}, {5, 5}, {1, 5}}, outline);
  floodFill(3, 3, outline, outline);
  PixelSet square;
  for (int y = 1; y <= 5; ++y)
    for (int x = 1; x <= 5; ++x) square.insert({x, y});
  EXPECT_EQ(pixelsOf(outline), square);

  fillRectangle(0, 0, 20, 20, 0xFFFFFF);
  polygon({{4, 0}, {8, 4}, {4, 8}, {0, 4}}, outline);
  floodFill(4, 4, outline, outline);
  EXPECT_EQ(pixelsOf(outline).size(), 41u);
  EXPECT_EQ(pixelsOf(0xFFFFFF).size(), 400u - 41u);
}

TEST_F(FloodFill, SeedsOutsideOrOnTheOutlineFillNothing) {
  open(20, 20);
  polygon({{1, 1}, {5, 1}, {5, 5}, {1, 5}}, outline);
  floodFill(-14, -14, outline, 0x0000FF);
  floodFill(20, 3, outline, 0x0000FF);
  floodFill(1, 3, outline, 0x0000FF);  // the seed itself is outline: not open
  EXPECT_TRUE(pixelsOf(0x0000FF).empty());
}

TEST_F(FloodFill, BorderFillWithAnotherColourKeepsDiagonalNeighbours) {
  open(9, 9);
  polygon({{1, 1}, {5, 1}, {5, 5}, {1, 5}}, outline);
  plot(3, 3, 0x00FF00);  // already the fill colour: still inside the region
  plot(5, 5, 0xFFFFFF);  // a gap at the corner opens only diagonally onto (6, 6)
  plot(6, 6, 0x123456);
  floodFill(2, 2, outline, 0x00FF00);
  EXPECT_EQ(pixelsOf(0x00FF00).size(), 9u);
  EXPECT_EQ(readPixel(6, 6), 0x123456u);
  EXPECT_EQ(readPixel(0, 0), 0xFFFFFFu);
}

TEST_F(FloodFill, SurfaceFillTakesTheSeedColour) {
  open(9, 9);
  polygon({{1, 1}, {5, 1}, {5, 5}, {1, 5}}, outline);
  floodFill(0, 0, 0xFFFFFFFF, 0x0000FF);  // the white outside, up to the square
  EXPECT_EQ(pixelsOf(0x0000FF).size(), 81u - 25u);
  floodFill(3, 3, 0xFFFFFFFF, 0xFFFFFF);  // fill colour equal to the seed colour: terminates, changes nothing
  EXPECT_EQ(pixelsOf(0xFFFFFF).size(), 9u);
}

TEST_F(FloodFill, RandomClosedOutlinesFillExactlyTheSearchedRegion) {
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const int width = 8 + static_cast<int>(random() % 40), height = 8 + static_cast<int>(random() % 40);
    open(width, height);
    std::uniform_int_distribution<int> px(-3, width + 2), py(-3, height + 2);
    std::vector<std::pair<int, int>> points;
    const int corners = 3 + static_cast<int>(random() % 6);
    for (int i = 0; i < corners; ++i) points.push_back({px(random), py(random)});
    polygon(points, outline);
    for (int i = 0; i < 3; ++i) plot(px(random) & 7, py(random) & 7, 0x00FF00);  // stray pixels of the fill colour
    const int sx = static_cast<int>(random() % width), sy = static_cast<int>(random() % height);
    const Color fill = round % 2 ? outline : 0x00FF00;
    const PixelSet expected = reference(sx, sy, outline, width, height);
    std::vector<Color> before;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) before.push_back(readPixel(x, y));
    floodFill(sx, sy, outline, fill);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Color want = expected.count({x, y}) ? fill : before[static_cast<std::size_t>(y * width + x)];
        ASSERT_EQ(readPixel(x, y), want) << "round " << round << " at " << x << "," << y;
      }
    TearDown();
  }
}

}  // namespace
