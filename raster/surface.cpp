// The current drawing surface, its operation table and the colour cache.
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

void finishImage(DrawSurface& surface, int drew) {
  if (!drew) return;
  ImageRecord* record = lookupImage(surface.owner);
  if (!record) return;
  ++record->revision;
  record->packed.reset();  // it no longer shows the raster
  record->packedSize = 0;
}

bool inside(const DrawSurface& s, std::int32_t x, std::int32_t y) {
  return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

// The colour cache: channel values are recomputed only for a new colour.
DrawSurface* withColor(Color color) {
  DrawSurface* s = current.get();
  if (s && s->color != color) s->ops->setColor(*s, color);
  return s;
}

}  // namespace

DrawSurface* openSurface(const DrawTarget& target) {
  endDrawing();
  current = std::make_unique<DrawSurface>();
  DrawSurface& s = *current;
  s.ops = &ops24;
  s.width = target.width;
  s.height = target.height;
  s.pixels = target.pixels;
  s.stride = target.stride;
  s.finish = target.finish;
  s.owner = target.owner;
  return &s;
}

DrawSurface* imageOutput(ImageId image) {
  ImageRecord* record = lookupImage(image);
  if (!record || !record->pixels) return nullptr;  // a packed Image is not drawn on
  return openSurface({record->pixels.get(), record->width, record->height, record->stride, finishImage, image});
}

std::intptr_t beginDrawing(DrawSurface* surface) {
  if (!surface || surface != current.get()) return 0;
  return reinterpret_cast<std::intptr_t>(surface->pixels);
}

void endDrawing() {
  if (!current) return;
  std::unique_ptr<DrawSurface> ending = std::move(current);
  if (ending->finish) ending->finish(*ending, 1);
}

void fillRectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Color color) {
  if (DrawSurface* s = withColor(color)) s->ops->fillRectangle(*s, x, y, width, height);
}

void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Color color) {
  if (DrawSurface* s = withColor(color)) s->ops->drawLine(*s, x1, y1, x2, y2);
}

void fillCircle(std::int32_t x, std::int32_t y, std::int32_t radius, Color color) {
  if (DrawSurface* s = withColor(color)) s->ops->fillEllipse(*s, x, y, radius, radius);
}

void floodFill(std::int32_t x, std::int32_t y, Color color) {
  if (DrawSurface* s = withColor(color)) s->ops->floodFill(*s, x, y);
}

void plot(std::int32_t x, std::int32_t y, Color color) {
  DrawSurface* s = current.get();
  if (s && inside(*s, x, y)) s->ops->plotColor(*s, x, y, color);
}

Color readPixel(std::int32_t x, std::int32_t y) {
  const DrawSurface* s = current.get();
  return s && inside(*s, x, y) ? s->ops->readPixel(*s, x, y) : 0;
}

void drawImage(NativeHandle image, std::int32_t x, std::int32_t y) { drawImageBlended(image, x, y, 255); }

void drawImageBlended(NativeHandle image, std::int32_t x, std::int32_t y, std::int32_t alpha) {
  DrawSurface* s = current.get();
  const ImageRecord* source = lookupHandle(image);
  if (s && source) s->ops->drawImage(*s, *source, x, y, alpha);
}
