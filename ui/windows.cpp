// Numbered top-level windows: opening, geometry, closing, and where a point lies in them.
#include <QApplication>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "ui_internal.h"

namespace {

// A close request is reported, never acted on: the window stays until it is closed.
class TopLevel : public QWidget {
 public:
  explicit TopLevel(int id) : id_(id) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    queueEvent(WindowClose, id_, 0);
  }

 private:
  int id_;
};

std::vector<WindowRecord> windows(1);

// A screen reader takes a plain widget for a filler; our windows are frames, named by their title.
QAccessibleInterface* windowAccessible(const QString& className, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (className != "QWidget" || !widget || windowOf(widget) < 0 || !widget->isWindow()) return nullptr;
  return new QAccessibleWidget(widget, QAccessible::Window);
}

void centreOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize outer = window.frameGeometry().size().boundedTo(area.size());
  window.move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
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

QWidget* dialogOwner() {
  QWidget* active = QApplication::activeWindow();
  if (windowOf(active) >= 0) return active;
  for (const WindowRecord& w : windows)
    if (w.widget) return w.widget;
  return nullptr;
}

void openWindow(int id, int width, int height, const std::string& title) {
  if (static_cast<std::size_t>(id) >= windows.size()) windows.resize(static_cast<std::size_t>(id) + 1);
  auto* window = new TopLevel(id);
  window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
  window->setWindowTitle(QString::fromStdString(title));
  window->setFixedSize(width, height);
  auto* client = new QWidget(window);
  client->setGeometry(0, 0, width, height);
  windows[id] = WindowRecord{window, client, -1, {{0x03, 9, focusNext}, {0x07, 9, focusPrevious}}};
  window->show();
  centreOnScreen(*window);
  window->activateWindow();
  window->raise();
  setControlParent(client, id);
}

void resizeWindow(int id, int height) {
  WindowRecord* w = windowRecord(id);
  if (!w) return;
  QWidget& window = *w->widget;
  window.setFixedSize(window.width(), height);
  const int top = w->client->y();
  w->client->setGeometry(0, top, window.width(), std::max(0, height - top));
}

void setWindowTitle(int id, const std::string& title) {
  if (WindowRecord* w = windowRecord(id)) w->widget->setWindowTitle(QString::fromStdString(title));
}

void closeAllWindows() {
  for (const WindowRecord& w : windows) delete w.widget.data();  // with its menu bar and controls
  windows.assign(1, WindowRecord{});
}

void requestCloseOfFirstWindow() {
  for (const WindowRecord& w : windows)
    if (w.widget) {
      w.widget->close();  // ignored by the window, reported as WindowClose
      return;
    }
}

PointerAt pointerAt(const QWidget* widget, QPointF position) {
  const int id = windowOf(widget);
  const WindowRecord* w = windowRecord(id);
  if (!w) return {};
  const QPointF p = widget->mapTo(w->client, position);
  // The pixel under the point; a pen or a finger may lie between pixels.
  if (!(p.x() >= 0 && p.y() >= 0 && p.x() < w->client->width() && p.y() < w->client->height())) return {id, -1, -1};
  return {id, static_cast<int>(p.x()), static_cast<int>(p.y())};
}

void openWindowAccessibility() { QAccessible::installFactory(windowAccessible); }

void closeWindowAccessibility() { QAccessible::removeFactory(windowAccessible); }
