// The question box, the save-file dialog and the busy pointer.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui_internal.h"

namespace {

int answerOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return AnswerOk;
    case QMessageBox::Yes: return AnswerYes;
    case QMessageBox::No: return AnswerNo;
    default: return AnswerCancel;
  }
}

// A long run without a break (a path) gets a break chance after each '/' and every 40
// characters, so that the box wraps it instead of growing past the screen.
QString breakable(const std::string& text) {
  const QChar zeroWidthSpace(0x200B);
  QString result;
  int run = 0;
  for (const QChar c : QString::fromStdString(text)) {
    result += c;
    run = c.isSpace() ? 0 : run + 1;
    if (run >= 40 || (c == '/' && run > 1)) {
      result += zeroWidthSpace;
      run = 0;
    }
  }
  return result;
}

}  // namespace

int askUser(const std::string& title, const std::string& text, std::uint32_t flags) {
  const bool question = flags == YesNoCancelQuestion;
  const QMessageBox::Icon icon = question ? QMessageBox::Question
                                 : flags == OkInformation ? QMessageBox::Information : QMessageBox::Warning;
  QMessageBox box(icon, QString::fromStdString(title),
                  breakable(text), question ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel : QMessageBox::Ok,
                  dialogOwner());
  box.setTextFormat(Qt::PlainText);  // a path is shown as it is, never read as markup
  // Escape and the close box answer with the escape button.
  box.setEscapeButton(question ? QMessageBox::Cancel : QMessageBox::Ok);
  return answerOf(box.exec());
}

std::string askSavePath() {
  QFileDialog dialog(dialogOwner());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // No question before replacing a file and no extension added: the name is a base path.
  dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

void setBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}
