// What the services' own files share; the rest of the program sees only ui.h.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui.h"

class QMenuBar;

// Where pointer input put the pointer: inside a window's inner area, or (-1, -1) outside it.
struct PointerAt {
  int window = -1;
  int x = -1;
  int y = -1;
};
// The position that pointer input carries, noted before any event it raises; a move also wakes
// the wait.
void notePointer(PointerAt at, bool moved);
// Where a point on one of our widgets lies in its window's inner area.
PointerAt pointerAt(const QWidget* widget, QPointF position);

// Queued events come out first in, first out, each with the pointer as the input before it left it.
void queueEvent(int kind, int id, int subtype);
// An event of the input being handled now; returned by the waitEvent call that handles it.
void raiseDirect(int kind, int id, int subtype);
void resetEvents();
// Input that raised no event but changes what the loop does next (the frame rate typed, the
// session's end): the wait returns at once.
void wakeWait();
void dropQueuedEvents(int kind);
// The loop and timer of the timed wait live while the services run.
void openEventWait();
void closeEventWait();

struct ShortcutEntry {
  std::uint8_t modifiers;  // 0x03, plus 0x04 Shift, 0x08 Ctrl, 0x10 Alt
  std::uint16_t key;
  std::uint16_t command;
  bool passedOnWhenGreyed = false;
};

constexpr std::uint16_t focusNext = 0xFA01;
constexpr std::uint16_t focusPrevious = 0xFA02;

struct WindowRecord {
  QPointer<QWidget> widget;  // the top-level window
  QPointer<QWidget> client;  // the inner area below the menu bar
  int menuBar = -1;
  std::vector<ShortcutEntry> shortcuts;
};

WindowRecord* windowRecord(int id);
// The number of the window that owns a widget, or -1.
int windowOf(const QWidget* widget);
// The window a dialog belongs to: the active one when it is ours, else our first open window.
QWidget* dialogOwner();
void closeAllWindows();
// Our windows as frames to a screen reader, while the services run.
void openWindowAccessibility();
void closeWindowAccessibility();
// Sends the first open window a close request, as its close box does.
void requestCloseOfFirstWindow();
// Termination signals as close requests, while the services run.
void openCloseSignals();
void closeCloseSignals();

// Items of a window's menu bar, for the shortcut test of greyed items.
bool menuItemGreyed(int menuId, int itemId);
// Opens the first menu of a bar, as F10 does; false without one.
bool openMenuBar(int menuId);
void resetMenus();

// Owned by the caller: the filter works until it is deleted.
std::unique_ptr<QObject> installShortcutFilter();
// Looks at the room for memory before each key or button reaches Qt; works until deleted.
std::unique_ptr<QObject> installInputWatch();

// Controls of a window in creation order that take the focus by Tab.
std::vector<QWidget*> tabStops(int window);
QWidget* controlWidget(int id);
void setControlParent(QWidget* parent, int window);
void resetControls();

// Canvas support shared by controls.cpp and canvas.cpp.
QWidget* makeCanvas(int id, int width, int height, QWidget* parent);
DrawSurface* openCanvasOutput(QWidget* canvas);
std::uint32_t canvasRevisionOf(QWidget* canvas);
// One row of blue-green-red bytes widened to 0xFFRRGGBB pixels: 0 plainly, 1 with SSSE3,
// 2 with AVX2 (the canvas takes the best the processor has); each gives the same pixels.
void expandRowBy(int level, const std::uint8_t* from, std::uint32_t* to, int width);
