// The initial pose, the handle hit test and the drag update.
#include <cmath>
#include <limits>

#include "figure.h"

namespace {

struct Pose {
  std::int32_t x, y, angle, length, maxLength;
  int parent;  // -1: the start point is given
};

constexpr Pose initialPose[segmentCount] = {
    {200, 100, 190, 60, 60, -1}, {0, 0, 185, 55, 0, 0},    {200, 100, 170, 60, 60, -1},
    {0, 0, 175, 55, 0, 2},       {200, 230, 175, 70, 0, -1}, {0, 0, 178, 65, 0, 4},
    {200, 230, 185, 70, 0, -1},  {0, 0, 182, 65, 0, 6},      {200, 100, 180, 130, 0, -1},
    {200, 230, 0, 130, 0, -1},   {200, 100, 0, 65, 0, -1}};

// The end of a Segment from its stored end vector, as the last render left it.
void startAtEndOf(Segment& child, const Segment& parent) {
  child.x = roundToInt(parent.x + static_cast<double>(parent.dx), child.x);
  child.y = roundToInt(parent.y + static_cast<double>(parent.dy), child.y);
}

void followPointerLength(Segment& arm, std::int32_t px, std::int32_t py) {
  const auto square = [](std::int64_t d) {
    return static_cast<double>(std::pow(static_cast<float>(d), 2.0f));
  };
  const double distance = std::sqrt(square(std::int64_t{arm.x} - px) + square(std::int64_t{arm.y} - py));
  const std::int32_t v = roundToInt(distance, arm.maxLength);
  if (v > arm.maxLength) arm.length = arm.maxLength;
  else if (v > 20) arm.length = v;
  else arm.length = 20;
}

// The Segments that hang on the dragged one start again where their parents' stored end vectors end.
void attachChain(Figure& f, int a) {
  switch (a) {
    case 0:
    case 2:
    case 4:
    case 6:
      startAtEndOf(f[a + 1], f[a]);
      break;
    case 8:
      startAtEndOf(f[4], f[8]);
      startAtEndOf(f[6], f[8]);
      startAtEndOf(f[5], f[4]);
      startAtEndOf(f[7], f[6]);
      f[9].angle = f[8].angle + 180;
      startAtEndOf(f[9], f[8]);
      break;
    case 9:
      startAtEndOf(f[8], f[9]);
      f[8].angle = f[9].angle - 180;
      startAtEndOf(f[0], f[9]);
      startAtEndOf(f[2], f[9]);
      startAtEndOf(f[1], f[0]);
      startAtEndOf(f[3], f[2]);
      startAtEndOf(f[10], f[9]);
      break;
    default:
      break;
  }
}

}  // namespace

float radians(double degrees) { return static_cast<float>(degrees * 0.017453292519943295); }
double sinDegrees(double degrees) { return std::sin(static_cast<double>(radians(degrees))); }
double cosDegrees(double degrees) { return std::cos(static_cast<double>(radians(degrees))); }

std::int32_t roundToInt(double value, std::int32_t fallback) {
  const double r = std::nearbyint(value);
  if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())) return fallback;
  return static_cast<std::int32_t>(r);
}

void resetPose(Figure& figure) {
  for (int i = 0; i < segmentCount; ++i) {
    const Pose& p = initialPose[i];
    Segment& s = figure[i];
    if (p.parent < 0) {
      s.x = p.x;
      s.y = p.y;
    } else {
      const Segment& parent = figure[p.parent];
      s.x = roundToInt(parent.x + sinDegrees(parent.angle) * parent.length, s.x);
      s.y = roundToInt(parent.y - cosDegrees(parent.angle) * parent.length, s.y);
    }
    s.angle = p.angle;
    s.length = p.length;
    if (p.maxLength != 0) s.maxLength = p.maxLength;
  }
}

int hitTest(const Figure& figure, std::int32_t px, std::int32_t py) {
  for (int i = 0; i < segmentCount; ++i) {
    const Segment& s = figure[i];
    const double ex = s.x + static_cast<double>(s.dx);
    const double ey = s.y + static_cast<double>(s.dy);
    if (roundToInt(ex - 5, px) < px && px < roundToInt(ex + 5, px) && roundToInt(ey - 5, py) < py &&
        py < roundToInt(ey + 5, py))
      return i;
  }
  return -1;
}

std::optional<std::int32_t> pointerAngle(std::int32_t px, std::int32_t py, std::int32_t jx, std::int32_t jy) {
  const auto fx = static_cast<float>(std::int64_t{px} - jx);
  const auto fy = static_cast<float>(std::int64_t{py} - jy);
  const auto d = static_cast<float>(std::sqrt(static_cast<double>(fx) * fx + static_cast<double>(fy) * fy));
  if (d == 0.0f) return std::nullopt;
  const auto quotient = static_cast<float>(static_cast<double>(fx) / d);
  const auto arc = static_cast<float>(std::acos(static_cast<double>(quotient)));
  auto h = static_cast<float>(arc * 57.29577951308232);
  if (py < jy) h = static_cast<float>(360.0 - h);
  if (!std::isfinite(h)) return std::nullopt;
  return roundToInt(h + 90.0, 0);
}

void refreshEndVector(Segment& s) {
  s.dx = static_cast<float>(sinDegrees(s.angle) * s.length);
  s.dy = static_cast<float>(-cosDegrees(s.angle) * s.length);
}

void dragUpdate(Figure& f, int a, std::int32_t px, std::int32_t py) {
  if (a < 0 || a >= segmentCount) return;
  if (const auto angle = pointerAngle(px, py, f[a].x, f[a].y)) f[a].angle = *angle;
  attachChain(f, a);
  if (a == 0 || a == 2) followPointerLength(f[a], px, py);
}

void settleDrag(Figure& f, int a) {
  if (a < 0 || a >= segmentCount) return;
  for (Segment& s : f) refreshEndVector(s);
  attachChain(f, a);
}
