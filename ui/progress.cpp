// The progress window of a long command, shown only once the command has run a while.
#include <QApplication>
#include <QEvent>
#include <QProgressDialog>

#include "ui_internal.h"

namespace {

constexpr int showAfterMs = 500;

QProgressDialog* progress = nullptr;

}  // namespace

void beginProgress(const std::string& title, int total) {
  progress = new QProgressDialog(QString(), "Abbrechen", 0, total, dialogOwner());
  progress->setWindowTitle(QString::fromStdString(title));
  // Modal: while it shows, no input reaches the main window and its loop does not run.
  progress->setWindowModality(Qt::WindowModal);
  progress->setAutoClose(false);
  progress->setAutoReset(false);
  progress->setMinimumDuration(showAfterMs);
  progress->setMinimumWidth(320);
  progress->setValue(0);
}

bool progressAt(int step, const std::string& text) {
  if (!progress) return true;
  progress->setLabelText(QString::fromStdString(text));
  progress->setValue(step);  // shows the window once the command has run long enough
  // Keeps the windows painted before it shows, and takes its Abbrechen once it does.
  QCoreApplication::processEvents(progress->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  return !progress->wasCanceled();
}

bool progressUntil(const std::string& text, const std::function<bool()>& done) {
  progress->setLabelText(QString::fromStdString(text));
  progress->show();
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return !progress->wasCanceled();
}

void wakeProgress() { QCoreApplication::postEvent(qApp, new QEvent(QEvent::User)); }

void progressWithoutCancel(const std::string& text) {
  if (!progress) return;
  progress->setCancelButton(nullptr);
  progress->setLabelText(QString::fromStdString(text));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void endProgress() {
  delete progress;
  progress = nullptr;
}
