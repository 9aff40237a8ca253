#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "support/editor_fixture.h"

namespace {

class Dialogs : public EditorTest {};

TEST_F(Dialogs, TheQuestionBoxSpeaksGermanAndEveryWayOutHasItsAnswer) {
  QStringList texts;
  answerNextDialog([&texts](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    for (auto which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) texts << box->button(which)->text();
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(askUser("Limbrik Editor", "?", 35), 6);
  EXPECT_EQ(texts, (QStringList{"&Ja", "&Nein", "Abbrechen"}));
  const std::pair<std::function<void(QWidget*)>, int> ways[] = {
      {[](QWidget* m) { static_cast<QMessageBox*>(m)->button(QMessageBox::No)->click(); }, 7},
      {[](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); }, 2},
      {[](QWidget* m) { m->close(); }, 2}};
  for (const auto& [act, answer] : ways) {
    answerNextDialog(act);
    EXPECT_EQ(askUser("Limbrik Editor", "?", 35), answer);
  }
  pressAnswer(1);
  EXPECT_EQ(askUser("Limbrik Editor", "!", 0x30), 1);
}

TEST_F(Dialogs, TheSaveDialogReturnsTheTypedPathAsItIsWithoutAQuestion) {
  std::ofstream(folder / "walk") << "a file of the base's name: no question, the name is a base";
  QString accept;
  answerNextDialog([&](QWidget* modal) {
    auto* dialog = static_cast<QFileDialog*>(modal);
    accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->text();
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString((folder / "walk").string()));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  EXPECT_EQ(askSavePath(), (folder / "walk").string());
  EXPECT_EQ(accept.remove(QChar('&')).toStdString(), "Speichern");
  chooseSavePath("");
  EXPECT_EQ(askSavePath(), "");
}

}  // namespace
