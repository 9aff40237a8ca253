// Capture, New and the save question that guards unsaved frames.
#include "series.h"
#include "ui.h"

namespace {

DrawSurface* openImage(std::intptr_t id) { return imageOutput(id); }

}  // namespace

void captureFrame(Session& session) {
  session.frames.last();
  session.frames.append();
  const ImageId image = createImage(400, 400);
  if (image) renderFigure(session.figure, {openImage, image}, false, 0);
  session.seriesSaved = false;
  session.frames.current()->image = image;
}

void newSeries(Session& session) {
  resetPose(session.figure);
  session.frames.clear();
  setMenuItemChecked(layout::menuBar, menu::preview, 0);
  disableMenuItem(layout::menuBar, menu::capture, 0);
  session.previewMode = false;
  resizeWindow(layout::window, layout::editHeight);
}

int askToSave(const Session& session) {
  if (session.seriesSaved) return 0;
  return askUser("Limbrik Editor", "Möchten Sie die erstellte Bilderserie speichern?", 35);
}

void newCommand(Session& session) {
  if (session.frames.count() == 0) {
    newSeries(session);
    return;
  }
  switch (askToSave(session)) {
    case 6:
      // Frames that were not written completely are kept.
      if (exportSeries(session) == ExportResult::Completed) newSeries(session);
      break;
    case 7:
    case 0:  // saved already: nothing is lost
      newSeries(session);
      break;
    default:
      break;
  }
}

bool quitConfirmed(Session& session) {
  if (session.frames.count() == 0) return true;
  switch (askToSave(session)) {
    case 6: return exportSeries(session) == ExportResult::Completed;
    case 2: return false;
    default: return true;
  }
}
