// The frame series and the editor's commands on it: capture, New, the save question,
// export with mirrored copies, and preview playback.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "figure.h"
#include "raster.h"

// The numbers of the main window's parts, as the services know them.
namespace layout {
constexpr int window = 0;
constexpr int menuBar = 0;
constexpr int canvas = 0;
constexpr int panel = 1;
constexpr int playButton = 2;
constexpr int rateEdit = 3;
constexpr int trackbar = 4;
constexpr int rateLabel = 5;
constexpr int canvasSide = 400;  // the canvas and every frame are squares of this side
constexpr int editHeight = 420;
constexpr int previewHeight = 475;
}  // namespace layout

// The title of every box the editor asks or tells in.
constexpr char dialogTitle[] = "Limbrik Editor";

namespace menu {
constexpr int newSeries = 0;
constexpr int save = 1;
constexpr int capture = 2;
constexpr int preview = 3;
constexpr int quit = 4;
constexpr int undo = 5;
constexpr int redo = 6;
}  // namespace menu

struct Frame {
  ImageId image = 0;  // 0 when the capture got no Image
};

// The captured frames in capture order and one current position (-1: none).
struct FrameSeries {
  std::vector<Frame> frames;
  std::int32_t position = -1;
  std::size_t packedUpTo = 0;  // the frames before it are kept packed
  std::vector<Frame> takenBack;  // packed, the last taken back last: what a redo appends again

  int count() const;
  Frame* current();
  Frame* first();
  Frame* last();
  Frame& append();  // after the current Frame, or at the front with none; becomes current
  Frame* select(int index);
  Frame* next();  // none at the end, where the last Frame stays current
  void reset();
  int index() const;
  void clear();  // also releases the Frames' Images and those taken back, and gives their memory back
  void forgetTakenBack();
  // Keeps every frame but the last (the onion skin, read on every pass) packed; one that finds
  // no memory to pack stays as it is until a later call.
  void packOlderFrames();
};

// What the preview step last put on the canvas; a step that would draw the same again does not.
struct PreviewShown {
  bool drawn = false;
  ImageId image = 0;
  std::uint32_t imageRevision = 0;
  std::uint32_t canvasRevision = 0;  // the canvas's revision right after that drawing
  bool operator==(const PreviewShown&) const = default;
};

struct Session {
  Figure figure{};
  FrameSeries frames;
  bool previewMode = false;
  bool playing = false;
  bool seriesSaved = false;
  std::uint32_t lastAdvanceTick = 0;
  PreviewShown shown;
  bool frameMissing = false;  // the preview's frame could not be expanded: the last picture stays
  Journal journal;  // the frames as captured, kept on the disk against a crash
  int journalFailure = 0;  // errno of why the series has no journal at all
  bool journalWarned = false;  // that the frames are not kept safe, until they are again
  int undoItemsShown = -1;  // the undo and redo items' state as the menu shows it: 1 undo, 2 redo
};

// Adds the pose as a new last frame; without memory for it the series stays as it was and a
// message says so.
void captureFrame(Session& session);

void newSeries(Session& session);
// Takes the last frame back, kept for a redo; the one before it is the onion skin again.
void undoCapture(Session& session);
// Appends the frame taken back last again, byte for byte.
void redoCapture(Session& session);
// Greys what cannot be done now: taking back or redoing in preview mode, redoing with nothing
// taken back.
void showWhatCanBeUndone(Session& session);

// At the start: offers back, newest first and one at a time, the frames of each journal that an
// editor killed before its clean end left; Ja makes them the series and their journal the
// series' own, Nein removes that journal, Abbrechen keeps it for the next start. Without a journal
// taken over, a new one. A journal's frames are expanded to prove them for at most
// expandBeforeAsking before its question, so that the question comes soon however long the
// journal; the frames past that are read in structure, and expanded after a Ja.
void startJournal(Session& session, std::chrono::milliseconds expandBeforeAsking = std::chrono::seconds(1));
// Brings the journal to hold exactly the series' frames: after a failure, or when it holds
// frames the series no longer has, it is written anew; then the frames it misses are appended.
void keepJournal(Session& session);
// Says once that frames cannot be kept safe against a crash, and why, when the journal could not
// be made or stopped working; and once that they are safe again, when it holds them all again.
void warnOfJournalFailure(Session& session);
// The clean end, with nothing unsaved: the journal goes.
void endJournal(Session& session);
// 6 Yes, 7 No, 2 Cancel; 0 without asking when the series is saved already.
int askToSave(const Session& session);
// The New command: asks first when there are frames; keeps them unless they are saved or given up.
void newCommand(Session& session);
// The quit confirmation: whether the program may end now.
bool quitConfirmed(Session& session);

enum class ExportResult { NothingToSave, Cancelled, Failed, Completed };
// Writes base + n + "l.bmp" and the mirror base + n + "r.bmp" for every Frame, all files or
// none: marks the series saved only when every file was written, and otherwise says which
// file failed and whether any was changed.
ExportResult exportSeries(Session& session);
// The export's writing under a base path already chosen.
ExportResult exportSeriesTo(Session& session, const std::string& base);
// Sees an export under way through to its end, its message included, from inside that
// export's own wait: for a request that must be answered there and then (the session's end).
void finishRunningExport();
// Why a file could not be written, in German: for what stood in its way (a file type, see
// StagedFile), else for its errno value, which the second is given alone.
std::string failureReason(const StagedFile& file);
std::string failureReason(int error);
// What an export that failed tells the user: the first file or folder that failed and why, and
// how many files were replaced; outOfMemory when memory ran out between the files.
std::string exportFailureMessage(const FileBatch& batch, bool outOfMemory);
// Draws the left-right mirror of a frame (400 x 400) into another; false without either.
bool mirrorImage(ImageId source, ImageId into);

using TickSource = std::uint32_t (*)();
std::uint32_t systemTick();

void togglePreview(Session& session);
void enterPreview(Session& session);
void leavePreview(Session& session);
void playButtonCommand(Session& session);
void trackbarCommand(Session& session);
// One view step of preview mode: advance when due, then show the current Frame.
void previewStep(Session& session, TickSource tick = systemTick);
// Expands the frame that playback shows next, so that showing it never waits.
void prepareNextFrame(const Session& session);
// Milliseconds until playback's next frame is due (0: now); -1 while nothing plays.
int nextFrameDueIn(const Session& session, TickSource tick = systemTick);
