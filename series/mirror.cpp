// The left-right mirror of a frame, for sprites that face the other way.
#include <cstring>

#include "series.h"

namespace {

constexpr int side = layout::canvasSide;

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

}  // namespace

bool mirrorImage(ImageId source, ImageId into) {
  const ImageRecord* from = lookupImage(source);
  ImageRecord* to = lookupImage(into);
  const std::uint8_t* pixels = from ? imagePixels(*from) : nullptr;
  if (!pixels || !to) return false;
  for (int row = 0; row < side; ++row) mirrorRow(pixels + row * from->stride, to->pixels.get() + row * to->stride);
  return true;
}
