#include <QLineEdit>
#include <QScreen>
#include <chrono>

#include "support/editor_fixture.h"

namespace {

class Events : public EditorTest {};

TEST_F(Events, CanvasInputComesOutInOrderOnePerCall) {
  QTest::mousePress(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(waitEvent(2), ControlEvent);
  EXPECT_EQ(eventControl(), 0);
  EXPECT_EQ(eventSubtype(), LeftDown);
  QTest::mouseRelease(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mousePress(control(0), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_EQ(next(4), (std::vector<Seen>{{ControlEvent, 0, LeftClick}, {ControlEvent, 0, LeftUp},
                                        {ControlEvent, 0, RightDown}, {ControlEvent, 0, RightClick}}));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waitEvent(2), 0);  // nothing more: the wait runs out and keeps the last event
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2));
  EXPECT_EQ(eventSubtype(), RightClick);
  EXPECT_EQ(waitEvent(0), 0);
}

TEST_F(Events, ShortcutsComeBeforeTheFocusedEditAndGreyedOnesSwallowTheKey) {
  auto* edit = static_cast<QLineEdit*>(control(3));
  edit->setFocus();
  drain();
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_S, Qt::ShiftModifier);
  EXPECT_EQ(next(2), (std::vector<Seen>{{MenuEvent, 3, -1}, {MenuEvent, 2, -1}}));
  disableMenuItem(0, 2, 1);
  QTest::keyClick(edit, Qt::Key_S, Qt::ShiftModifier);
  EXPECT_EQ(next(1, 5), std::vector<Seen>{});
  QTest::keyClick(edit, Qt::Key_7);
  EXPECT_EQ(getControlText(3), "257");  // the edit saw only the plain key
}

TEST_F(Events, AChosenItemRaisesItsIdAndTheCheckMarkShowsOnlyWhatWasSet) {
  setMenuItemChecked(0, 3, 1);
  soon([] {
    for (QAction* action : window()->findChildren<QAction*>())
      if (action->text().startsWith("Vorschau")) action->trigger();
  });
  EXPECT_EQ(next(1), (std::vector<Seen>{{MenuEvent, 3, -1}}));
  EXPECT_EQ(getMenuItemChecked(0, 3), 1);
  setMenuItemChecked(0, 3, 0);
  EXPECT_EQ(getMenuItemChecked(0, 3), 0);
}

TEST_F(Events, TheWindowHasATitleAndACloseBoxOnlyAndStandsInTheMiddle) {
  EXPECT_EQ(window()->windowFlags(), Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);  // no minimise or maximise
  EXPECT_EQ(window()->frameGeometry().center(), window()->screen()->geometry().center());
}

}  // namespace
