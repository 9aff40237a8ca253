#include <QPushButton>
#include <QSlider>

#include "support/ui_fixture.h"

namespace {

class Controls : public WindowTest {};

TEST_F(Controls, ToggleButtonFlipsBeforeItsEvent) {
  EXPECT_EQ(getControlState(2), 0);
  QTest::mouseClick(control(2), Qt::LeftButton);
  ASSERT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 2, 0}}));
  EXPECT_EQ(getControlState(2), 1);
  QTest::mouseClick(control(2), Qt::LeftButton);
  ASSERT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 2, 0}}));
  EXPECT_EQ(getControlState(2), 0);
  setControlState(2, 5);
  EXPECT_EQ(getControlState(2), 1);
  setControlState(2, 0);
  EXPECT_TRUE(next(1, 5).empty());
  control(2)->setFocus();
  QTest::keyClick(control(2), Qt::Key_Space);
  EXPECT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 2, 0}}));
  EXPECT_EQ(getControlState(2), 1);
}

TEST_F(Controls, TrackbarBoundsAndPositions) {
  auto* slider = static_cast<QSlider*>(control(4));
  EXPECT_EQ(getControlState(4), 0);
  EXPECT_EQ(slider->maximum(), 10);
  setControlState(4, 7);
  setControlAttribute(4, 2, 4);
  EXPECT_EQ(getControlState(4), 4);
  setControlAttribute(4, 2, -1);  // below the minimum: either bound is an answer
  EXPECT_TRUE(getControlState(4) == 0 || getControlState(4) == -1);
  setControlAttribute(4, 2, 3);
  EXPECT_EQ(slider->minimum(), 0);
  EXPECT_EQ(slider->maximum(), 3);
  setControlState(4, 2);
  EXPECT_TRUE(next(1, 5).empty());

  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  ASSERT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 4, 0}}));
  EXPECT_EQ(getControlState(4), 3);

  trackbarControl(9, 0, 0, 100, 20, -3, 5);
  EXPECT_EQ(static_cast<QSlider*>(control(9))->minimum(), 0);
  EXPECT_EQ(getControlState(9), 0);
}

TEST_F(Controls, TabCyclesButtonEditTrackbar) {
  control(2)->setFocus();
  QTest::keyClick(control(2), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), control(3));
  QTest::keyClick(control(3), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), control(4));
  QTest::keyClick(control(4), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), control(2));
  QTest::keyClick(control(2), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), control(4));
}

TEST_F(Controls, NumbersAndKindsGuardEveryCall) {
  EXPECT_EQ(getControlState(42), 0);
  EXPECT_EQ(getControlText(42), "");
  setControlState(42, 1);
  setControlAttribute(3, 2, 5);
  EXPECT_EQ(getControlText(3), "25");
  EXPECT_EQ(getControlText(5), "FPS:");
  EXPECT_EQ(canvasOutput(3), nullptr);
  QWidget* old = control(2);
  QPointer<QWidget> watch(old);
  buttonControl(2, 0, 0, 10, 10, "neu", 0);  // a used number: the old button is destroyed first
  EXPECT_TRUE(watch.isNull());
  EXPECT_EQ(getControlText(2), "neu");
  buttonControl(60, 0, 0, 10, 10, "weit", 0);
  EXPECT_EQ(getControlText(60), "weit");
}

}  // namespace
