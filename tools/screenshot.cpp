// Makes docs/editor.png: the real editor, posed, with a captured frame behind it, on the
// offscreen platform. Usage: screenshot OUTPUT.png
#include <QApplication>
#include <QCursor>
#include <QTest>
#include <QTimer>

#include "app.h"
#include "ui_internal.h"

namespace {

void step(int at, std::function<void()> fn) { QTimer::singleShot(at, qApp, std::move(fn)); }

QPoint onCanvas(int x, int y) { return controlWidget(layout::canvas)->mapToGlobal(QPoint(x, y)); }

// The loop reads the pointer when it takes the press, so the move comes a step later.
void press(QPoint at) {
  QCursor::setPos(onCanvas(at.x(), at.y()));
  QTest::mousePress(controlWidget(layout::canvas), Qt::LeftButton, {}, at);
}

void moveTo(QPoint to) {
  QCursor::setPos(onCanvas(to.x(), to.y()));
  QTest::mouseMove(controlWidget(layout::canvas), to);
}

void release(QPoint at) { QTest::mouseRelease(controlWidget(layout::canvas), Qt::LeftButton, {}, at); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QApplication application(argc, argv);
  const QString output = QString::fromLocal8Bit(argv[1]);
  int result = 1;
  step(100, [] { QTest::mouseClick(controlWidget(layout::canvas), Qt::RightButton, {}, {20, 20}); });
  step(150, [] { press({215, 214}); });  // raise the second forearm
  step(200, [] { moveTo({262, 170}); });
  step(250, [] { release({262, 170}); });
  step(300, [] { press({208, 365}); });  // and step forward with the first shin
  step(350, [] { moveTo({250, 345}); });
  step(400, [] { release({250, 345}); });
  step(500, [&] {
    QWidget* window = windowRecord(layout::window)->widget;
    result = window->grab().save(output) ? 0 : 1;
    window->close();  // quits after the save question, answered No below
  });
  step(700, [] {
    if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_N);
  });
  int nameOnly = 1;  // the output path is this tool's, not the editor's
  runApplication(nameOnly, argv);
  return result;
}
