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
  int subtype = -1;
};

struct EventState {
  std::deque<Event> pending;
  Event last;
  Event direct;            // raised by the input being handled now
  bool waiting = false;    // inside waitEvent, taking platform input
  bool produced = false;   // that input raised or queued something
  bool raised = false;     // it raised an event directly
  QEventLoop* loop = nullptr;
};

EventState state;

void wake() {
  state.produced = true;
  if (state.loop) state.loop->exit();
}

// The loop and precise timer of the timed wait, made when the services start.
struct Waiter {
  QEventLoop* loop = nullptr;
  QTimer* timer = nullptr;
};

Waiter waiter;

// Waits for input that raises an event, for at most timeoutMs; without limit when it is -1.
void takeInput(int timeoutMs) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (state.produced || timeoutMs == 0) return;
  state.loop = waiter.loop;
  if (timeoutMs > 0) waiter.timer->start(timeoutMs);
  waiter.loop->exec();
  waiter.timer->stop();
  state.loop = nullptr;
}

}  // namespace

void wakeWait() { wake(); }

void queueEvent(int kind, int id, int subtype) {
  state.pending.push_back(Event{kind, id, subtype});
  wake();
}

void raiseDirect(int kind, int id, int subtype) {
  // Outside a wait (input sent straight to a widget) or behind earlier events of the
  // same wait, the event keeps its place in the queue rather than being lost.
  if (!state.waiting || state.raised || !state.pending.empty()) {
    queueEvent(kind, id, subtype);
    return;
  }
  state.direct = Event{kind, id, subtype};
  state.raised = true;
  wake();
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

void dropQueuedEvents(int kind) {
  std::erase_if(state.pending, [kind](const Event& e) { return e.kind == kind; });
}

void resetEvents() {
  state.pending.clear();
  state.last = Event{};
}

int waitEvent(int timeoutMs) {
  if (!state.pending.empty()) {
    state.last = state.pending.front();
    state.pending.pop_front();
    return state.last.kind;
  }
  state.waiting = true;
  state.produced = false;
  state.raised = false;
  takeInput(timeoutMs);
  state.waiting = false;
  if (state.raised) {
    state.last = state.direct;
    return state.last.kind;
  }
  return state.produced ? InputWithoutEvent : 0;
}

int eventMenu() { return state.last.id; }
int eventControl() { return state.last.id; }
int eventSubtype() { return state.last.subtype; }
