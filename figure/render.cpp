// Drawing the figure: background, onion skin, bones with caps, head ring and handles.
#include <cmath>

#include "figure.h"

namespace {

constexpr Color white = 0xFFFFFF;
constexpr Color handleColor = 0x10FF10;
constexpr Color boneBase = 0x303030;
constexpr std::int32_t onionAlpha = 80;

// The white background with the onion skin blended in depends only on the onion
// Image, which is written once; it is kept and copied instead of blended anew.
struct Backdrop {
  ImageId id = 0;
  NativeHandle onion = 0;
  std::uint32_t onionRevision = 0;
};

Backdrop backdrop;

// Everything a render's pixels depend on.
struct RenderInputs {
  DrawSurface* (*open)(std::intptr_t) = nullptr;
  std::intptr_t id = 0;
  bool withHandles = false;
  NativeHandle onion = 0;
  std::uint32_t onionRevision = 0;
  std::array<std::array<std::int32_t, 4>, segmentCount> pose{};
  bool operator==(const RenderInputs&) const = default;
};

struct LastRender {
  bool valid = false;
  RenderInputs inputs;
  std::uint32_t targetRevision = 0;  // the target's revision right after that render
};

LastRender lastRender;

RenderInputs inputsOf(const Figure& figure, const RenderTarget& target, bool withHandles, NativeHandle onion) {
  RenderInputs in{target.open, target.id, withHandles, onion, 0, {}};
  if (const ImageRecord* record = lookupHandle(onion)) in.onionRevision = record->revision;
  for (int i = 0; i < segmentCount; ++i) in.pose[i] = {figure[i].x, figure[i].y, figure[i].angle, figure[i].length};
  return in;
}

void paintBackground(NativeHandle onion) {
  fillRectangle(0, 0, 600, 500, white);
  if (onion) drawImageBlended(onion, 0, 0, onionAlpha);
}

const ImageRecord* preparedBackdrop(NativeHandle onion) {
  const ImageRecord* source = lookupHandle(onion);
  if (!source) return nullptr;
  const ImageRecord* cached = backdrop.id ? lookupImage(backdrop.id) : nullptr;
  if (cached && backdrop.onion == onion && backdrop.onionRevision == source->revision) return cached;
  if (cached) releaseImage(backdrop.id);
  backdrop = Backdrop{createImage(source->width, source->height), onion, source->revision};
  if (!backdrop.id || !beginDrawing(imageOutput(backdrop.id))) return nullptr;
  paintBackground(onion);
  endDrawing();
  return lookupImage(backdrop.id);
}

void drawSegment(const Segment& s, int index) {
  const Color color = boneBase + static_cast<Color>(index);
  const std::int32_t ex = roundToInt(s.x + static_cast<double>(s.dx), s.x);
  const std::int32_t ey = roundToInt(s.y + static_cast<double>(s.dy), s.y);
  drawBone(s.x, s.y, ex, ey, 6, color, s.angle);
  fillCircle(ex, ey, 3, color);
  if (index != 10) return;
  const std::int32_t hx = roundToInt(s.x + sinDegrees(s.angle) * 40, s.x);
  const std::int32_t hy = roundToInt(s.y - cosDegrees(s.angle) * 40, s.y);
  fillCircle(hx, hy, 28, color);
  fillCircle(hx, hy, 23, white);
}

void drawHandle(const Segment& s) {
  fillRectangle(roundToInt(s.x + static_cast<double>(s.dx) - 5, s.x), roundToInt(s.y + static_cast<double>(s.dy) - 5, s.y),
                10, 10, handleColor);
}

}  // namespace

void drawBone(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t width, Color color,
              std::int32_t angle) {
  const double h = width / 2.0;
  const double a = angle;
  const auto at = [](std::int32_t x, std::int32_t y, double degrees, double distance) {
    return std::array<std::int32_t, 2>{roundToInt(x + sinDegrees(degrees) * distance, x),
                                       roundToInt(y - cosDegrees(degrees) * distance, y)};
  };
  const auto p0 = at(x1, y1, a - 90, h);
  const auto p1 = at(x1, y1, a + 90, h);
  const auto p2 = at(x2, y2, a + 90, h);
  const auto p3 = at(x2, y2, a - 90, h);
  const auto seed = at(x2, y2, a - 180, 5);
  drawLine(p0[0], p0[1], p1[0], p1[1], color);
  drawLine(p1[0], p1[1], p2[0], p2[1], color);
  drawLine(p2[0], p2[1], p3[0], p3[1], color);
  drawLine(p3[0], p3[1], p0[0], p0[1], color);
  floodFill(seed[0], seed[1], color);
}

void renderFigure(Figure& figure, const RenderTarget& target, bool withHandles, NativeHandle onionSkin) {
  const NativeHandle onion = withHandles ? onionSkin : 0;
  const RenderInputs inputs = inputsOf(figure, target, withHandles, onion);
  if (target.revision && lastRender.valid && lastRender.inputs == inputs &&
      lastRender.targetRevision == target.revision(target.id)) {
    for (Segment& s : figure) refreshEndVector(s);  // the target shows this render already
    return;
  }
  const ImageRecord* ready = onion ? preparedBackdrop(onion) : nullptr;
  DrawSurface* surface = target.open(target.id);
  if (!beginDrawing(surface)) return;
  if (ready) {
    drawImage(ready->nativeHandle, 0, 0);
  } else {
    paintBackground(onion);
  }
  for (int i = segmentCount - 1; i >= 0; --i) {
    refreshEndVector(figure[i]);
    drawSegment(figure[i], i);
  }
  if (withHandles) {
    for (const Segment& s : figure) drawHandle(s);
  }
  endDrawing();
  lastRender = LastRender{target.revision != nullptr, inputs, target.revision ? target.revision(target.id) : 0};
}
