// The question box, the save-file dialog and the busy pointer.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui_internal.h"

namespace {

QMessageBox::Icon iconFor(std::uint32_t flags) {
  switch (flags & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case 0x20: return QMessageBox::Question;
    case 0x30: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons buttonsFor(std::uint32_t flags) {
  switch (flags & 0xF) {
    case 1: return QMessageBox::Ok | QMessageBox::Cancel;
    case 3: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case 4: return QMessageBox::Yes | QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

int answerOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return 1;
    case QMessageBox::Cancel: return 2;
    case QMessageBox::Yes: return 6;
    case QMessageBox::No: return 7;
    default: return 2;
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

bool nameIsUsable(const std::string& name) {
  if (name.empty()) return false;
  for (const unsigned char c : name)
    if (c < 32 || std::string("\"*/:<>?\\|").find(static_cast<char>(c)) != std::string::npos) return false;
  return true;
}

}  // namespace

int askUser(const std::string& title, const std::string& text, std::uint32_t flags) {
  if (!qApp) return 0;
  QMessageBox box(iconFor(flags), QString::fromStdString(title), breakable(text), buttonsFor(flags), dialogOwner());
  box.setTextFormat(Qt::PlainText);  // a path is shown as it is, never read as markup
  const bool hasCancel = buttonsFor(flags) & QMessageBox::Cancel;
  box.setEscapeButton(hasCancel ? QMessageBox::Cancel : QMessageBox::Ok);
  // Escape and the close box answer with the escape button.
  return answerOf(box.exec());
}

std::string askSavePath(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                        int patternPosition) {
  if (!qApp) return {};
  QFileDialog dialog(dialogOwner(), QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // No question before replacing a file and no extension added: the name is a base path.
  dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
  QStringList parts = QString::fromStdString(pattern).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) filters << parts[i] + " (" + parts[i + 1] + ")";
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (patternPosition >= 0 && patternPosition < filters.size()) dialog.selectNameFilter(filters[patternPosition]);
  }
  const std::size_t slash = defaultFile.size() > 1 ? defaultFile.rfind('/') : std::string::npos;
  const bool split = slash != std::string::npos && slash > 0;
  std::string name = split ? defaultFile.substr(slash + 1) : defaultFile;
  if (split) dialog.setDirectory(QString::fromStdString(defaultFile.substr(0, slash)));
  name = name.substr(0, 259);
  if (nameIsUsable(name)) dialog.selectFile(QString::fromStdString(name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

void setBusy(bool busy) {
  if (!qApp) return;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}
