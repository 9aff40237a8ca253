// The posable stick figure: its eleven Segments, posing from the pointer, and its drawing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "raster.h"

struct Segment {
  float dx = 0;  // end minus start, refreshed by every render
  float dy = 0;
  std::int32_t x = 0;  // start point, canvas pixels, y growing downwards
  std::int32_t y = 0;
  std::int32_t angle = 0;  // degrees clockwise from straight up; never wrapped
  std::int32_t maxLength = 0;  // consulted for the upper arms (0 and 2) only
  std::int32_t length = 0;
};

constexpr int segmentCount = 11;
using Figure = std::array<Segment, segmentCount>;

void resetPose(Figure& figure);
int hitTest(const Figure& figure, std::int32_t px, std::int32_t py);
// None when the pointer lies on the joint itself, where no direction exists.
std::optional<std::int32_t> pointerAngle(std::int32_t px, std::int32_t py, std::int32_t jx, std::int32_t jy);
void dragUpdate(Figure& figure, int index, std::int32_t px, std::int32_t py);
// The chain of the dragged Segment caught up with the pointer's last position, as one more
// pass of a drag held still would leave it: the end vectors refreshed, each child started anew.
void settleDrag(Figure& figure, int index);
// The end vector from the angle and the length, as a render stores it.
void refreshEndVector(Segment& segment);

// Where a render draws: an output (imageOutput, or the canvas's) and its id. With a
// revision, which changes whenever anything ends a drawing pass on the target, a render
// whose target still holds what the same render drew last is not drawn again.
struct RenderTarget {
  DrawSurface* (*open)(std::intptr_t id);
  std::intptr_t id;
  std::uint32_t (*revision)(std::intptr_t id) = nullptr;
};

// Draws the figure; with handles also the handles and, behind the figure, the onion
// skin Image at alpha 80 (0 for none). Refreshes every Segment's end vector.
void renderFigure(Figure& figure, const RenderTarget& target, bool withHandles, NativeHandle onionSkin);
void drawBone(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t width, Color color,
              std::int32_t angle);

// Degrees to radians held as a 32-bit float, and rounding half to even with a
// fallback for values that no 32-bit integer can hold.
float radians(double degrees);
// Sine and cosine of an angle in degrees, through the 32-bit radians above.
double sinDegrees(double degrees);
double cosDegrees(double degrees);
std::int32_t roundToInt(double value, std::int32_t fallback);
