// The canvas: a 24-bit backing raster, its mouse input as events, and its display.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <cstring>

#include "ui_internal.h"

namespace {

constexpr int optionBorder = 0x1;
constexpr int optionKeyboard = 0x4;
const QPoint nowhere(-100000, -100000);

class Canvas : public QWidget {
 public:
  Canvas(int id, int window, int width, int height, int options, QWidget* parent)
      : QWidget(parent), id_(id), window_(window), options_(options) {
    const int inset = (options & optionBorder) ? 4 : 0;
    width_ = std::max(1, width - inset);
    height_ = std::max(1, height - inset);
    stride_ = rowStride(width_, 24);
    raster_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(stride_) * height_);
    std::memset(raster_.get(), 0xFF, static_cast<std::size_t>(stride_) * height_);
    shown_ = QImage(width_, height_, QImage::Format_BGR888);
    present(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy((options & optionKeyboard) ? Qt::StrongFocus : Qt::NoFocus);
  }

  DrawTarget target() {
    DrawTarget t;
    t.pixels = raster_.get();
    t.width = width_;
    t.height = height_;
    t.bitsPerPixel = 24;
    t.stride = stride_;
    t.owner = id_;
    return t;
  }

  // Copies the bottom-up raster into the top-down picture that Qt draws; with repaint
  // the result is on screen before this returns, not at a later paint cycle.
  void present(bool now) {
    const auto rowBytes = static_cast<std::size_t>(width_) * 3;
    for (int y = 0; y < height_; ++y)
      std::memcpy(shown_.scanLine(y), raster_.get() + static_cast<std::ptrdiff_t>(height_ - 1 - y) * stride_, rowBytes);
    if (now) repaint();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);  // crisp pixels on dense screens
    const int inset = (options_ & optionBorder) ? 2 : 0;
    painter.drawImage(QRect(inset, inset, width_, height_), shown_);
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
  bool inside_ = false;
  Press lastPress_;
};

void finishCanvas(DrawSurface& surface, int drew) {
  if (!drew) return;
  if (auto* canvas = dynamic_cast<Canvas*>(controlWidget(static_cast<int>(surface.owner)))) canvas->present(true);
}

}  // namespace

QWidget* makeCanvas(int id, int window, int width, int height, int options, QWidget* parent) {
  return new Canvas(id, window, width, height, options, parent);
}

DrawSurface* openCanvasOutput(QWidget* widget) {
  auto* canvas = dynamic_cast<Canvas*>(widget);
  if (!canvas) return nullptr;
  DrawTarget target = canvas->target();
  target.finish = finishCanvas;
  return openSurface(target);
}
