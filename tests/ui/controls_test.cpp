#include <QSlider>

#include "support/editor_fixture.h"

namespace {

class Controls : public EditorTest {};

TEST_F(Controls, ToggleButtonFlipsBeforeItsEventAndTheProgramSetsItQuietly) {
  QTest::mouseClick(control(2), Qt::LeftButton);
  ASSERT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 2, 0}}));
  EXPECT_EQ(getControlState(2), 1);
  setControlState(2, 0);
  EXPECT_TRUE(next(1, 5).empty());
  EXPECT_EQ(getControlState(2), 0);
}

TEST_F(Controls, TrackbarKeepsItsBoundsAndReportsMoves) {
  auto* slider = static_cast<QSlider*>(control(4));
  setControlState(4, 7);
  setTrackbarMaximum(4, 4);  // a maximum below the position pulls it back
  EXPECT_EQ(getControlState(4), 4);
  setTrackbarMaximum(4, 3);
  setControlState(4, 2);
  EXPECT_TRUE(next(1, 5).empty());
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  ASSERT_EQ(next(1), (std::vector<Seen>{{ControlEvent, 4, 0}}));
  EXPECT_EQ(getControlState(4), 3);
  EXPECT_EQ(slider->maximum(), 3);
}

TEST_F(Controls, TabCyclesButtonEditTrackbarFromWhereverTheFocusIs) {
  control(0)->setFocus();  // the canvas takes no part: Tab starts at the button
  for (const int next : {2, 3, 4, 2}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control(next));
  }
  QTest::keyClick(control(2), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), control(4));
}

}  // namespace
