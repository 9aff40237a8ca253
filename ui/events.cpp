// The pending queue, the event wait, the last event and the pointer as the loop knows it.
// Qt hands a batch of input to our widgets within one processEvents; each handler
// queues or raises its events here, and waitEvent gives them out one per call. Every event
// carries the pointer as the input up to it left it, so that a loop that comes late still
// sees the pointer where it was at each event, not where it has gone since.
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
  PointerAt pointer;
};

struct EventState {
  std::deque<Event> pending;
  Event last;
  Event direct;            // raised by the input being handled now
  PointerAt latest;        // where the last pointer input put the pointer
  PointerAt known;         // where the input that the loop has reached left it
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

void answerInput() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void notePointer(PointerAt at, bool moved) {
  state.latest = at;
  if (moved) wake();
}

void queueEvent(int kind, int id, int subtype) {
  state.pending.push_back(Event{kind, id, subtype, state.latest});
  wake();
}

void raiseDirect(int kind, int id, int subtype) {
  // Outside a wait (input sent straight to a widget) or behind earlier events of the
  // same wait, the event keeps its place in the queue rather than being lost.
  if (!state.waiting || state.raised || !state.pending.empty()) {
    queueEvent(kind, id, subtype);
    return;
  }
  state.direct = Event{kind, id, subtype, state.latest};
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
  state.latest = state.known = PointerAt{};
}

int waitEvent(int timeoutMs) {
  if (!state.pending.empty()) {
    state.last = state.pending.front();
    state.pending.pop_front();
    state.known = state.last.pointer;
    return state.last.kind;
  }
  state.waiting = true;
  state.produced = false;
  state.raised = false;
  takeInput(timeoutMs);
  state.waiting = false;
  if (state.raised) {
    state.last = state.direct;
    state.known = state.last.pointer;
    return state.last.kind;
  }
  // Input queued now waits for later calls: so does the motion that came after it.
  state.known = state.pending.empty() ? state.latest : state.pending.front().pointer;
  return state.produced ? InputWithoutEvent : 0;
}

int pointerX(int windowId) { return windowRecord(windowId) && state.known.window == windowId ? state.known.x : -1; }
int pointerY(int windowId) { return windowRecord(windowId) && state.known.window == windowId ? state.known.y : -1; }

int eventMenu() { return state.last.id; }
int eventControl() { return state.last.id; }
int eventSubtype() { return state.last.subtype; }
