#include <QScreen>

#include "support/ui_fixture.h"

namespace {

class Canvas : public WindowTest {};

TEST_F(Canvas, EachPassShowsWhenItEnds) {
  ASSERT_NE(beginDrawing(canvasOutput(0)), 0);
  fillRectangle(10, 10, 5, 5, 0x0000FF);  // red
  endDrawing();
  const QPoint at = control(0)->mapTo(window(), QPoint(12, 12));
  const QImage shot = window()->screen()->grabWindow(window()->winId(), at.x(), at.y(), 1, 1).toImage();
  EXPECT_EQ(shot.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);  // without processing any event
}

TEST_F(Canvas, AQuickSecondPressIsADoubleClickNotAClick) {
  QTest::mouseClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  QTest::mouseDClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  std::vector<int> subtypes;
  for (const Seen& e : next(6, 5)) subtypes.push_back(e.subtype);
  EXPECT_EQ(subtypes, (std::vector<int>{RightDown, RightClick, RightUp, RightDown, RightDoubleClick}));
}

TEST_F(Canvas, ClickingTheCanvasKeepsTheFocusWhereItWas) {
  control(3)->setFocus();
  QTest::mouseClick(control(0), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(QApplication::focusWidget(), control(3));
}

}  // namespace
