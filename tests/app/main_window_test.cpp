// Dragging each handle through the editor's own loop.
#include <cmath>

#include "support/editor_fixture.h"

namespace {

using MainWindow = EditorTest;

// Each Segment and the one whose end is its start: the arms and legs hang on their upper
// parts, the legs and the torso's upper half on the hip, the arms, head and lower half on the neck.
constexpr std::pair<int, int> joints[] = {{1, 0}, {3, 2}, {5, 4}, {7, 6}, {4, 8}, {6, 8},
                                          {9, 8}, {0, 9}, {2, 9}, {10, 9}, {8, 9}};

// Pressed on the handle, moved and released there, then moved on with the button up.
TEST_F(MainWindow, EachHandleTurnsItsOwnSegmentOnlyWhileTheButtonIsHeld) {
  // The window icon, pinned: a small stick figure in the bones' grey with a green handle.
  const QImage icon = QApplication::windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(fnv1a(icon.constBits(), static_cast<std::size_t>(icon.sizeInBytes())), 0xFDAD7FE41EDD6543u);
  QWidget* canvas = control(layout::canvas);
  const auto moveTo = [&](QPoint at) {
    QCursor::setPos(canvas->mapToGlobal(at));
    QTest::mouseMove(canvas, at);
    pass(3);
  };
  for (int i = 0; i < segmentCount; ++i) {
    resetPose(session.figure);
    pass();  // a render leaves the end vectors the hit test reads
    const Figure before = session.figure;
    const QPoint handle(std::lround(before[i].x + before[i].dx), std::lround(before[i].y + before[i].dy));
    moveTo(handle);
    QTest::mousePress(canvas, Qt::LeftButton, {}, handle);
    pass(3);  // the press takes the handle under the pointer
    moveTo(handle + QPoint(25, 15));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, handle + QPoint(25, 15));
    pass(3);
    const Figure dragged = session.figure;
    moveTo(QPoint(5, 5));
    for (const QPoint outside : {QPoint(400, 5), QPoint(5, 400)}) {  // just right of and below the canvas
      QCursor::setPos(canvas->mapToGlobal(outside));
      EXPECT_EQ(std::pair(pointerX(layout::window), pointerY(layout::window)), std::pair(-1, -1));
    }
    QCursor::setPos(canvas->mapToGlobal(QPoint(0, 0)));  // the top left pixel is still inside
    EXPECT_EQ(std::pair(pointerX(layout::window), pointerY(layout::window)), std::pair(0, 0));
    const auto torso = [](int s) { return s == 8 || s == 9; };  // one bone, turned from either end
    for (int j = 0; j < segmentCount; ++j) {
      EXPECT_EQ(dragged[j].angle != before[j].angle, j == i || (torso(i) && torso(j))) << "dragging " << i << " turned " << j;
      EXPECT_EQ(session.figure[j].angle, dragged[j].angle) << "moving after the release turned " << j;
    }
    const Figure& f = session.figure;  // every Segment starts where the one it hangs on ends
    for (const auto& [child, parent] : joints)
      EXPECT_EQ(std::pair(f[child].x, f[child].y), std::pair(roundToInt(f[parent].x + double{f[parent].dx}, -1),
                                                            roundToInt(f[parent].y + double{f[parent].dy}, -1)))
          << "after dragging " << i << ", " << child << " does not start at the end of " << parent;
  }
}

}  // namespace
