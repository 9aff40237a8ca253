// Commands from the menu, the shortcuts, the canvas's right click and the preview panel.
#include "app.h"

void menuCommand(AppState& app, int id) {
  Session& session = app.session;
  switch (id) {
    case menu::newSeries: newCommand(session); break;
    case menu::save: exportSeries(session); break;
    // Greyed in preview mode, which silences the item and its shortcut alike.
    case menu::capture: captureFrame(session); break;
    case menu::preview: togglePreview(session); break;
    case menu::quit: app.quitRequested = true; break;
    case menu::undo: undoCapture(session); break;
    case menu::redo: redoCapture(session); break;
    default: break;
  }
}

void rightClickCommand(AppState& app) {
  if (!app.session.previewMode) captureFrame(app.session);
}

void controlCommand(AppState& app, int id) {
  if (id == layout::playButton) playButtonCommand(app.session);
  if (id == layout::trackbar) trackbarCommand(app.session);
}
