// Opaque and constant-alpha image draws: row copies and a vectorisable byte blend.
#include <algorithm>
#include <cstring>

#include "raster_ops.h"

namespace {

// (target * (255 - alpha) + source * alpha) div 255, exact for every sum up to 65025.
void blendRow(std::uint8_t* __restrict target, const std::uint8_t* __restrict source, std::size_t n,
              std::uint16_t alpha) {
  const auto inverse = static_cast<std::uint16_t>(255 - alpha);
  for (std::size_t i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint16_t>(target[i] * inverse + source[i] * alpha);
    target[i] = static_cast<std::uint8_t>((v + 1 + (v >> 8)) >> 8);
  }
}

}  // namespace

void drawImage24(DrawSurface& s, const ImageRecord& source, std::int32_t x, std::int32_t y, std::int32_t alpha) {
  const std::int64_t left = std::max<std::int64_t>(x, 0);
  const std::int64_t top = std::max<std::int64_t>(y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + source.width, s.width);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + source.height, s.height);
  const std::uint8_t* pixels = imagePixels(source);
  if (left >= right || top >= bottom || !pixels) return;
  const auto bytes = static_cast<std::size_t>(right - left) * 3;
  for (std::int64_t row = top; row < bottom; ++row) {
    const std::int64_t sourceRow = source.height - 1 - (row - y);
    const std::uint8_t* from = pixels + sourceRow * source.stride + (left - x) * 3;
    std::uint8_t* to = pixelAt(s, static_cast<std::int32_t>(left), static_cast<std::int32_t>(row));
    if (alpha == 255) {
      std::memcpy(to, from, bytes);
    } else {
      blendRow(to, from, bytes, static_cast<std::uint16_t>(alpha));
    }
  }
}
