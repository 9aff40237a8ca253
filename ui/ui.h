// Window, menu, event, control, canvas and dialog services: the one layer that faces Qt.
// Objects are named by small numbers; an operation on a number that holds nothing does
// nothing and returns 0 (the pointer functions -1).
#pragma once

#include <cstdint>
#include <string>

#include "raster.h"

enum EventKind : int {
  WindowMoved = 3,
  WindowClose = 16,
  ControlEvent = 13100,
  MenuEvent = 13101,
};

// What waitEvent returns for input that it handled but that raised no event directly.
constexpr int InputWithoutEvent = 1;

enum CanvasSubtype : int {
  LeftClick = 0,
  RightClick = 1,
  LeftDoubleClick = 2,
  RightDoubleClick = 3,
  MouseEnter = 0x10001,
  MouseLeave = 0x10002,
  MouseMove = 0x10003,
  LeftDown = 0x10004,
  LeftUp = 0x10005,
  RightDown = 0x10006,
  RightUp = 0x10007,
  MiddleDown = 0x10008,
  MiddleUp = 0x10009,
  WheelTurn = 0x1000A,
  KeyDown = 0x1000B,
  KeyUp = 0x1000C,
  CharInput = 0x1000D,
  FocusGained = 14000,
  FocusLost = 14001,
};

// Edit notifications, raised directly.
enum EditSubtype : int { EditTextChanged = 768 };

constexpr std::int32_t keepUnchanged = -65535;  // 0xFFFF0001
using WindowHandle = std::uintptr_t;

// Starts the services (and the Qt application, when the caller has none); stopping
// closes every window still open.
void startWindowServices();
void stopWindowServices();

int waitEvent(int timeoutMs);
int eventWindow();
int eventMenu();
int eventControl();
int eventSubtype();

WindowHandle openWindow(int id, int x, int y, int width, int height, const std::string& title, std::uint32_t flags);
int resizeWindow(int id, int x, int y, int width, int height);
void closeWindow(int id);
WindowHandle nativeWindowHandle(int id);

WindowHandle createMenuBar(int menuId, WindowHandle window);
void addMenuTitle(const std::string& text);
void addMenuItem(int itemId, const std::string& text);
void addMenuSeparator();
int getMenuItemChecked(int menuId, int itemId);
void setMenuItemChecked(int menuId, int itemId, int state);
void disableMenuItem(int menuId, int itemId, int state);

// shortcut: key code in the low 16 bits, plus 0x10000 Shift, 0x20000 Ctrl, 0x40000 Alt.
void addShortcut(int windowId, std::uint32_t shortcut, int itemId);

int pointerX(int windowId);
int pointerY(int windowId);

WindowHandle canvasControl(int id, int x, int y, int width, int height, int options = 0);
WindowHandle containerControl(int id, int x, int y, int width, int height);
void closeControlList();
WindowHandle buttonControl(int id, int x, int y, int width, int height, const std::string& text, std::uint32_t flags);
WindowHandle textControl(int id, int x, int y, int width, int height, const std::string& text);
WindowHandle editControl(int id, int x, int y, int width, int height, const std::string& text);
WindowHandle trackbarControl(int id, int x, int y, int width, int height, int minimum, int maximum);
// The name a screen reader gives the control; an edit box takes the label made just before it.
void setControlName(int id, const std::string& name);
void setControlState(int id, int value);
int getControlState(int id);
void setControlAttribute(int id, int attribute, int value);
std::string getControlText(int id);
// A drawing pass over the canvas's raster; ending it shows the raster at once.
DrawSurface* canvasOutput(int id);
// Changes with every drawing pass that ends on the canvas; 0 for no canvas.
std::uint32_t canvasRevision(int id);

// flags: 0 OK, 3 Yes/No/Cancel; icon 0x10 stop, 0x20 question, 0x30 warning, 0x40 information.
// Answers 1 OK, 6 Yes, 7 No, 2 Cancel (also Escape and the close box), 0 when not shown.
int askUser(const std::string& title, const std::string& text, std::uint32_t flags);
// The chosen full path, or the empty text on cancel. pattern: "description|pattern|...".
std::string askSavePath(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                        int patternPosition);
// A progress window for a long command, a child of the main window with an "Abbrechen"
// button; it shows only once the command has run for half a second.
void beginProgress(const std::string& title, int total);
// Reports step of total with a text; false once the user has cancelled.
bool progressAt(int step, const std::string& text);
void endProgress();
// Shows the busy pointer while a long command runs.
void setBusy(bool busy);

std::int64_t textToInteger(const std::string& text);
std::string integerToText(std::int64_t value);
