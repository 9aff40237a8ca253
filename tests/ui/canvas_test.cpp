#include <QScreen>

#include "support/editor_fixture.h"

namespace {

class Canvas : public EditorTest {};

TEST_F(Canvas, EachPassShowsWhenItEnds) {
  ASSERT_NE(beginDrawing(canvasOutput(0)), 0);
  fillRectangle(10, 10, 5, 5, 0x0000FF);  // red
  endDrawing();
  const QPoint at = control(0)->mapTo(window(), QPoint(12, 12));
  const QImage shot = window()->screen()->grabWindow(window()->winId(), at.x(), at.y(), 1, 1).toImage();
  EXPECT_EQ(shot.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);  // without processing any event
}

TEST(Widening, EveryWayTheProcessorHasGivesThePlainPixels) {
  std::vector<std::uint8_t> row(3 * 40);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i * 37 + 11);
  int levels = 1;
#if defined(__x86_64__)
  levels = __builtin_cpu_supports("avx2") ? 3 : __builtin_cpu_supports("ssse3") ? 2 : 1;
#endif
  for (int width = 1; width <= 40; ++width) {
    std::vector<std::uint32_t> plain(width), other(width);
    expandRowBy(0, row.data(), plain.data(), width);
    EXPECT_EQ(plain.back(), 0xFF000000u | row[3 * width - 3] | row[3 * width - 2] << 8 | row[3 * width - 1] << 16);
    for (int level = 1; level < levels; ++level) {
      expandRowBy(level, row.data(), other.data(), width);
      EXPECT_EQ(other, plain) << "level " << level << ", width " << width;
    }
  }
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
