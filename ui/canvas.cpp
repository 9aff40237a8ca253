// The canvas: a 24-bit backing raster, its mouse, touch and pen input as events, and its display.
#include <QApplication>
#include <QMouseEvent>
#include <QTabletEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleHints>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "ui_internal.h"

namespace {

// One row of blue-green-red bytes as 32-bit pixels 0xFFRRGGBB, the format Qt blits fastest.
void expandRowPlain(const std::uint8_t* from, std::uint32_t* to, int width, int start) {
  for (int x = start; x < width; ++x)
    to[x] = 0xFF000000u | from[3 * x] | static_cast<std::uint32_t>(from[3 * x + 1]) << 8 |
            static_cast<std::uint32_t>(from[3 * x + 2]) << 16;
}

#if defined(__x86_64__)
// Four pixels per shuffle; each load reads 16 bytes and so stops 16 bytes before the row's end.
__attribute__((target("ssse3"))) void expandRowShuffled(const std::uint8_t* from, std::uint32_t* to, int width) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; 3 * x + 16 <= 3 * width; x += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
  }
  expandRowPlain(from, to, width, x);
}

// Eight pixels per step: two 12-byte groups, one in each half of the register.
__attribute__((target("avx2"))) void expandRowWide(const std::uint8_t* from, std::uint32_t* to, int width) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; 3 * x + 28 <= 3 * width; x += 8) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * x));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * x + 12));
    const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + x), _mm256_or_si256(_mm256_shuffle_epi8(bytes, spread), opaque));
  }
  expandRowPlain(from, to, width, x);
}
#endif

}  // namespace

void expandRowBy(int level, const std::uint8_t* from, std::uint32_t* to, int width) {
#if defined(__x86_64__)
  if (level == 2) return expandRowWide(from, to, width);
  if (level == 1) return expandRowShuffled(from, to, width);
#endif
  expandRowPlain(from, to, width, 0);
}

namespace {

void expandRow(const std::uint8_t* from, std::uint32_t* to, int width) {
#if defined(__x86_64__)
  static const int level = __builtin_cpu_supports("avx2") ? 2 : __builtin_cpu_supports("ssse3") ? 1 : 0;
#else
  constexpr int level = 0;
#endif
  expandRowBy(level, from, to, width);
}

const QPoint nowhere(-100000, -100000);

// Every drawing pass that ends on any canvas gets a number of its own.
std::uint32_t nextRevision() {
  static std::uint32_t last = 0;
  return ++last;
}

class Canvas : public QWidget {
 public:
  Canvas(int id, int width, int height, QWidget* parent)
      : QWidget(parent), id_(id), width_(std::max(1, width)), height_(std::max(1, height)), stride_(rowStride(width_)) {
    raster_ = std::make_unique<std::uint8_t[]>(rasterBytes(width_, height_));
    std::memset(raster_.get(), 0xFF, rasterBytes(width_, height_));
    shown_ = QImage(width_, height_, QImage::Format_RGB32);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  DrawTarget target() { return {raster_.get(), width_, height_, stride_, nullptr, id_}; }

  // Shows the raster now: repaint paints before it returns, not at a later paint cycle.
  void present() {
    revision_ = nextRevision();
    stale_ = true;
    repaint();
  }

  std::uint32_t revision() const { return revision_; }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const QRect area(0, 0, width_, height_);
    if (QImage* store = backingImage(painter, event, area)) {
      // The raster goes straight into the window's pixels, skipping a copy of its own.
      const QPoint at = painter.deviceTransform().map(area.topLeft());
      for (int y = 0; y < height_; ++y)
        expandRow(rasterRow(y), reinterpret_cast<std::uint32_t*>(store->scanLine(at.y() + y)) + at.x(), width_);
      return;
    }
    if (stale_) {
      for (int y = 0; y < height_; ++y) expandRow(rasterRow(y), reinterpret_cast<std::uint32_t*>(shown_.scanLine(y)), width_);
      stale_ = false;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);  // crisp pixels on dense screens
    painter.drawImage(area, shown_);
  }

  // Touch reaches the canvas as the mouse events Qt makes of it.
  void mousePressEvent(QMouseEvent* event) override { press(*event, isDoubleClick(*event)); }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    // The second press may come as a press followed by a double click; it counts once.
    if (event->timestamp() != lastPress_.time || event->button() != lastPress_.button) press(*event, true);
  }
  void mouseMoveEvent(QMouseEvent* event) override { move(*event); }
  void mouseReleaseEvent(QMouseEvent* event) override { release(*event); }
  // A pen drags as the mouse does; pressure and tilt play no part. Taken, its input makes no
  // mouse events as well.
  void tabletEvent(QTabletEvent* event) override {
    event->accept();
    if (event->type() == QEvent::TabletPress) press(*event, isDoubleClick(*event));
    if (event->type() == QEvent::TabletMove) move(*event);
    if (event->type() == QEvent::TabletRelease) release(*event);
  }

 private:
  const std::uint8_t* rasterRow(int y) const {
    return raster_.get() + static_cast<std::ptrdiff_t>(height_ - 1 - y) * stride_;
  }

  // The window's own 32-bit pixels under this paint, when the whole raster can be written
  // there 1:1 without a clip or a scale; otherwise none, and the picture is drawn.
  static QImage* backingImage(QPainter& painter, const QPaintEvent* event, const QRect& area) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
    auto* store = dynamic_cast<QImage*>(engine->paintDevice());
    if (!store || store->devicePixelRatio() != 1.0 || painter.deviceTransform().type() > QTransform::TxTranslate)
      return nullptr;
    if (store->format() != QImage::Format_RGB32 && store->format() != QImage::Format_ARGB32_Premultiplied)
      return nullptr;
    if (!event->region().contains(area) || event->region().rectCount() != 1) return nullptr;
    const QRect target = painter.deviceTransform().mapRect(area);
    return store->rect().contains(target) ? store : nullptr;
  }

  struct Press {
    quint64 time = 0;
    Qt::MouseButton button = Qt::NoButton;
    QPoint at;
  };

  // A second press of the same button soon and near enough is a double click.
  bool isDoubleClick(const QSinglePointEvent& event) const {
    const int distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    return event.button() == lastPress_.button &&
           event.timestamp() - lastPress_.time < static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval()) &&
           (event.position().toPoint() - lastPress_.at).manhattanLength() <= distance;
  }

  void press(const QSinglePointEvent& event, bool twice) {
    notePointer(pointerAt(this, event.position()), false);
    // After a double click, a third press starts anew.
    lastPress_ = Press{event.timestamp(), event.button(), twice ? nowhere : event.position().toPoint()};
    const bool left = event.button() == Qt::LeftButton;
    if (!left && event.button() != Qt::RightButton) return;
    queueEvent(ControlEvent, id_, left ? LeftDown : RightDown);
    queueEvent(ControlEvent, id_, left ? (twice ? LeftDoubleClick : LeftClick) : (twice ? RightDoubleClick : RightClick));
  }

  // Only motion with a button held, as the mouse reports it: a hovering pen wakes nothing.
  void move(const QSinglePointEvent& event) {
    if (event.buttons() != Qt::NoButton) notePointer(pointerAt(this, event.position()), true);
  }

  void release(const QSinglePointEvent& event) {
    notePointer(pointerAt(this, event.position()), false);
    if (event.button() == Qt::LeftButton) queueEvent(ControlEvent, id_, LeftUp);
    if (event.button() == Qt::RightButton) queueEvent(ControlEvent, id_, RightUp);
  }

  int id_;
  int width_, height_, stride_;
  std::unique_ptr<std::uint8_t[]> raster_;
  QImage shown_;
  bool stale_ = true;
  std::uint32_t revision_ = nextRevision();
  Press lastPress_;
};

void finishCanvas(DrawSurface& surface, int drew) {
  if (!drew) return;
  if (auto* canvas = dynamic_cast<Canvas*>(controlWidget(static_cast<int>(surface.owner)))) canvas->present();
}

}  // namespace

QWidget* makeCanvas(int id, int width, int height, QWidget* parent) { return new Canvas(id, width, height, parent); }

std::uint32_t canvasRevisionOf(QWidget* widget) {
  const auto* canvas = dynamic_cast<Canvas*>(widget);
  return canvas ? canvas->revision() : 0;
}

DrawSurface* openCanvasOutput(QWidget* widget) {
  auto* canvas = dynamic_cast<Canvas*>(widget);
  if (!canvas) return nullptr;
  DrawTarget target = canvas->target();
  target.finish = finishCanvas;
  return openSurface(target);
}
