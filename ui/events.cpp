// The pending queue, the event wait and the last event.
// Qt hands a batch of input to our widgets within one processEvents; each handler
// queues or raises its events here, and waitEvent gives them out one per call.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <deque>

#include "ui_internal.h"

namespace {

struct Event {
  int kind = 0;
  int id = 0;
  int window = 0;
  int subtype = -1;
  std::unique_ptr<EventDetail> detail;
};

struct EventState {
  std::deque<Event> pending;
  Event last;
  Event working;
  bool waiting = false;    // inside waitEvent, taking platform input
  bool produced = false;   // that input raised or queued something
  bool direct = false;     // it raised an event directly
  QEventLoop* loop = nullptr;
};

EventState state;

void wake() {
  state.produced = true;
  if (state.loop) state.loop->exit();
}

bool sameEntry(const Event& a, int kind, int id, int window, int subtype) {
  return a.kind == kind && a.id == id && a.window == window && a.subtype == subtype;
}

void copyToLast(Event&& event) {
  state.last.kind = event.kind;
  state.last.id = event.id;
  state.last.window = event.window;
  state.last.subtype = event.subtype;
  state.last.detail = std::move(event.detail);
}

// The loop and precise timer of the timed wait, made when the services start.
struct Waiter {
  QEventLoop* loop = nullptr;
  QTimer* timer = nullptr;
};

Waiter waiter;

// Waits for input that raises an event, for at most timeoutMs (-1: without limit).
void takeInput(int timeoutMs) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (state.produced || timeoutMs == 0) return;
  if (timeoutMs < 0) {
    while (!state.produced) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return;
  }
  if (!waiter.loop) return;
  state.loop = waiter.loop;
  waiter.timer->start(timeoutMs);
  waiter.loop->exec();
  waiter.timer->stop();
  state.loop = nullptr;
}

}  // namespace

void queueEvent(int kind, int id, int window, int subtype, std::unique_ptr<EventDetail> detail) {
  if (!state.pending.empty() && sameEntry(state.pending.back(), kind, id, window, subtype)) {
    wake();
    return;  // merged: the detail goes with the dropped entry
  }
  state.pending.push_back(Event{kind, id, window, subtype, std::move(detail)});
  wake();
}

void raiseDirect(int kind, int id, int window, int subtype) {
  // Outside a wait (input sent straight to a widget) or behind earlier events of the
  // same wait, the event keeps its place in the queue rather than being lost.
  if (!state.waiting || state.direct || !state.pending.empty()) {
    queueEvent(kind, id, window, subtype);
    return;
  }
  state.working.kind = kind;
  state.working.id = id;
  state.working.window = window;
  state.working.subtype = subtype;
  state.direct = true;
  wake();
}

void dropPendingOfWindow(int window) {
  std::erase_if(state.pending, [window](const Event& e) { return e.window == window; });
}

void dropPendingOfControl(int id) {
  std::erase_if(state.pending, [id](const Event& e) { return e.kind == ControlEvent && e.id == id; });
}

void openEventWait() {
  if (waiter.loop) return;
  waiter.loop = new QEventLoop;
  waiter.timer = new QTimer;
  waiter.timer->setTimerType(Qt::PreciseTimer);
  waiter.timer->setSingleShot(true);
  QObject::connect(waiter.timer, &QTimer::timeout, waiter.loop, [] { waiter.loop->exit(); });
}

void closeEventWait() {
  delete waiter.timer;
  delete waiter.loop;
  waiter = Waiter{};
}

void resetEvents() {
  state.pending.clear();
  state.last = Event{};
  state.working = Event{};
}

int waitEvent(int timeoutMs) {
  state.last.detail.reset();
  state.working.kind = 0;
  state.working.subtype = -1;
  state.working.detail.reset();
  if (!state.pending.empty()) {
    Event next = std::move(state.pending.front());
    state.pending.pop_front();
    const int kind = next.kind;
    copyToLast(std::move(next));
    return kind;
  }
  state.waiting = true;
  state.produced = false;
  state.direct = false;
  takeInput(timeoutMs);
  state.waiting = false;
  if (state.direct) {
    state.direct = false;
    const int kind = state.working.kind;
    copyToLast(Event{state.working.kind, state.working.id, state.working.window, state.working.subtype, {}});
    return kind;
  }
  return state.produced ? InputWithoutEvent : 0;
}

int eventWindow() { return state.last.window; }
int eventMenu() { return state.last.id; }
int eventControl() { return state.last.id; }
int eventSubtype() { return state.last.subtype; }
