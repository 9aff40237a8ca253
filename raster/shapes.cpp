// Rectangles, lines and the integer ellipse: whole runs, clipped once per run.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster_ops.h"

namespace {

// Larger radii would overflow the ellipse's 64-bit error terms; nothing here needs them.
constexpr std::int32_t largestRadius = (1 << 18) - 1;

void fillColumn24(DrawSurface& s, std::int64_t x, std::int64_t y0, std::int64_t y1) {
  if (x < 0 || x >= s.width) return;
  y0 = std::max<std::int64_t>(y0, 0);
  y1 = std::min<std::int64_t>(y1, s.height - 1);
  if (y0 > y1) return;
  std::uint8_t* p = pixelAt(s, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y0));
  for (std::int64_t y = y0; y <= y1; ++y, p -= s.stride) {
    p[0] = s.blue;
    p[1] = s.green;
    p[2] = s.red;
  }
}

void plotInside(DrawSurface& s, std::int64_t x, std::int64_t y) {
  // A clipped end point may lie one step outside after truncation; it is not written.
  if (static_cast<std::uint64_t>(x) >= static_cast<std::uint64_t>(s.width) ||
      static_cast<std::uint64_t>(y) >= static_cast<std::uint64_t>(s.height))
    return;
  std::uint8_t* p = pixelAt(s, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
  p[0] = s.blue;
  p[1] = s.green;
  p[2] = s.red;
}

struct Point {
  double x, y;
};

// Moves an end point whose coordinate `along` lies outside 0..last onto the border,
// the other coordinate following the line with slope m (truncated toward zero).
void clipEnd(double& along, double& across, double m, double last) {
  const double border = along < 0 ? 0 : along > last ? last : along;
  if (border == along) return;
  across = std::trunc(across + (border - along) * m);
  along = border;
}

bool clipSegment(const DrawSurface& s, Point& a, Point& b) {
  const double lastColumn = s.width - 1;
  const double lastRow = s.height - 1;
  if ((a.x < 0 && b.x < 0) || (a.x > lastColumn && b.x > lastColumn)) return false;
  const double m = (b.y - a.y) / (b.x - a.x);
  clipEnd(a.x, a.y, m, lastColumn);
  clipEnd(b.x, b.y, m, lastColumn);
  if ((a.y < 0 && b.y < 0) || (a.y > lastRow && b.y > lastRow)) return false;
  if (a.y < 0 || a.y > lastRow || b.y < 0 || b.y > lastRow) {
    const double mr = (b.x - a.x) / (b.y - a.y);
    clipEnd(a.y, a.x, mr, lastRow);
    clipEnd(b.y, b.x, mr, lastRow);
  }
  // After both clips the points lie within a step of the target; anything else is not a line to draw.
  const auto sane = [](double v) { return std::isfinite(v) && std::fabs(v) < 2147483648.0; };
  return sane(a.x) && sane(a.y) && sane(b.x) && sane(b.y);
}

void traceLine(DrawSurface& s, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
  const bool xMajor = std::llabs(y2 - y1) <= std::llabs(x2 - x1);
  std::int64_t major1 = xMajor ? x1 : y1, minor1 = xMajor ? y1 : x1;
  std::int64_t major2 = xMajor ? x2 : y2, minor2 = xMajor ? y2 : x2;
  if (major1 > major2) {
    std::swap(major1, major2);
    std::swap(minor1, minor2);
  }
  const std::int64_t dM = major2 - major1;
  const std::int64_t dm = std::llabs(minor2 - minor1);
  const std::int64_t step = minor2 >= minor1 ? 1 : -1;
  std::int64_t e = 2 * dm - dM;
  std::int64_t minor = minor1;
  const auto put = [&](std::int64_t major) { xMajor ? plotInside(s, major, minor) : plotInside(s, minor, major); };
  put(major1);
  for (std::int64_t major = major1 + 1; major <= major2; ++major) {
    if (e < 0) {
      e += 2 * dm;
    } else {
      minor += step;
      e += 2 * (dm - dM);
    }
    put(major);
  }
}

}  // namespace

void fillRun24(DrawSurface& s, std::int64_t x0, std::int64_t x1, std::int64_t y) {
  if (y < 0 || y >= s.height) return;
  x0 = std::max<std::int64_t>(x0, 0);
  x1 = std::min<std::int64_t>(x1, s.width - 1);
  if (x0 > x1) return;
  std::uint8_t* p = pixelAt(s, static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y));
  const std::int64_t n = x1 - x0 + 1;
  if (s.red == s.green && s.green == s.blue) {
    std::memset(p, s.red, static_cast<std::size_t>(n) * 3);
    return;
  }
  for (std::int64_t i = 0; i < n; ++i, p += 3) {
    p[0] = s.blue;
    p[1] = s.green;
    p[2] = s.red;
  }
}

void fillRectangle24(DrawSurface& s, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  std::int64_t x0 = x, y0 = y, w = width, h = height;
  if (w < 0) { x0 += w; w = -w; }
  if (h < 0) { y0 += h; h = -h; }
  if (x0 < 0) { w += x0; x0 = 0; }
  if (y0 < 0) { h += y0; y0 = 0; }
  w = std::min<std::int64_t>(w, s.width - x0);
  h = std::min<std::int64_t>(h, s.height - y0);
  if (w <= 0 || h <= 0) return;
  const bool grey = s.red == s.green && s.green == s.blue;
  if (grey && w == s.width && s.stride == s.width * 3) {
    // Whole rows without padding lie back to back: one fill for the block.
    std::memset(pixelAt(s, 0, static_cast<std::int32_t>(y0 + h - 1)), s.red, static_cast<std::size_t>(w * h * 3));
    return;
  }
  for (std::int64_t row = y0; row < y0 + h; ++row) fillRun24(s, x0, x0 + w - 1, row);
}

void drawLine24(DrawSurface& s, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  if (y1 == y2) {
    fillRun24(s, std::min(x1, x2), std::max(x1, x2), y1);
    return;
  }
  if (x1 == x2) {
    fillColumn24(s, x1, std::min(y1, y2), std::max(y1, y2));
    return;
  }
  Point a{static_cast<double>(x1), static_cast<double>(y1)};
  Point b{static_cast<double>(x2), static_cast<double>(y2)};
  if (!clipSegment(s, a, b)) return;
  traceLine(s, static_cast<std::int64_t>(a.x), static_cast<std::int64_t>(a.y), static_cast<std::int64_t>(b.x),
            static_cast<std::int64_t>(b.y));
}

void fillEllipse24(DrawSurface& s, std::int32_t cx, std::int32_t cy, std::int32_t a, std::int32_t b) {
  if (a < 0 || b < 0 || a > largestRadius || b > largestRadius) return;
  const std::int64_t A = std::int64_t{a} * a, B = std::int64_t{b} * b;
  std::int64_t S = 0, T = 4 * B * a;
  std::int64_t d1 = A / 2 - 4 * B * a + 2 * B;
  std::int64_t d2 = B / 2 - 2 * B * a + 2 * A;
  std::int64_t x = a, y = 0;
  while (d1 < 0) {
    fillRun24(s, cx - x, cx + x, cy + y);
    if (y > 0) fillRun24(s, cx - x, cx + x, cy - y);
    ++y;
    S += 4 * A;
    if (d2 < 0) {
      d1 += S;
      d2 += S + 2 * A;
    } else {
      --x;
      T -= 4 * B;
      d1 += S - T + 2 * B;
      d2 += S - T + 2 * A;
    }
  }
  const std::int64_t y0 = y;
  std::int64_t k = 1;
  while (x >= 0) {
    fillColumn24(s, cx + x, cy + y0, cy + y0 + k - 1);
    fillColumn24(s, cx + x, cy - y0 - k + 1, cy - y0);
    if (x != 0) {
      fillColumn24(s, cx - x, cy + y0, cy + y0 + k - 1);
      fillColumn24(s, cx - x, cy - y0 - k + 1, cy - y0);
    }
    --x;
    T -= 4 * B;
    if (d1 < 0) {
      S += 4 * A;
      ++k;
      d1 += S - T + 2 * B;
    } else {
      d1 += 2 * B - T;
    }
  }
}
