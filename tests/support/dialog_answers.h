// Answers the next modal dialog from a timer inside its own loop, as a user would.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "ui_internal.h"

inline void answerNextDialog(std::function<void(QWidget*)> act) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [act = std::move(act), poll] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && !qobject_cast<QProgressDialog*>(modal)) {  // the progress window asks nothing
      act(modal);
      *poll = nullptr;
    } else {
      QTimer::singleShot(5, qApp, [poll] { if (*poll) (*poll)(); });
    }
  };
  QTimer::singleShot(0, qApp, [poll] { (*poll)(); });
}

// The question box: 6 Yes, 7 No, 2 Cancel, 1 OK. The editor's one question is asked in German.
inline void pressAnswer(int answer) {
  answerNextDialog([answer](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    if (answer != 1) {
      EXPECT_EQ(box->windowTitle() + "|" + box->text(), "Limbrik Editor|Möchten Sie die erstellte Bilderserie speichern?");
      EXPECT_EQ(box->icon(), QMessageBox::Question);
    }
    const auto which = answer == 6 ? QMessageBox::Yes : answer == 7 ? QMessageBox::No
                     : answer == 1 ? QMessageBox::Ok : QMessageBox::Cancel;
    box->button(which)->click();
  });
}

// The save dialog: types a full path and saves, or cancels with an empty path.
inline void chooseSavePath(const std::string& path) {
  answerNextDialog([path](QWidget* modal) {
    auto* dialog = static_cast<QDialog*>(modal);
    if (path.empty()) {
      dialog->reject();
      return;
    }
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  });
}

// Remembers the text of the next message box, runs whileOpen, and presses its OK button. The
// box belongs to the editor's window and wraps a long path.
inline void readMessage(std::shared_ptr<std::string> text, std::function<void()> whileOpen = [] {}) {
  answerNextDialog([text, whileOpen](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    *text = box->text().remove(QChar(0x200B)).toStdString();  // without the break chances
    EXPECT_EQ(box->parentWidget(), windowRecord(0)->widget) << *text;
    EXPECT_LE(box->width(), 600) << *text;
    whileOpen();
    box->button(QMessageBox::Ok)->click();
  });
}
