// The left-right mirror of a frame, for sprites that face the other way.
#include <cstring>

#include "series.h"

namespace {

constexpr int side = 400;

// Reverses the order of the 3-byte pixels of one 400-pixel row, four pixels per step.
void mirrorRow(const std::uint8_t* source, std::uint8_t* target) {
  for (int group = 0; group < side / 4; ++group) {
    std::uint32_t w0, w1, w2;
    const std::uint8_t* from = source + 12 * (side / 4 - 1 - group);
    std::memcpy(&w0, from, 4);
    std::memcpy(&w1, from + 4, 4);
    std::memcpy(&w2, from + 8, 4);
    const std::uint32_t o0 = (w2 >> 8) | ((w1 >> 16 & 0xFF) << 24);
    const std::uint32_t o1 = (w1 >> 24) | ((w2 & 0xFF) << 8) | ((w0 >> 24) << 16) | ((w1 & 0xFF) << 24);
    const std::uint32_t o2 = ((w1 >> 8) & 0xFF) | (w0 << 8);
    std::uint8_t* to = target + 12 * group;
    std::memcpy(to, &o0, 4);
    std::memcpy(to + 4, &o1, 4);
    std::memcpy(to + 8, &o2, 4);
  }
}

// Sources of another size are read pixel by pixel, as a plain flip of the 400 x 400 area.
bool mirrorByPixels(ImageId source, ImageId copy) {
  std::vector<Color> table(static_cast<std::size_t>(side) * side);
  if (!beginDrawing(imageOutput(source))) return false;
  for (int x = 0; x < side; ++x)
    for (int y = 0; y < side; ++y) table[static_cast<std::size_t>(x) * side + y] = readPixel(x, y);
  endDrawing();
  if (!beginDrawing(imageOutput(copy))) return false;
  for (int x = 0; x < side; ++x)
    for (int y = 0; y < side; ++y) plot(x, y, table[static_cast<std::size_t>(side - 1 - x) * side + y]);
  endDrawing();
  return true;
}

}  // namespace

ImageId mirrorImage(ImageId source) {
  const ImageRecord* from = lookupImage(source);
  if (!from) return 0;
  const ImageId copy = createImage(AutoId, side, side);
  ImageRecord* to = lookupImage(copy);
  if (!to) return 0;
  if (from->width == side && from->height == side && from->depth == 24) {
    for (int row = 0; row < side; ++row)
      mirrorRow(from->pixels.get() + row * from->stride, to->pixels.get() + row * to->stride);
  } else if (!mirrorByPixels(source, copy)) {
    releaseImage(copy);  // not left behind unreachable
    return 0;
  }
  return copy;
}
