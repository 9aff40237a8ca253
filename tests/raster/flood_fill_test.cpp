// The flood fill against a plain breadth-first search, on random closed outlines: the caps of
// the figure are convex, but a fill that only works for convex regions is still wrong.
#include <deque>
#include <random>
#include <set>

#include "support/raster_test.h"

namespace {

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
