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
// The desktop session is ending: the save question, as for the close box; true lets it end,
// and the loop with it.
bool sessionMayEnd(AppState& app);
void shutDown();
// Runs the editor to its end; the exit code is always 0.
int runApplication();

void menuCommand(AppState& app, int id);
void rightClickCommand(AppState& app);
void controlCommand(AppState& app, int id);
