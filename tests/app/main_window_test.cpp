// Dragging each handle through the editor's own loop, with the mouse, a finger and a pen.
#include <QPointingDevice>
#include <QTabletEvent>
#include <cmath>

#include "support/editor_fixture.h"

namespace {

using MainWindow = EditorTest;

// Each Segment and the one whose end is its start: the arms and legs hang on their upper
// parts, the legs and the torso's upper half on the hip, the arms, head and lower half on the neck.
constexpr std::pair<int, int> joints[] = {{1, 0}, {3, 2}, {5, 4}, {7, 6}, {4, 8}, {6, 8},
                                          {9, 8}, {0, 9}, {2, 9}, {10, 9}, {8, 9}};

using Pose = std::vector<std::array<std::int32_t, 4>>;

Pose poseOf(const Figure& figure) {
  Pose pose;
  for (const Segment& s : figure) pose.push_back({s.x, s.y, s.angle, s.length});
  return pose;
}

// The initial pose with one handle dragged to a point and held there until the chain settled.
Pose posedAt(int segment, QPoint at) {
  Figure figure{};
  resetPose(figure);
  for (int pass = 0; pass < 3; ++pass) {
    for (Segment& s : figure) refreshEndVector(s);
    dragUpdate(figure, segment, at.x(), at.y());
  }
  return poseOf(figure);
}

// The motion the canvas gets while it holds the pointer, inside the window or not.
void moveHeld(QWidget* canvas, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), canvas->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(canvas, &move);
}

QPoint handleOf(const Segment& s) { return QPoint(std::lround(s.x + s.dx), std::lround(s.y + s.dy)); }

// Pressed on the handle and moved before the loop reads the press; released, and a right click
// elsewhere at once, while the loop waits: all of it taken in one go, as on a busy machine.
TEST_F(MainWindow, EachHandleLandsWhereItWasReleasedHoweverLateTheLoopComes) {
  // The window icon, pinned: a small stick figure in the bones' grey with a green handle.
  const QImage icon = QApplication::windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(fnv1a(icon.constBits(), static_cast<std::size_t>(icon.sizeInBytes())), 0xFDAD7FE41EDD6543u);
  QWidget* canvas = control(layout::canvas);
  const auto post = [canvas](QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? button : Qt::NoButton;
    QCoreApplication::postEvent(canvas, new QMouseEvent(type, QPointF(at), canvas->mapToGlobal(QPointF(at)), button, held, {}));
  };
  for (int i = 0; i < segmentCount; ++i) {
    resetPose(session.figure);
    pass();  // a render leaves the end vectors the hit test reads
    const QPoint handle = handleOf(session.figure[i]), released = handle + QPoint(25, 15);
    QTest::mousePress(canvas, Qt::LeftButton, {}, handle);
    moveHeld(canvas, released);
    pass(2);
    post(QEvent::MouseButtonRelease, Qt::LeftButton, released);
    post(QEvent::MouseButtonPress, Qt::RightButton, QPoint(5, 5));
    post(QEvent::MouseButtonRelease, Qt::RightButton, QPoint(5, 5));
    pass();
    EXPECT_EQ(session.figure[i].angle, posedAt(i, released)[i][2]) << "dragging " << i << " followed the pointer on";
    pass(6);
    EXPECT_EQ(app.dragSegment, -1);
    EXPECT_EQ(poseOf(session.figure), posedAt(i, released)) << "dragging " << i;
    const Figure& f = session.figure;  // every Segment starts where the one it hangs on ends
    for (const auto& [child, parent] : joints)
      EXPECT_EQ(std::pair(f[child].x, f[child].y), std::pair(roundToInt(f[parent].x + double{f[parent].dx}, -1),
                                                            roundToInt(f[parent].y + double{f[parent].dy}, -1)))
          << "after dragging " << i << ", " << child << " does not start at the end of " << parent;
  }
  EXPECT_EQ(session.frames.count(), segmentCount);
  QTest::mousePress(canvas, Qt::LeftButton, {}, handleOf(session.figure[10]));
  pass(2);
  for (const QPoint at : {QPoint(400, 5), QPoint(5, 400), QPoint(0, 0)}) {  // right of, below and in the canvas
    moveHeld(canvas, at);
    pass();
    EXPECT_EQ(std::pair(pointerX(layout::window), pointerY(layout::window)),
              at == QPoint(0, 0) ? std::pair(0, 0) : std::pair(-1, -1));
  }
  QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(0, 0));
}

// A finger and a pen drag the hip as the mouse does: the limb follows them until they let go.
TEST_F(MainWindow, TouchAndPenDragAHandle) {
  QWidget* canvas = control(layout::canvas);
  const std::unique_ptr<QPointingDevice> finger(QTest::createTouchDevice());
  const QPointingDevice pen("pen", 1, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                            QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2);
  const auto penAt = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QTabletEvent event(type, &pen, at, canvas->mapToGlobal(at), 0.5, 0, 0, 0, 0, 0, {}, Qt::LeftButton, held);
    QApplication::sendEvent(canvas, &event);
  };
  const auto touchAt = [&](QEventPoint::State state, QPoint at) {
    auto touch = QTest::touchEvent(window(), finger.get());
    const QPoint inWindow = canvas->mapTo(window(), at);
    if (state == QEventPoint::Pressed) touch.press(0, inWindow, window());
    if (state == QEventPoint::Updated) touch.move(0, inWindow, window());
    if (state == QEventPoint::Released) touch.release(0, inWindow, window());
  };
  const QPoint hip(200, 230), target(300, 200);
  for (const bool byPen : {false, true}) {
    resetPose(session.figure);
    pass();
    byPen ? penAt(QEvent::TabletPress, hip, Qt::LeftButton) : touchAt(QEventPoint::Pressed, hip);
    byPen ? penAt(QEvent::TabletMove, target, Qt::LeftButton) : touchAt(QEventPoint::Updated, target);
    pass(4);
    EXPECT_EQ(poseOf(session.figure), posedAt(8, target)) << (byPen ? "pen" : "touch");
    byPen ? penAt(QEvent::TabletRelease, target, Qt::NoButton) : touchAt(QEventPoint::Released, target);
    pass(2);
    EXPECT_EQ(app.dragSegment, -1);
  }
}

}  // namespace
