// Border flood fill in the outline's own colour: Heckbert's scanline seed fill with an
// explicit stack of pending spans. Each span remembers the row it came from, so that row is
// not scanned again except where the new span reaches beyond it. A painted pixel has the
// outline's colour, so it is closed at once and no pixel is visited twice.
#include "raster_ops.h"

namespace {

struct Region {
  std::uint8_t* base;
  std::int32_t width, height;
  std::ptrdiff_t stride;
  std::uint8_t blue, green, red;  // of the outline and the fill

  std::uint8_t* row(std::int32_t y) const { return base + static_cast<std::ptrdiff_t>(height - 1 - y) * stride; }
  bool open(const std::uint8_t* rowStart, std::int32_t x) const {
    const std::uint8_t* p = rowStart + static_cast<std::ptrdiff_t>(x) * 3;
    return p[0] != blue || p[1] != green || p[2] != red;
  }
  // Paints columns from..to of a row that were found open.
  void paint(std::uint8_t* rowStart, std::int32_t from, std::int32_t to) const {
    for (std::uint8_t* p = rowStart + static_cast<std::ptrdiff_t>(from) * 3; from <= to; ++from, p += 3) {
      p[0] = blue;
      p[1] = green;
      p[2] = red;
    }
  }
};

void fill(const Region& r, std::vector<FloodSpan>& stack, std::int32_t x, std::int32_t y) {
  const auto push = [&](std::int32_t row, std::int32_t left, std::int32_t right, std::int32_t dy) {
    if (row + dy >= 0 && row + dy < r.height) stack.push_back({row + dy, left, right, dy});
  };
  stack.clear();
  push(y, x, x, 1);
  push(y + 1, x, x, -1);
  while (!stack.empty()) {
    const FloodSpan s = stack.back();
    stack.pop_back();
    std::uint8_t* line = r.row(s.y);
    std::int32_t cx = s.left;
    while (cx >= 0 && r.open(line, cx)) --cx;
    std::int32_t left = cx + 1;
    bool skipFirst = cx >= s.left;
    if (!skipFirst) {
      r.paint(line, left, s.left);
      if (left < s.left) push(s.y, left, s.left - 1, -s.dy);  // leaks back past the parent's left end
      cx = s.left + 1;
    }
    do {
      if (!skipFirst) {
        const std::int32_t from = cx;
        while (cx < r.width && r.open(line, cx)) ++cx;
        r.paint(line, from, cx - 1);
        push(s.y, left, cx - 1, s.dy);
        if (cx > s.right + 1) push(s.y, s.right + 1, cx - 1, -s.dy);  // and past its right end
      }
      skipFirst = false;
      for (++cx; cx <= s.right && !r.open(line, cx); ++cx) {
      }
      left = cx;
    } while (cx <= s.right);
  }
}

}  // namespace

void floodFill24(DrawSurface& s, std::int32_t x, std::int32_t y) {
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
  const Region r{s.pixels, s.width, s.height, s.stride, s.blue, s.green, s.red};
  if (r.open(r.row(y), x)) fill(r, s.floodSpans, x, y);
}
