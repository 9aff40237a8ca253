#include <QScreen>
#include <QWindow>

#include "support/ui_fixture.h"

namespace {

class CanvasDisplay : public WindowTest {
 protected:
  // What the screen shows at a canvas pixel, read back without processing any event.
  static QRgb onScreen(int x, int y) {
    const QPoint at = control(0)->mapTo(window(), QPoint(x, y));
    const QImage shot = window()->screen()->grabWindow(window()->winId(), at.x(), at.y(), 1, 1).toImage();
    return shot.pixel(0, 0) & 0xFFFFFF;
  }
};

TEST_F(CanvasDisplay, StartsWhiteAndShowsEachPassWhenItEnds) {
  EXPECT_EQ(onScreen(0, 0), 0xFFFFFFu);
  ASSERT_NE(beginDrawing(canvasOutput(0)), 0);
  fillRectangle(10, 10, 5, 5, 0x0000FF);  // red
  plot(399, 399, 0xFF0000);  // blue
  endDrawing();
  EXPECT_EQ(onScreen(12, 12), 0xFF0000u);
  EXPECT_EQ(onScreen(399, 399), 0x0000FFu);
  EXPECT_EQ(onScreen(20, 20), 0xFFFFFFu);
}

TEST_F(CanvasDisplay, APassThatFailsShowsNothingNew) {
  EXPECT_EQ(canvasOutput(17), nullptr);
  EXPECT_EQ(beginDrawing(canvasOutput(17)), 0);
  EXPECT_EQ(onScreen(0, 0), 0xFFFFFFu);
}

TEST_F(CanvasDisplay, QuickSecondPressesAreDoubleClicks) {
  QTest::mouseClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  QTest::mouseDClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  QTest::mouseRelease(control(0), Qt::RightButton, {}, QPoint(30, 30));
  const auto seen = next(6, 5);
  const std::vector<Seen> expected{{ControlEvent, 0, RightDown}, {ControlEvent, 0, RightClick},
                                   {ControlEvent, 0, RightUp},   {ControlEvent, 0, RightDown},
                                   {ControlEvent, 0, RightDoubleClick}, {ControlEvent, 0, RightUp}};
  EXPECT_EQ(seen, expected);
  QTest::mouseClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  QTest::mouseClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  const auto apart = next(6, 5);
  ASSERT_EQ(apart.size(), 6u);
  EXPECT_EQ(apart[1].subtype, RightClick);
  EXPECT_EQ(apart[4].subtype, RightClick);
}

TEST_F(CanvasDisplay, ReleaseOutsideTheWindowStillEndsThePress) {
  QTest::mousePress(control(0), Qt::LeftButton, {}, QPoint(200, 230));
  QTest::mouseMove(control(0), QPoint(-50, -80));
  QTest::mouseRelease(control(0), Qt::LeftButton, {}, QPoint(-50, -80));
  bool sawUp = false;
  for (const Seen& e : next(8, 5)) sawUp = sawUp || e.subtype == LeftUp;
  EXPECT_TRUE(sawUp);
}

TEST_F(CanvasDisplay, ClickingTheCanvasKeepsTheFocusWhereItWas) {
  control(3)->setFocus();
  QTest::mouseClick(control(0), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(QApplication::focusWidget(), control(3));
}

}  // namespace
