// The editor: start-up, the main loop and its command dispatch, shutdown.
#pragma once

#include "series.h"

struct AppState {
  Session session;
  int dragSegment = -1;
  bool quitRequested = false;
  bool sessionEnded = false;  // the desktop session ends, and the user let it
};

// Starts the services and builds the main window.
void startUp(AppState& app);
// The parts of one main-loop pass after its event wait.
void handleEvent(AppState& app, int event);
void updateView(AppState& app);
void confirmQuit(AppState& app);
// One pass after its event wait: the event, the view, the quit question, each after the warning
// of a shortage that began; a command that finds no memory ends nothing.
void runPass(AppState& app, int event);
// Once for each shortage of memory: the user is asked to save now.
void warnOfShortage();
// How long the next pass may wait for input: 2 ms after a pass that drew, until the next frame
// while playing, and otherwise without limit. A drag's motion wakes the wait itself.
int passTimeout(const AppState& app, bool drew);
// The desktop session is ending: the save question, as for the close box; true lets it end,
// and the loop with it.
bool sessionMayEnd(AppState& app);
void shutDown();
// Runs the editor to its end: 0, or 2 for arguments it does not know.
int runApplication(int& argc, char** argv);
// --help or --version: prints the answer and gives the exit code; -1 for neither.
int answerCommandLine(int argc, char** argv);
// What is left once Qt has taken its own options: -1 for nothing, else the exit code after
// saying on standard error what was not understood.
int refuseArguments(int argc, char** argv);

void menuCommand(AppState& app, int id);
void rightClickCommand(AppState& app);
void controlCommand(AppState& app, int id);
