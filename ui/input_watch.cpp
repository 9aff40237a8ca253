// The watch of memory's room (see raster's memory rules), before Qt handles a key or a button.
#include <QApplication>
#include <QEvent>

#include "ui_internal.h"

namespace {

class InputWatch : public QObject {
 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel: watchMemory(); break;
      default: break;
    }
    return QObject::eventFilter(target, event);
  }
};

}  // namespace

std::unique_ptr<QObject> installInputWatch() {
  auto watch = std::make_unique<InputWatch>();
  qApp->installEventFilter(watch.get());
  return watch;
}
