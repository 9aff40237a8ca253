// The export: every Frame as drawn and mirrored, as bitmap files under a chosen base path, all
// of them or none. A worker thread does the writing while the windows keep answering.
#include <atomic>
#include <cerrno>
#include <new>
#include <exception>
#include <thread>

#include "series.h"
#include "ui.h"

namespace {

// Stages the file, or records why it could not be; false once the export cannot complete.
bool stage(FileBatch& batch, ImageId image, const std::string& path) {
  if (image) return stageBitmap(batch, image, path.c_str());
  addFailedFile(batch, path.c_str(), ENOMEM);  // the capture or the mirror got no Image
  return false;
}

std::string progressText(int frame, int count) {
  return "Bild " + integerToText(frame) + " von " + integerToText(count) + " wird gespeichert …";
}

enum class Step : int { Staging, Flushing, Renaming, Over };
// Whether Abbrechen still counts: until the worker passes the point after which it renames.
enum Gate : int { Open, Cancelled, Committing };

// An export under way. Its worker stages, flushes and renames; the main thread meanwhile only
// shows the progress and keeps the windows answering, and touches neither frames nor files.
struct ExportRun {
  ExportRun(Session& s, const std::string& b) : session(s), base(b), count(s.frames.count()) {}
  Session& session;
  const std::string base;
  const int count;
  FileBatch batch;
  std::atomic<int> frame{0};  // the frame being staged, from 1 on
  std::atomic<Step> step{Step::Staging};
  std::atomic<int> gate{Open};
  std::atomic<bool> stop{false};  // set with a cancel that counted
  bool complete = false;          // what the worker achieved, read once it is over
  bool outOfMemory = false;
  std::thread worker;
  bool finished = false;
  ExportResult result = ExportResult::Failed;
};

// The one export under way: none other starts until it is finished.
ExportRun* runningExport = nullptr;

// Stages every frame and its mirror; false once one cannot be staged or the user cancels.
bool stageAll(ExportRun& run) {
  FrameSeries& series = run.session.frames;
  const ImageId mirror = createImage(layout::canvasSide, layout::canvasSide);  // each frame's in turn: staging copies it
  bool staging = true;
  series.reset();
  while (staging && !run.stop && series.next()) {
    const int n = series.index();
    run.frame = n + 1;
    const ImageId image = series.current()->image;
    const std::string name = run.base + integerToText(n);
    staging = stage(run.batch, image, name + "l.bmp");
    if (!staging) break;
    staging = stage(run.batch, mirrorImage(image, mirror) ? mirror : 0, name + "r.bmp");
  }
  releaseImage(mirror);
  return staging && !run.stop;
}

bool enter(ExportRun& run, Step step) {
  run.step = step;
  wakeProgress();
  return true;
}

// A cancel counts until the renames begin; they are not stopped halfway.
bool passPointOfNoReturn(ExportRun& run) {
  int open = Open;
  return run.gate.compare_exchange_strong(open, Committing);
}

void work(ExportRun& run) {
  run.outOfMemory = !withinMemory([&run] {
    run.complete = stageAll(run) && enter(run, Step::Flushing) && readyFiles(run.batch, run.stop) &&
                   passPointOfNoReturn(run) && enter(run, Step::Renaming) && commitFiles(run.batch);
  });
  enter(run, Step::Over);
}

void refresh(ExportRun& run) {
  int open = Open;
  if (progressStopRequested() && run.gate.compare_exchange_strong(open, Cancelled)) run.stop = true;
  const Step step = run.step;
  if (step == Step::Renaming) {
    progressWithoutCancel("Die Dateien werden an ihren Platz gebracht …");
  } else if (run.gate == Cancelled) {
    progressAt(run.frame, "Das Speichern wird abgebrochen …");
  } else if (step == Step::Staging) {
    progressAt(run.frame, progressText(run.frame, run.count));
  } else if (step == Step::Flushing) {
    progressAt(run.count, "Die Bilder werden auf den Datenträger geschrieben …");
    showProgress();  // from the moment a slow disk may hold it up
  }
}

void waitFor(ExportRun& run) {
  waitWhileWorking([&run] { return run.step == Step::Over; }, [&run] { refresh(run); });
}

ExportResult outcome(const ExportRun& run) {
  if (run.gate == Cancelled) return ExportResult::Cancelled;
  return run.complete ? ExportResult::Completed : ExportResult::Failed;
}

// Once, by whichever wait sees the worker over first.
void finish(ExportRun& run) {
  if (run.finished) return;
  run.finished = true;
  if (run.worker.joinable()) run.worker.join();
  runningExport = nullptr;
  endProgress();
  endBatch(run.batch);  // what was staged goes before any question: it may fill the disk
  setBusy(false);
  run.result = outcome(run);
  if (run.result == ExportResult::Completed) run.session.seriesSaved = true;
  if (run.result == ExportResult::Failed) askUser(dialogTitle, exportFailureMessage(run.batch, run.outOfMemory), OkWarning);
}

}  // namespace

ExportResult exportSeries(Session& session) {
  if (session.frames.count() == 0) return ExportResult::NothingToSave;
  const std::string base = askSavePath();
  if (base.empty()) return ExportResult::Cancelled;
  return exportSeriesTo(session, base);
}

ExportResult exportSeriesTo(Session& session, const std::string& base) {
  if (session.frames.count() == 0) return ExportResult::NothingToSave;
  ExportRun run(session, base);
  setBusy(true);
  beginProgress(dialogTitle, run.count);
  runningExport = &run;
  try {
    run.worker = std::thread(work, std::ref(run));
  } catch (const std::exception&) {  // no thread or no memory for one: here, the windows standing still
    work(run);
  }
  waitFor(run);
  finish(run);
  return run.result;
}

void finishRunningExport() {
  if (!runningExport) return;
  ExportRun& run = *runningExport;
  waitFor(run);
  finish(run);
}
