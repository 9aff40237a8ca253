// Window, menu, event, control, canvas and dialog services: the one layer that faces Qt.
// Objects are named by small numbers; an operation on a number that holds nothing does
// nothing and returns 0 (the pointer functions -1).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "raster.h"

enum EventKind : int {
  WindowClose = 16,
  ControlEvent = 13100,
  MenuEvent = 13101,
};

// What waitEvent returns for input that it handled but that raised no event directly.
constexpr int InputWithoutEvent = 1;

// The canvas's events: a press comes as Down, then Click (or DoubleClick for a quick second
// press of the same button); the release as Up.
enum CanvasSubtype : int {
  LeftClick = 0,
  RightClick = 1,
  LeftDoubleClick = 2,
  RightDoubleClick = 3,
  LeftDown = 0x10004,
  LeftUp = 0x10005,
  RightDown = 0x10006,
  RightUp = 0x10007,
};

// Starts the services (and the Qt application, when the caller has none, from the command
// line given, which keeps what Qt did not take); stopping closes every window still open.
void startWindowServices(int* argc = nullptr, char** argv = nullptr);
void stopWindowServices();

// An X11 session manager's request to save before the session ends asks mayEnd, inside the
// request, where the manager lets the program interact; false cancels the logout.
void onSessionEnd(bool (*mayEnd)());

// The next event, 0 after timeoutMs without one, or InputWithoutEvent; -1 waits without limit.
int waitEvent(int timeoutMs);
// Lets the windows paint and take the input that has come, without waiting: a long piece of
// work calls it between its steps, and the events of that input wait for the loop.
void answerInput();
// Forgets the close requests not yet handed out, termination signals among them: called
// after the save question, whose one answer settles every request that came while it was open.
void dropCloseRequests();
int eventMenu();
int eventControl();
int eventSubtype();

// A window with a title and a close box only, centred on the screen; the height includes
// the menu bar.
void openWindow(int id, int width, int height, const std::string& title);
void resizeWindow(int id, int height);
void setWindowTitle(int id, const std::string& title);

void createMenuBar(int menuId, int windowId);
void addMenuTitle(const std::string& text);
void addMenuItem(int itemId, const std::string& text);
void addMenuSeparator();
int getMenuItemChecked(int menuId, int itemId);
void setMenuItemChecked(int menuId, int itemId, int state);
// state: ItemGreyed greys the item out, and its shortcut raises nothing; ItemEnabled enables it.
enum MenuItemState : int { ItemEnabled = 0, ItemGreyed = 1 };
void disableMenuItem(int menuId, int itemId, int state);

// shortcut: key code in the low 16 bits (an upper-case letter), plus 0x10000 Shift, 0x20000 Ctrl.
// The key of a greyed item goes no further, unless the shortcut has passedOnWhenGreyed.
constexpr std::uint32_t passedOnWhenGreyed = 0x40000;
void addShortcut(int windowId, std::uint32_t shortcut, int itemId);

// The pointer in the window's inner area as the input that waitEvent has handed out so far left
// it, however long ago that input came: -1 outside the area. Motion that came after input still
// queued waits with it.
int pointerX(int windowId);
int pointerY(int windowId);

// Controls go into the window opened last; those made after a container go into it until
// closeControlList.
void canvasControl(int id, int x, int y, int width, int height);
void containerControl(int id, int x, int y, int width, int height);
void closeControlList();
// A toggle button: each click flips it before its event.
void buttonControl(int id, int x, int y, int width, int height, const std::string& text);
void textControl(int id, int x, int y, int width, int height, const std::string& text);
void editControl(int id, int x, int y, int width, int height, const std::string& text);
void trackbarControl(int id, int x, int y, int width, int height, int maximum);
// The name a screen reader gives the control; an edit box takes the label made just before it.
void setControlName(int id, const std::string& name);
void setControlState(int id, int value);
int getControlState(int id);
// A trackbar's largest position; its position moves back within it.
void setTrackbarMaximum(int id, int maximum);
// An edit box's text.
std::string getControlText(int id);
// A drawing pass over the canvas's raster; ending it shows the raster at once.
DrawSurface* canvasOutput(int id);
// Changes with every drawing pass that ends on the canvas; 0 for no canvas.
std::uint32_t canvasRevision(int id);

// The platform's message-box flags and answers. Cancel is also what Escape and the close box answer.
enum AskFlags : std::uint32_t { YesNoCancelQuestion = 35, OkWarning = 0x30, OkInformation = 0x40 };
enum Answer : int { NotAsked = 0, AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };
int askUser(const std::string& title, const std::string& text, std::uint32_t flags);
// The chosen full path, or the empty text on cancel.
std::string askSavePath();
// A progress window for a long command that another thread does, a child of the main window
// with an "Abbrechen" button; it shows once the command has run for half a second.
void beginProgress(const std::string& title, int total);
// Shows step of total with a text.
void progressAt(int step, const std::string& text);
// Shows the window now.
void showProgress();
// Whether the user asked to stop: Abbrechen, Escape or the close box. The window stays.
bool progressStopRequested();
// From here on the command cannot be stopped: the window shows what it does and offers no
// Abbrechen; Escape and the close box do nothing.
void progressWithoutCancel(const std::string& text);
// Keeps every window painted and answering until done() holds, which the other thread makes
// true, and calls refresh() after each wake; events are handled at least once. It may be
// entered again from inside itself, for the same command.
void waitWhileWorking(const std::function<bool()>& done, const std::function<void()>& refresh);
// Called from the other thread when there is something to show, or when done() holds.
void wakeProgress();
void endProgress();
// Shows the busy pointer while a long command runs.
void setBusy(bool busy);

std::int64_t textToInteger(const std::string& text);
// Decimal digits, no sign and no leading zeros.
std::string integerToText(std::uint64_t value);
