// Border and surface flood fill: Heckbert's scanline seed fill with an explicit stack of
// pending spans. Each span remembers the row it came from, so that row is not scanned again
// except where the new span reaches beyond it.
#include "raster_ops.h"

namespace {

struct Region {
  std::uint8_t* base;
  std::int32_t width, height;
  std::ptrdiff_t stride;
  std::uint8_t key0, key1, key2;  // blue, green, red of the outline or of the seed
  bool border;  // open = differs from the key; otherwise open = equals it
  std::uint8_t blue, green, red;
  std::uint8_t* visited;  // used when painted pixels would stay open

  std::uint8_t* row(std::int32_t y) const { return base + static_cast<std::ptrdiff_t>(height - 1 - y) * stride; }
  template <bool tracked>
  bool open(const std::uint8_t* rowStart, std::int32_t x, std::int32_t y) const {
    if (tracked && visited[static_cast<std::ptrdiff_t>(y) * width + x]) return false;
    const std::uint8_t* p = rowStart + static_cast<std::ptrdiff_t>(x) * 3;
    return (p[0] == key0 && p[1] == key1 && p[2] == key2) != border;
  }
  // Paints columns from..to of a row that were found open.
  template <bool tracked>
  void paint(std::uint8_t* rowStart, std::int32_t from, std::int32_t to, std::int32_t y) const {
    for (std::uint8_t* p = rowStart + static_cast<std::ptrdiff_t>(from) * 3; from <= to; ++from, p += 3) {
      p[0] = blue;
      p[1] = green;
      p[2] = red;
      if (tracked) visited[static_cast<std::ptrdiff_t>(y) * width + from] = 1;
    }
  }
};

template <bool tracked>
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
    while (cx >= 0 && r.open<tracked>(line, cx, s.y)) --cx;
    std::int32_t left = cx + 1;
    bool skipFirst = cx >= s.left;
    if (!skipFirst) {
      r.paint<tracked>(line, left, s.left, s.y);
      if (left < s.left) push(s.y, left, s.left - 1, -s.dy);  // leaks back past the parent's left end
      cx = s.left + 1;
    }
    do {
      if (!skipFirst) {
        const std::int32_t from = cx;
        while (cx < r.width && r.open<tracked>(line, cx, s.y)) ++cx;
        r.paint<tracked>(line, from, cx - 1, s.y);
        push(s.y, left, cx - 1, s.dy);
        if (cx > s.right + 1) push(s.y, s.right + 1, cx - 1, -s.dy);  // and past its right end
      }
      skipFirst = false;
      for (++cx; cx <= s.right && !r.open<tracked>(line, cx, s.y); ++cx) {
      }
      left = cx;
    } while (cx <= s.right);
  }
}

}  // namespace

void floodFill24(DrawSurface& s, std::int32_t x, std::int32_t y, Color outlineColor) {
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
  if (!s.flood) s.flood = std::make_unique<FloodWork>();
  FloodWork& work = *s.flood;
  const bool border = outlineColor != 0xFFFFFFFFu;
  const std::uint8_t* seed = pixelAt(s, x, y);
  Region r{s.pixels, s.width, s.height, s.stride, seed[0], seed[1], seed[2], border, s.blue, s.green, s.red, nullptr};
  if (border) {
    r.key0 = static_cast<std::uint8_t>(outlineColor >> 16);
    r.key1 = static_cast<std::uint8_t>(outlineColor >> 8);
    r.key2 = static_cast<std::uint8_t>(outlineColor);
  }
  // Painting closes a pixel only when the fill colour itself is not open.
  const bool fillIsKey = r.blue == r.key0 && r.green == r.key1 && r.red == r.key2;
  if (border != fillIsKey) {
    work.visited.assign(static_cast<std::size_t>(s.width) * s.height, 0);
    r.visited = work.visited.data();
  }
  if (r.visited) {
    if (r.open<true>(r.row(y), x, y)) fill<true>(r, work.pending, x, y);
  } else if (r.open<false>(r.row(y), x, y)) {
    fill<false>(r, work.pending, x, y);
  }
}
