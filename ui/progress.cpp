// The progress window of a long command that a thread of its own does, while every window
// keeps painting and answering. It shows once the command has run for half a second.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <atomic>

#include "ui_internal.h"

namespace {

constexpr int showAfterMs = 500;
// However a wake from the working thread went, the wait looks again this often.
constexpr int lookAgainMs = 100;

// Abbrechen asks the command to stop; the window stays until it has, and the command says so
// in it. Escape and the close box do the same while there is a button, and nothing after.
class ProgressWindow : public QProgressDialog {
 public:
  ProgressWindow(int total, QWidget* owner) : QProgressDialog(QString(), QString(), 0, total, owner) {
    // Its own bar: the dialog's setValue would run the event loop from inside our refresh.
    setBar(bar = new QProgressBar);
    bar->setRange(0, total);
    // The dialog's button and Escape would cancel, which hides the window: they ask instead.
    auto* button = new QPushButton("Abbrechen");
    setCancelButton(button);
    disconnect(button, nullptr, this, nullptr);
    connect(button, &QPushButton::clicked, this, &ProgressWindow::requestStop);
    for (QShortcut* escape : findChildren<QShortcut*>()) {
      disconnect(escape, nullptr, this, nullptr);
      connect(escape, &QShortcut::activated, this, &ProgressWindow::requestStop);
    }
  }

  QProgressBar* bar;
  bool stopRequested = false;
  bool stoppable = true;

  void requestStop() {
    if (!stoppable || stopRequested) return;
    stopRequested = true;
    if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
  }

 protected:
  void reject() override { requestStop(); }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    requestStop();
  }
};

ProgressWindow* progress = nullptr;
// The main thread's, for the working thread's wake.
std::atomic<QAbstractEventDispatcher*> mainDispatcher{nullptr};

void setLabel(const std::string& text) {
  const QString label = QString::fromStdString(text);
  if (progress->labelText() != label) progress->setLabelText(label);
}

}  // namespace

void beginProgress(const std::string& title, int total) {
  mainDispatcher = QAbstractEventDispatcher::instance();
  progress = new ProgressWindow(total, dialogOwner());
  progress->setWindowTitle(QString::fromStdString(title));
  // Modal: while it shows, no input reaches the main window.
  progress->setWindowModality(Qt::WindowModal);
  progress->setAutoClose(false);
  progress->setAutoReset(false);
  progress->setMinimumWidth(320);
  QTimer::singleShot(showAfterMs, progress, showProgress);
}

void progressAt(int step, const std::string& text) {
  if (!progress) return;
  setLabel(text);
  progress->bar->setValue(step);
}

void showProgress() {
  if (progress && !progress->isVisible()) progress->show();
}

bool progressStopRequested() { return progress && progress->stopRequested; }

void progressWithoutCancel(const std::string& text) {
  if (!progress) return;
  progress->stoppable = false;
  progress->setCancelButton(nullptr);
  setLabel(text);
  showProgress();
}

void waitWhileWorking(const std::function<bool()>& done, const std::function<void()>& refresh) {
  QTimer lookAgain;
  lookAgain.start(lookAgainMs);
  do {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    refresh();
  } while (!done());
}

void wakeProgress() {
  if (QAbstractEventDispatcher* dispatcher = mainDispatcher) dispatcher->wakeUp();
}

void endProgress() {
  delete progress;
  progress = nullptr;
}
