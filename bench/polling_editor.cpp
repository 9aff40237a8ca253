// The editor as it was before its loop learnt to rest: every pass waits at most 2 ms. The
// peer beside which the wakeup benchmark reads ours.
#include "app.h"
#include "ui.h"

int main(int argc, char** argv) {
  startWindowServices(&argc, argv);
  AppState app;
  startUp(app);
  do {
    handleEvent(app, waitEvent(2));
    updateView(app);
    confirmQuit(app);
  } while (!app.quitRequested);
  shutDown();
  return 0;
}
