// Capture, New and the save question that guards unsaved frames.
#include <algorithm>
#include <new>

#include "series.h"
#include "ui.h"

namespace {

DrawSurface* openImage(std::intptr_t id) { return imageOutput(id); }

// Room for one more Frame, grown as a vector grows; false without memory.
bool roomForAFrame(FrameSeries& series) {
  std::vector<Frame>& frames = series.frames;
  return frames.size() < frames.capacity() ||
         withinMemory([&frames] { frames.reserve(std::max<std::size_t>(16, 2 * frames.capacity())); });
}

}  // namespace

// The picture and the Frame's place are made first, so that a capture without memory for
// either leaves the series as it was: a Frame without a picture could never be exported.
void captureFrame(Session& session) {
  const ImageId image = createImage(layout::canvasSide, layout::canvasSide);
  bool captured = false;
  PackedBytes packed;  // as the journal keeps it
  const bool hadMemory = withinMemory([&] {
    captured = image && roomForAFrame(session.frames);
    if (captured) renderFigure(session.figure, {openImage, image}, false, 0);
    if (captured) packed = packedImage(image);
    captured = captured && packed.bytes;
  });
  if (!hadMemory || !captured) {
    releaseImage(image);
    releaseMemoryReserve();  // so that the message can show
    askUser(dialogTitle,
            "Das Bild konnte nicht aufgenommen werden: Es ist nicht genug Arbeitsspeicher frei.\n"
            "Die Bilderserie ist unverändert. Speichern Sie sie jetzt.", OkWarning);
    memoryShortageToReport();  // this message is the shortage's warning
    return;
  }
  session.frames.last();
  session.frames.append().image = image;
  session.frames.forgetTakenBack();  // a new capture ends what could be redone
  session.seriesSaved = false;
  keepJournal(session);
}

void undoCapture(Session& session) {
  FrameSeries& series = session.frames;
  if (session.previewMode || series.frames.empty()) return;
  // Without room to keep it for a redo, nothing is taken back.
  if (!withinMemory([&series] { series.takenBack.push_back(series.frames.back()); })) return;
  packImage(series.takenBack.back().image);
  series.frames.pop_back();
  series.packedUpTo = std::min(series.packedUpTo, series.frames.size());
  series.last();
  session.seriesSaved = false;  // an empty series quits without a question all the same
  keepJournal(session);
}

void redoCapture(Session& session) {
  FrameSeries& series = session.frames;
  if (session.previewMode || series.takenBack.empty() || !roomForAFrame(series)) return;
  series.frames.push_back(series.takenBack.back());
  series.takenBack.pop_back();
  series.last();
  session.seriesSaved = false;
  keepJournal(session);
}

// Only a change reaches the menu: touching an item's state while a menu key is pressed would
// lose the key.
void showWhatCanBeUndone(Session& session) {
  const int undo = session.previewMode ? 0 : 1, redo = session.previewMode || session.frames.takenBack.empty() ? 0 : 2;
  if (session.undoItemsShown == (undo | redo)) return;
  session.undoItemsShown = undo | redo;
  disableMenuItem(layout::menuBar, menu::undo, undo ? ItemEnabled : ItemGreyed);
  disableMenuItem(layout::menuBar, menu::redo, redo ? ItemEnabled : ItemGreyed);
}

void newSeries(Session& session) {
  resetPose(session.figure);
  session.frames.clear();
  keepJournal(session);
  leavePreview(session);
}

int askToSave(const Session& session) {
  if (session.seriesSaved) return 0;
  return askUser(dialogTitle, "Möchten Sie die erstellte Bilderserie speichern?", YesNoCancelQuestion);
}

// Frames that were not written completely are kept; saved already, nothing is lost.
void newCommand(Session& session) {
  const int answer = session.frames.count() == 0 ? NotAsked : askToSave(session);
  if (answer == NotAsked || answer == AnswerNo || (answer == AnswerYes && exportSeries(session) == ExportResult::Completed))
    newSeries(session);
}

bool quitConfirmed(Session& session) {
  if (session.frames.count() == 0) return true;
  switch (askToSave(session)) {
    case AnswerYes: return exportSeries(session) == ExportResult::Completed;
    case AnswerCancel: return false;
    default: return true;
  }
}
