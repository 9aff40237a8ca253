// The services as the editor's window uses them: canvas input, shortcuts, the panel's
// controls, the window's frame, and the canvas's widening of its pixels.
#include <QScreen>
#include <chrono>

#include "support/editor_fixture.h"

namespace {

using Services = EditorTest;
using Events = std::vector<std::array<int, 3>>;

TEST_F(Services, CanvasInputComesOutInOrderOnePerCallAndAQuickSecondPressIsADoubleClick) {
  control(3)->setFocus();
  QTest::mousePress(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(waitEvent(2), ControlEvent);
  EXPECT_EQ(std::pair(eventControl(), eventSubtype()), std::pair(0, int{LeftDown}));
  QTest::mouseRelease(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  QTest::mouseDClick(control(0), Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_EQ(next(8), (Events{{ControlEvent, 0, LeftClick}, {ControlEvent, 0, LeftUp}, {ControlEvent, 0, RightDown},
                             {ControlEvent, 0, RightClick}, {ControlEvent, 0, RightUp}, {ControlEvent, 0, RightDown},
                             {ControlEvent, 0, RightDoubleClick}}));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waitEvent(2), 0);  // nothing more: the wait runs out and keeps the last event
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2));
  EXPECT_EQ(eventSubtype(), RightDoubleClick);
  EXPECT_EQ(QApplication::focusWidget(), control(3)) << "the canvas took the focus";
}

TEST_F(Services, TheButtonFlipsBeforeItsEventAndTheProgramSetsControlsQuietly) {
  QTest::mouseClick(control(2), Qt::LeftButton);
  ASSERT_EQ(next(1), (Events{{ControlEvent, 2, 0}}));
  EXPECT_EQ(getControlState(2), 1);
  setControlState(2, 0);
  setControlState(4, 7);
  setTrackbarMaximum(4, 4);  // a maximum below the position pulls it back
  EXPECT_EQ(next(1, 5), Events{});
  EXPECT_EQ(std::pair(getControlState(2), getControlState(4)), std::pair(0, 4));
  control(4)->setFocus();
  QTest::keyClick(control(4), Qt::Key_Left);
  ASSERT_EQ(next(1), (Events{{ControlEvent, 4, 0}}));
  EXPECT_EQ(getControlState(4), 3);
}

TEST_F(Services, TabCyclesButtonEditTrackbarFromWhereverTheFocusIs) {
  window()->setFocus();  // the canvas takes no part: Tab starts at the button
  for (const int next : {2, 3, 4, 2}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control(next));
  }
  QTest::keyClick(control(2), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), control(4));
}

TEST_F(Services, TheWindowStandsInTheMiddleOfTheScreen) {
  EXPECT_EQ(window()->frameGeometry().center(), window()->screen()->geometry().center());
}

// Abbrechen, Escape and the close box ask the command to stop and leave the window up until
// it has; once the command cannot be stopped they do nothing.
TEST_F(Services, TheProgressWindowStaysUntilTheCommandHasStopped) {
  for (const bool stoppable : {true, false}) {
    beginProgress("Limbrik Editor", 3);
    showProgress();
    if (!stoppable) progressWithoutCancel("Die Dateien werden an ihren Platz gebracht …");
    auto* progress = window()->findChild<QProgressDialog*>();
    QTest::keyClick(progress, Qt::Key_Escape);
    progress->close();
    EXPECT_EQ(progressStopRequested(), stoppable);
    EXPECT_TRUE(progress->isVisible());
    endProgress();
  }
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

}  // namespace
