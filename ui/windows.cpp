// Numbered top-level windows: opening, geometry, closing and the pointer position.
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>

#include "ui_internal.h"

namespace {

constexpr std::uint32_t centreOnScreen = 0x1;
constexpr std::uint32_t centreOnParent = 0x2;
constexpr std::uint32_t noControlParent = 0x8;
constexpr std::uint32_t startHidden = 0x10000000;

// A close request is reported, never acted on: the window stays until closeWindow.
class TopLevel : public QWidget {
 public:
  explicit TopLevel(int id) : id_(id) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    queueEvent(WindowClose, id_, id_, 0);
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    queueEvent(WindowMoved, id_, id_, 0);
  }

 private:
  int id_;
};

std::vector<WindowRecord> windows(16);

Qt::WindowFlags windowFlagsFor(std::uint32_t flags) {
  Qt::WindowFlags result = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (flags & 0x00080000) result |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (flags & 0x00020000) result |= Qt::WindowMinimizeButtonHint;
  if (flags & 0x00010000) result |= Qt::WindowMaximizeButtonHint;
  if (flags & 0x4) result |= Qt::Tool;
  return result;
}

void place(QWidget& window, int x, int y, std::uint32_t flags) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if ((flags & centreOnScreen) && screen) {
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size().boundedTo(area.size());
    window.move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
  } else if ((flags & centreOnParent) && QApplication::activeWindow()) {
    const QRect parent = QApplication::activeWindow()->frameGeometry();
    window.move(std::max(0, parent.center().x() - window.width() / 2),
                std::max(0, parent.center().y() - window.height() / 2));
  } else if (x != keepUnchanged && y != keepUnchanged) {
    window.move(x, y);
  }
}

}  // namespace

WindowRecord* windowRecord(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= windows.size() || !windows[id].widget) return nullptr;
  return &windows[id];
}

int windowOf(const QWidget* widget) {
  if (!widget) return -1;
  const QWidget* top = widget->window();
  for (std::size_t i = 0; i < windows.size(); ++i)
    if (windows[i].widget == top) return static_cast<int>(i);
  return -1;
}

int windowByHandle(WindowHandle handle) {
  for (std::size_t i = 0; i < windows.size(); ++i)
    if (handle != 0 && reinterpret_cast<WindowHandle>(windows[i].widget.data()) == handle) return static_cast<int>(i);
  return -1;
}

QWidget* dialogOwner() {
  QWidget* active = QApplication::activeWindow();
  if (windowOf(active) >= 0) return active;
  for (const WindowRecord& w : windows)
    if (w.widget) return w.widget;
  return nullptr;
}

WindowHandle openWindow(int id, int x, int y, int width, int height, const std::string& title, std::uint32_t flags) {
  if (id < 0 || width < 0 || height < 0) return 0;
  if (static_cast<std::size_t>(id) >= windows.size()) windows.resize(static_cast<std::size_t>(id) + 16);
  if (windows[id].widget) closeWindow(id);
  auto* window = new TopLevel(id);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->setWindowFlags(windowFlagsFor(flags));
  window->setWindowTitle(QString::fromStdString(title));
  window->setFixedSize(width, height);
  auto* client = new QWidget(window);
  client->setGeometry(0, 0, width, height);
  windows[id] = WindowRecord{window, client, -1,
                             {{0x03, 9, focusNext}, {0x07, 9, focusPrevious}}};
  if (!(flags & startHidden)) window->show();
  place(*window, x, y, flags);
  if (!(flags & startHidden)) {
    window->activateWindow();
    window->raise();
  }
  if (!(flags & noControlParent)) setControlParent(client, id);
  return reinterpret_cast<WindowHandle>(window);
}

int resizeWindow(int id, int x, int y, int width, int height) {
  WindowRecord* w = windowRecord(id);
  if (!w) return 0;
  QWidget& window = *w->widget;
  const QPoint corner = window.frameGeometry().topLeft();
  // A given height includes the menu bar, as for openWindow.
  const int newWidth = width == keepUnchanged ? window.width() : width;
  const int newHeight = height == keepUnchanged ? window.height() : height;
  window.setFixedSize(newWidth, newHeight);
  const int top = w->client->y();
  w->client->setGeometry(0, top, newWidth, std::max(0, newHeight - top));
  if (x != keepUnchanged || y != keepUnchanged)
    window.move(x == keepUnchanged ? corner.x() : x, y == keepUnchanged ? corner.y() : y);
  return 1;
}

void closeWindow(int id) {
  WindowRecord* w = windowRecord(id);
  if (!w) return;
  destroyControlsOf(id);
  if (w->menuBar >= 0) destroyMenuBar(w->menuBar);
  delete w->widget.data();
  windows[id] = WindowRecord{};
  dropPendingOfWindow(id);
}

void closeAllWindows() {
  for (std::size_t i = 0; i < windows.size(); ++i) closeWindow(static_cast<int>(i));
  windows.assign(16, WindowRecord{});
}

void requestCloseOfFirstWindow() {
  for (const WindowRecord& w : windows)
    if (w.widget) {
      w.widget->close();  // ignored by the window, reported as WindowClose
      return;
    }
}

WindowHandle nativeWindowHandle(int id) {
  const WindowRecord* w = windowRecord(id);
  return w ? reinterpret_cast<WindowHandle>(w->widget.data()) : 0;
}

namespace {

// The pointer in the inner area's coordinates, or (-1, -1) outside it.
QPoint pointerIn(int windowId) {
  const WindowRecord* w = windowRecord(windowId);
  if (!w) return {-1, -1};
  const QPoint p = w->client->mapFromGlobal(QCursor::pos());
  if (p.x() < 0 || p.y() < 0 || p.x() >= w->client->width() || p.y() >= w->client->height()) return {-1, -1};
  return p;
}

}  // namespace

int pointerX(int windowId) { return pointerIn(windowId).x(); }
int pointerY(int windowId) { return pointerIn(windowId).y(); }
