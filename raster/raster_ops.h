// What the raster library's files share: the 24-bit operations behind the surface's table.
#pragma once

#include "raster.h"

// Zeroed pixel memory of its own mapping; empty when there is none.
PixelMemory allocatePixels(std::size_t size);
// Adds a record to the store: its id, or 0 without room.
ImageId storeImage(std::unique_ptr<ImageRecord> record);
// Drops the cached expansion of a packed Image that is being released, with its raster.
void forgetExpansion(const ImageRecord& record);

inline std::uint8_t* pixelAt(const DrawSurface& s, std::int32_t x, std::int32_t y) {
  return s.pixels + static_cast<std::ptrdiff_t>(s.height - 1 - y) * s.stride + static_cast<std::ptrdiff_t>(x) * 3;
}

// Fills columns x0..x1 of row y (inclusive), clipped to the target.
void fillRun24(DrawSurface& s, std::int64_t x0, std::int64_t x1, std::int64_t y);

void fillRectangle24(DrawSurface& s, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
void fillEllipse24(DrawSurface& s, std::int32_t cx, std::int32_t cy, std::int32_t a, std::int32_t b);
void drawLine24(DrawSurface& s, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
void floodFill24(DrawSurface& s, std::int32_t x, std::int32_t y);
void drawImage24(DrawSurface& s, const ImageRecord& source, std::int32_t x, std::int32_t y, std::int32_t alpha);
