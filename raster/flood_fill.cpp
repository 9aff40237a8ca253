// Border and surface flood fill: scanline spans from an explicit stack, no recursion.
#include "raster_ops.h"

namespace {

struct Fill {
  DrawSurface& s;
  std::uint8_t key[3];  // blue, green, red of the outline (border fill) or the seed (surface fill)
  bool border;
  std::vector<std::uint8_t>* visited;  // set when painted pixels would stay open

  bool matches(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* p = pixelAt(s, x, y);
    return p[0] == key[0] && p[1] == key[1] && p[2] == key[2];
  }
  bool open(std::int32_t x, std::int32_t y) const {
    if (visited && (*visited)[static_cast<std::size_t>(y) * s.width + x]) return false;
    return matches(x, y) != border;
  }
  void paint(std::int32_t x0, std::int32_t x1, std::int32_t y) {
    fillRun24(s, x0, x1, y);
    if (!visited) return;
    for (std::int32_t x = x0; x <= x1; ++x) (*visited)[static_cast<std::size_t>(y) * s.width + x] = 1;
  }
};

std::int64_t pack(std::int32_t x, std::int32_t y) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 32 |
                                   static_cast<std::uint32_t>(x));
}

// Pushes one seed for every run of open pixels in row y over columns x0..x1.
void pushRuns(const Fill& f, std::vector<std::int64_t>& pending, std::int32_t x0, std::int32_t x1, std::int32_t y) {
  bool inRun = false;
  for (std::int32_t x = x0; x <= x1; ++x) {
    const bool isOpen = f.open(x, y);
    if (isOpen && !inRun) pending.push_back(pack(x, y));
    inRun = isOpen;
  }
}

}  // namespace

void floodFill24(DrawSurface& s, std::int32_t x, std::int32_t y, Color outlineColor) {
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
  if (!s.flood) s.flood = std::make_unique<FloodWork>();
  FloodWork& work = *s.flood;
  const bool border = outlineColor != 0xFFFFFFFFu;
  const std::uint8_t* seed = pixelAt(s, x, y);
  Fill f{s, {seed[0], seed[1], seed[2]}, border, nullptr};
  if (border) {
    f.key[0] = static_cast<std::uint8_t>(outlineColor >> 16);
    f.key[1] = static_cast<std::uint8_t>(outlineColor >> 8);
    f.key[2] = static_cast<std::uint8_t>(outlineColor);
  }
  // Painting closes a pixel only when the fill colour itself is not open.
  const bool fillIsKey = s.blue == f.key[0] && s.green == f.key[1] && s.red == f.key[2];
  if (border != fillIsKey) {
    work.visited.assign(static_cast<std::size_t>(s.width) * s.height, 0);
    f.visited = &work.visited;
  }
  if (!f.open(x, y)) return;
  work.pending.clear();
  work.pending.push_back(pack(x, y));
  while (!work.pending.empty()) {
    const auto packed = static_cast<std::uint64_t>(work.pending.back());
    work.pending.pop_back();
    const auto sx = static_cast<std::int32_t>(packed & 0xFFFFFFFFu);
    const auto sy = static_cast<std::int32_t>(packed >> 32);
    if (!f.open(sx, sy)) continue;
    std::int32_t left = sx, right = sx;
    while (left > 0 && f.open(left - 1, sy)) --left;
    while (right < s.width - 1 && f.open(right + 1, sy)) ++right;
    f.paint(left, right, sy);
    if (sy > 0) pushRuns(f, work.pending, left, right, sy - 1);
    if (sy < s.height - 1) pushRuns(f, work.pending, left, right, sy + 1);
  }
}
