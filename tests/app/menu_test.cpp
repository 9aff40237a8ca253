// The main window's menu and each shortcut in each mode, through the command dispatch.
#include <QMenu>

#include "support/editor_fixture.h"

namespace {

class MainMenu : public EditorTest {};

TEST_F(MainMenu, ListsItsItemsWithTheirHintsInOrder) {
  const QMenu* menu = window()->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), "&Datei");
  QStringList items;
  for (const QAction* action : menu->actions()) items << (action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(items, (QStringList{"Neu\tStrg+N", "Speichern\tStrg+S", "-", "Bild Speichern\tUmschalt+S",
                                "Vorschau\tStrg+V", "-", "Beenden"}));
}

TEST_F(MainMenu, EachShortcutDoesItsCommandInEachMode) {
  const struct {
    bool preview;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int frames;  // after it, from two
    bool previewAfter;
    bool wrote;
  } cases[] = {
      {false, Qt::Key_N, Qt::ControlModifier, 0, false, false}, {true, Qt::Key_N, Qt::ControlModifier, 0, false, false},
      {false, Qt::Key_S, Qt::ControlModifier, 2, false, true},  {true, Qt::Key_S, Qt::ControlModifier, 2, true, true},
      {false, Qt::Key_S, Qt::ShiftModifier, 3, false, false},   {true, Qt::Key_S, Qt::ShiftModifier, 2, true, false},
      {false, Qt::Key_V, Qt::ControlModifier, 2, true, false},  {true, Qt::Key_V, Qt::ControlModifier, 2, false, false},
  };
  for (const auto& c : cases) {
    newSeries(session);
    captureMany(2);
    if (c.preview) enterPreview(session);
    if (c.key == Qt::Key_N) pressAnswer(7);  // New asks about the unsaved frames: No
    if (c.key == Qt::Key_S && c.modifiers == Qt::ControlModifier) chooseSavePath((folder / "walk").string());
    QTest::keyClick(window(), c.key, c.modifiers);
    for (int i = 0; i < 3; ++i) pass();  // the window may have queued a move before the key
    const std::string which = QKeySequence(c.key | c.modifiers).toString().toStdString() + (c.preview ? " in preview" : "");
    EXPECT_EQ(session.frames.count(), c.frames) << which;
    EXPECT_EQ(session.previewMode, c.previewAfter) << which;
    EXPECT_EQ(fs::exists(folder / "walk1r.bmp"), c.wrote) << which;
    fs::remove_all(folder);
    fs::create_directory(folder);
  }
}

}  // namespace
