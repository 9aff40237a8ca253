// SIGTERM, SIGHUP and SIGINT arrive as a close request of the main window, so that a logout,
// a kill or Ctrl+C in a terminal asks before unsaved frames are lost. The handler only writes
// to a pipe; the loop reads it and asks as for the close box.
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

#include "ui_internal.h"

namespace {

constexpr int closeSignals[] = {SIGTERM, SIGHUP, SIGINT};

int signalPipe[2] = {-1, -1};
QSocketNotifier* notifier = nullptr;

void onCloseSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (::write(signalPipe[1], &byte, 1) < 0) {
    // A full pipe already holds a close request.
  }
  errno = saved;
}

void drainPipe() {
  char bytes[64];
  while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

void openCloseSignals() {
  if (notifier || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    drainPipe();
    requestCloseOfFirstWindow();
  });
  struct sigaction action {};
  action.sa_handler = onCloseSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int s : closeSignals) ::sigaction(s, &action, nullptr);
}

void dropCloseRequests() {
  if (notifier) drainPipe();
  dropQueuedEvents(WindowClose);
}

void closeCloseSignals() {
  if (!notifier) return;
  for (const int s : closeSignals) std::signal(s, SIG_DFL);
  delete notifier;
  notifier = nullptr;
  for (int& end : signalPipe) ::close(std::exchange(end, -1));
}
