// The current drawing surface, its operation table and the colour cache.
#include "raster.h"
#include "raster_ops.h"

namespace {

std::unique_ptr<DrawSurface> current;

void setColor24(DrawSurface& s, Color color) {
  s.color = color;
  s.red = static_cast<std::uint8_t>(color);
  s.green = static_cast<std::uint8_t>(color >> 8);
  s.blue = static_cast<std::uint8_t>(color >> 16);
}

void plot24(DrawSurface& s, std::int32_t x, std::int32_t y, Color color) {
  std::uint8_t* p = pixelAt(s, x, y);
  p[0] = static_cast<std::uint8_t>(color >> 16);
  p[1] = static_cast<std::uint8_t>(color >> 8);
  p[2] = static_cast<std::uint8_t>(color);
}

Color read24(const DrawSurface& s, std::int32_t x, std::int32_t y) {
  const std::uint8_t* p = pixelAt(s, x, y);
  return Color{p[2]} | Color{p[1]} << 8 | Color{p[0]} << 16;
}

constexpr SurfaceOps ops24{setColor24, fillRectangle24, fillEllipse24, floodFill24,
                           drawLine24, plot24,          read24,        drawImage24};
// Nothing in this program draws on 32-bit targets; their table stays empty.
constexpr SurfaceOps ops32{};

void finishImage(DrawSurface& surface, int drew) {
  if (!drew) return;
  if (ImageRecord* record = lookupImage(surface.owner)) ++record->revision;
}

bool inside(const DrawSurface& s, std::int32_t x, std::int32_t y) {
  return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

// The colour cache: channel values are recomputed only for a new colour.
DrawSurface* withColor(Color color) {
  DrawSurface* s = current.get();
  if (s && s->ops->setColor && s->color != color) s->ops->setColor(*s, color);
  return s;
}

}  // namespace

DrawSurface* openSurface(const DrawTarget& target) {
  endDrawing();
  current = std::make_unique<DrawSurface>();
  DrawSurface& s = *current;
  s.bytesPerPixel = target.bitsPerPixel == 32 ? 4 : 3;
  s.ops = s.bytesPerPixel == 4 ? &ops32 : &ops24;
  s.width = target.width;
  s.height = target.height;
  s.bitsPerPixel = target.bitsPerPixel;
  s.pixels = target.pixels;
  s.stride = target.stride;
  s.finish = target.finish;
  s.owner = target.owner;
  return &s;
}

DrawSurface* imageOutput(ImageId image) {
  ImageRecord* record = lookupImage(image);
  if (!record || !record->pixels) return nullptr;
  DrawTarget target;
  target.pixels = record->pixels.get();
  target.width = record->width;
  target.height = record->height;
  target.bitsPerPixel = record->depth == 32 ? 32 : 24;
  target.stride = record->stride;
  target.finish = finishImage;
  target.owner = image;
  return openSurface(target);
}

std::intptr_t beginDrawing(DrawSurface* surface) {
  if (!surface || surface != current.get()) return 0;
  if (!surface->pixels) {
    std::unique_ptr<DrawSurface> failed = std::move(current);
    if (failed->finish) failed->finish(*failed, 0);
    return 0;
  }
  return reinterpret_cast<std::intptr_t>(surface->pixels);
}

void endDrawing() {
  if (!current) return;
  std::unique_ptr<DrawSurface> ending = std::move(current);
  ending->flood.reset();
  if (ending->finish) ending->finish(*ending, 1);
}

DrawSurface* currentSurface() { return current.get(); }

void setColor(Color color) { withColor(color); }

void fillRectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Color color) {
  if (DrawSurface* s = withColor(color); s && s->ops->fillRectangle) s->ops->fillRectangle(*s, x, y, width, height);
}

void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Color color) {
  if (DrawSurface* s = withColor(color); s && s->ops->drawLine) s->ops->drawLine(*s, x1, y1, x2, y2);
}

void fillEllipse(std::int32_t cx, std::int32_t cy, std::int32_t a, std::int32_t b, Color color) {
  if (DrawSurface* s = withColor(color); s && s->ops->fillEllipse) s->ops->fillEllipse(*s, cx, cy, a, b);
}

void fillCircle(std::int32_t x, std::int32_t y, std::int32_t radius, Color color) {
  fillEllipse(x, y, radius, radius, color);
}

void floodFill(std::int32_t x, std::int32_t y, Color outlineColor, Color fillColor) {
  if (DrawSurface* s = withColor(fillColor); s && s->ops->floodFill) s->ops->floodFill(*s, x, y, outlineColor);
}

void plot(std::int32_t x, std::int32_t y, Color color) {
  DrawSurface* s = current.get();
  if (s && s->ops->plotColor && inside(*s, x, y)) s->ops->plotColor(*s, x, y, color);
}

Color readPixel(std::int32_t x, std::int32_t y) {
  const DrawSurface* s = current.get();
  return s && s->ops->readPixel && inside(*s, x, y) ? s->ops->readPixel(*s, x, y) : 0;
}

void drawImage(NativeHandle image, std::int32_t x, std::int32_t y) { drawImageBlended(image, x, y, 255); }

void drawImageBlended(NativeHandle image, std::int32_t x, std::int32_t y, std::int32_t alpha) {
  DrawSurface* s = current.get();
  const ImageRecord* source = lookupHandle(image);
  if (!s || !s->ops->drawImage || !source || source->depth != 24 || alpha <= 0) return;
  s->ops->drawImage(*s, *source, x, y, alpha > 255 ? 255 : alpha);
}
