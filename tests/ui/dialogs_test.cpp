#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "support/dialog_answers.h"
#include "support/temp_folder.h"
#include "support/ui_fixture.h"

namespace fs = std::filesystem;

namespace {

QAbstractButton* buttonOf(QWidget* modal, QMessageBox::StandardButton which) {
  return static_cast<QMessageBox*>(modal)->button(which);
}

class Dialogs : public WindowTest {};

TEST_F(Dialogs, QuestionBoxAnswersAndSpeaksGerman) {
  QStringList texts;
  answerNextDialog([&texts](QWidget* modal) {
    for (auto which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) texts << buttonOf(modal, which)->text();
    buttonOf(modal, QMessageBox::Yes)->click();
  });
  EXPECT_EQ(askUser("Limbrik Editor", "Möchten Sie die erstellte Bilderserie speichern?", 35), 6);
  EXPECT_EQ(texts, (QStringList{"&Ja", "&Nein", "Abbrechen"}));

  answerNextDialog([](QWidget* modal) { buttonOf(modal, QMessageBox::No)->click(); });
  EXPECT_EQ(askUser("Limbrik Editor", "?", 35), 7);
  answerNextDialog([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
  EXPECT_EQ(askUser("Limbrik Editor", "?", 35), 2);
  answerNextDialog([](QWidget* modal) { modal->close(); });
  EXPECT_EQ(askUser("Limbrik Editor", "?", 35), 2);

  QString title, text;
  QMessageBox::Icon icon{};
  answerNextDialog([&](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(askUser("Limbrik Editor", "Möchten Sie?", 0x30), 1);
  EXPECT_EQ(title, "Limbrik Editor");
  EXPECT_EQ(text, QString::fromUtf8("Möchten Sie?"));
  EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST_F(Dialogs, WhileADialogIsOpenTheWindowTakesNoInput) {
  bool blocked = false;
  answerNextDialog([&blocked](QWidget* modal) {
    blocked = !QApplication::activeModalWidget()->isAncestorOf(control(0)) && modal->isModal() &&
              modal->windowModality() != Qt::NonModal;
    buttonOf(modal, QMessageBox::Cancel)->click();
  });
  askUser("Limbrik Editor", "?", 35);
  EXPECT_TRUE(blocked);
}

TEST_F(Dialogs, SaveDialogReturnsTheTypedPathWithoutExtension) {
  const TempFolder temp;
  const fs::path& folder = temp.path;
  QString accept;
  answerNextDialog([&](QWidget* modal) {
    auto* dialog = static_cast<QFileDialog*>(modal);
    accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->text();
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("walk");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  EXPECT_EQ(askSavePath("", (folder / "start").string(), "", 0), (folder / "walk").string());
  EXPECT_EQ(accept.remove(QChar('&')).toStdString(), "Speichern");

  QString initialName;
  answerNextDialog([&](QWidget* modal) {
    initialName = modal->findChild<QLineEdit*>("fileNameEdit")->text();
    static_cast<QDialog*>(modal)->reject();
  });
  EXPECT_EQ(askSavePath("", "", "", 0), "");
  EXPECT_EQ(initialName, "");

  answerNextDialog([&](QWidget* modal) {
    initialName = modal->findChild<QLineEdit*>("fileNameEdit")->text();
    static_cast<QDialog*>(modal)->reject();
  });
  askSavePath("", (folder / "bad|name").string(), "Bilder|*.bmp", 0);
  EXPECT_EQ(initialName, "");
}

}  // namespace
