// The canvas: a 24-bit backing raster, its mouse input as events, and its display.
#include <QApplication>
#include <QMouseEvent>
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
  if (level == 2) {
    expandRowWide(from, to, width);
    return;
  }
  if (level == 1) {
    expandRowShuffled(from, to, width);
    return;
  }
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

constexpr int optionBorder = 0x1;
constexpr int optionKeyboard = 0x4;
const QPoint nowhere(-100000, -100000);

// Every drawing pass that ends on any canvas gets a number of its own.
std::uint32_t nextRevision() {
  static std::uint32_t last = 0;
  return ++last;
}

class Canvas : public QWidget {
 public:
  Canvas(int id, int window, int width, int height, int options, QWidget* parent)
      : QWidget(parent), id_(id), window_(window), options_(options) {
    const int inset = (options & optionBorder) ? 4 : 0;
    width_ = std::max(1, width - inset);
    height_ = std::max(1, height - inset);
    stride_ = rowStride(width_);
    raster_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(stride_) * height_);
    std::memset(raster_.get(), 0xFF, static_cast<std::size_t>(stride_) * height_);
    shown_ = QImage(width_, height_, QImage::Format_RGB32);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy((options & optionKeyboard) ? Qt::StrongFocus : Qt::NoFocus);
  }

  DrawTarget target() {
    DrawTarget t;
    t.pixels = raster_.get();
    t.width = width_;
    t.height = height_;
    t.stride = stride_;
    t.owner = id_;
    return t;
  }

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
    const int inset = (options_ & optionBorder) ? 2 : 0;
    const QRect area(inset, inset, width_, height_);
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

  void mouseMoveEvent(QMouseEvent* event) override {
    queue(inside_ ? MouseMove : MouseEnter, *event);
    inside_ = true;
  }
  void leaveEvent(QEvent*) override {
    inside_ = false;
    queueEvent(ControlEvent, id_, window_, MouseLeave, std::make_unique<EventDetail>());
  }
  void mousePressEvent(QMouseEvent* event) override { press(*event, isDoubleClick(*event)); }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    // The second press may come as a press followed by a double click; it counts once.
    if (event->timestamp() != lastPress_.time || event->button() != lastPress_.button) press(*event, true);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) queue(LeftUp, *event);
    if (event->button() == Qt::RightButton) queue(RightUp, *event);
    if (event->button() == Qt::MiddleButton) queue(MiddleUp, *event);
  }
  void wheelEvent(QWheelEvent* event) override {
    auto detail = detailOf(event->position().toPoint(), event->buttons(), event->modifiers());
    detail->wheel = event->angleDelta().y() / 120;
    queueEvent(ControlEvent, id_, window_, WheelTurn, std::move(detail));
  }
  void keyPressEvent(QKeyEvent* event) override { key(*event, KeyDown); }
  void keyReleaseEvent(QKeyEvent* event) override { key(*event, KeyUp); }
  void focusInEvent(QFocusEvent*) override {
    queueEvent(ControlEvent, id_, window_, FocusGained);
    repaint();
  }
  void focusOutEvent(QFocusEvent*) override {
    queueEvent(ControlEvent, id_, window_, FocusLost);
    repaint();
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

  std::unique_ptr<EventDetail> detailOf(QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) const {
    auto d = std::make_unique<EventDetail>();
    d->x = at.x();
    d->y = at.y();
    d->buttons = ((buttons & Qt::LeftButton) ? 1 : 0) | ((buttons & Qt::RightButton) ? 2 : 0) |
                 ((buttons & Qt::MiddleButton) ? 4 : 0);
    d->modifiers = ((modifiers & Qt::ShiftModifier) ? 1 : 0) | ((modifiers & Qt::AltModifier) ? 2 : 0) |
                   ((modifiers & Qt::ControlModifier) ? 4 : 0);
    return d;
  }
  void queue(int subtype, const QMouseEvent& event) {
    queueEvent(ControlEvent, id_, window_, subtype,
               detailOf(event.position().toPoint(), event.buttons(), event.modifiers()));
  }

  // A second press of the same button soon and near enough is a double click.
  bool isDoubleClick(const QMouseEvent& event) const {
    const int distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    return event.button() == lastPress_.button &&
           event.timestamp() - lastPress_.time < static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval()) &&
           (event.position().toPoint() - lastPress_.at).manhattanLength() <= distance;
  }

  void press(const QMouseEvent& event, bool twice) {
    // After a double click, a third press starts anew.
    lastPress_ = Press{event.timestamp(), event.button(), twice ? nowhere : event.position().toPoint()};
    switch (event.button()) {
      case Qt::LeftButton:
        queue(LeftDown, event);
        queue(twice ? LeftDoubleClick : LeftClick, event);
        break;
      case Qt::RightButton:
        queue(RightDown, event);
        queue(twice ? RightDoubleClick : RightClick, event);
        break;
      case Qt::MiddleButton: queue(MiddleDown, event); break;
      default: break;
    }
  }

  void key(const QKeyEvent& event, int subtype) {
    if (!(options_ & optionKeyboard)) return;
    auto detail = std::make_unique<EventDetail>();
    detail->key = event.key();
    queueEvent(ControlEvent, id_, window_, subtype, std::move(detail));
    const QString text = event.text();
    if (subtype == KeyDown && !text.isEmpty() && text.at(0).unicode() >= 32 && text.at(0).unicode() < 256) {
      auto typed = std::make_unique<EventDetail>();
      typed->character = static_cast<std::uint8_t>(text.at(0).unicode());
      queueEvent(ControlEvent, id_, window_, CharInput, std::move(typed));
    }
  }

  int id_, window_, options_;
  int width_ = 1, height_ = 1, stride_ = 4;
  std::unique_ptr<std::uint8_t[]> raster_;
  QImage shown_;
  bool stale_ = true;
  std::uint32_t revision_ = nextRevision();
  bool inside_ = false;
  Press lastPress_;
};

void finishCanvas(DrawSurface& surface, int drew) {
  if (!drew) return;
  if (auto* canvas = dynamic_cast<Canvas*>(controlWidget(static_cast<int>(surface.owner)))) canvas->present();
}

}  // namespace

QWidget* makeCanvas(int id, int window, int width, int height, int options, QWidget* parent) {
  return new Canvas(id, window, width, height, options, parent);
}

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
