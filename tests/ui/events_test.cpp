#include <QClipboard>
#include <QCursor>
#include <QLineEdit>
#include <chrono>

#include "support/ui_fixture.h"

namespace {

class Events : public WindowTest {};

TEST_F(Events, CanvasPressesComeOutInOrderOnePerCall) {
  QTest::mousePress(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(waitEvent(2), ControlEvent);
  EXPECT_EQ(eventControl(), 0);
  EXPECT_EQ(eventSubtype(), LeftDown);
  EXPECT_EQ(waitEvent(2), ControlEvent);
  EXPECT_EQ(eventSubtype(), LeftClick);
  QTest::mouseRelease(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mousePress(control(0), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_EQ(next(3), (std::vector<Seen>{{ControlEvent, 0, LeftUp}, {ControlEvent, 0, RightDown},
                                        {ControlEvent, 0, RightClick}}));
}

TEST_F(Events, IdenticalNeighboursInTheQueueMerge) {
  for (int x = 10; x < 15; ++x) QTest::mouseMove(control(0), QPoint(x, 20));
  QApplication::processEvents();
  const auto seen = next(5, 5);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), (Seen{ControlEvent, 0, MouseEnter}));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen.back(), (Seen{ControlEvent, 0, MouseMove}));
}

TEST_F(Events, ATimeoutReturnsZeroAndKeepsTheLastEvent) {
  QTest::mousePress(control(0), Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_EQ(waitEvent(2), ControlEvent);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waitEvent(2), ControlEvent);  // the queued LeftClick comes first, without waiting
  EXPECT_EQ(waitEvent(2), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(eventSubtype(), LeftClick);
  EXPECT_EQ(waitEvent(0), 0);
}

TEST_F(Events, AClickHandledInTheWaitIsReturnedByThatCall) {
  soon([] { QTest::mouseClick(control(2), Qt::LeftButton); });
  int kind = 0;
  for (int i = 0; i < 50 && kind != ControlEvent; ++i) kind = waitEvent(20);
  EXPECT_EQ(kind, ControlEvent);
  EXPECT_EQ(eventControl(), 2);
  EXPECT_EQ(eventSubtype(), 0);
}

TEST_F(Events, CloseRequestIsQueuedAndTheWindowStays) {
  window()->close();
  EXPECT_EQ(next(1), (std::vector<Seen>{{WindowClose, 0, 0}}));
  EXPECT_EQ(eventWindow(), 0);
  EXPECT_TRUE(window()->isVisible());
  closeWindow(0);
  EXPECT_EQ(windowRecord(0), nullptr);
  EXPECT_EQ(nativeWindowHandle(0), 0u);
  EXPECT_EQ(resizeWindow(0, keepUnchanged, keepUnchanged, keepUnchanged, 475), 0);
}

TEST_F(Events, ShortcutsComeBeforeTheFocusedEdit) {
  auto* edit = static_cast<QLineEdit*>(control(3));
  edit->setFocus();
  drain();
  QApplication::clipboard()->setText("99");
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_S, Qt::ShiftModifier);
  EXPECT_EQ(next(2), (std::vector<Seen>{{MenuEvent, 3, -1}, {MenuEvent, 2, -1}}));
  EXPECT_EQ(edit->text(), "25");

  disableMenuItem(0, 2, 1);
  disableMenuItem(0, 3, 1);
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_S, Qt::ShiftModifier);
  EXPECT_EQ(next(1, 5), std::vector<Seen>{});
  EXPECT_EQ(edit->text(), "25");

  QTest::keyClick(edit, Qt::Key_7);
  EXPECT_EQ(edit->text(), "257");
  EXPECT_EQ(getControlText(3), "257");
}

TEST_F(Events, AShortcutBoundTwiceKeepsTheSecondId) {
  addShortcut(0, 0x20056, 4);
  QTest::keyClick(control(3), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(next(1), (std::vector<Seen>{{MenuEvent, 4, -1}}));
  EXPECT_EQ(windowRecord(0)->shortcuts.size(), 4u);  // Tab, Shift+Tab, Shift+S, Ctrl+V
}

TEST_F(Events, MenuItemsChosenRaiseTheirIdAndKeepTheirCheckMark) {
  setMenuItemChecked(0, 3, 1);
  EXPECT_EQ(getMenuItemChecked(0, 3), 1);
  soon([] {
    for (QAction* action : windowRecord(0)->widget->findChildren<QAction*>())
      if (action->text().startsWith("Vorschau")) action->trigger();
  });
  EXPECT_EQ(next(1), (std::vector<Seen>{{MenuEvent, 3, -1}}));
  EXPECT_EQ(getMenuItemChecked(0, 3), 1);
  setMenuItemChecked(0, 3, 0);
  EXPECT_EQ(getMenuItemChecked(0, 3), 0);
  EXPECT_EQ(getMenuItemChecked(0, 9), 0);
  EXPECT_EQ(getMenuItemChecked(7, 3), 0);
}

TEST_F(Events, PointerIsReadBelowTheMenuBarAndMinusOneOutside) {
  QCursor::setPos(client()->mapToGlobal(QPoint(15, 25)));
  EXPECT_EQ(pointerX(0), 15);
  EXPECT_EQ(pointerY(0), 25);
  QCursor::setPos(client()->mapToGlobal(QPoint(15, -3)));
  EXPECT_EQ(pointerX(0), -1);
  EXPECT_EQ(pointerY(0), -1);
  QCursor::setPos(client()->mapToGlobal(QPoint(400, 10)));
  EXPECT_EQ(pointerX(0), -1);
  EXPECT_EQ(pointerX(5), -1);
  EXPECT_EQ(pointerY(5), -1);
}

TEST_F(Events, TheMenuBarTakesItsHeightFromTheWindow) {
  EXPECT_EQ(window()->height(), 420);
  EXPECT_EQ(client()->height(), 400);
  EXPECT_EQ(client()->mapTo(window(), QPoint(0, 0)), QPoint(0, 20));
  const QPoint corner = window()->pos();
  EXPECT_NE(resizeWindow(0, keepUnchanged, keepUnchanged, keepUnchanged, 475), 0);
  EXPECT_EQ(client()->height(), 455);
  EXPECT_EQ(window()->width(), 400);
  EXPECT_EQ(window()->pos(), corner);
  EXPECT_TRUE(client()->rect().contains(control(1)->geometry()));
  resizeWindow(0, keepUnchanged, keepUnchanged, keepUnchanged, 420);
  EXPECT_EQ(client()->height(), 400);
  EXPECT_FALSE(client()->rect().intersects(control(1)->geometry()));
}

}  // namespace
