// The export: every Frame as drawn and mirrored, as bitmap files under a chosen base path.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <system_error>
#include <thread>

#include "series.h"
#include "ui.h"

namespace {

// The first file of the export that failed, and how far the renames got.
struct Failure {
  std::string path;
  std::string reason;
  std::size_t replaced = 0;  // files already renamed over their targets
};

// Stages the file, or records why it could not be; false once the export cannot complete.
bool stage(FileBatch& batch, ImageId image, const std::string& path) {
  if (image) return stageBitmap(batch, image, path.c_str());
  batch.files.emplace_back().error = ENOMEM;  // the capture or the mirror got no Image
  return false;
}

Failure firstFailure(const FileBatch& batch, const std::vector<std::string>& paths) {
  Failure failure;
  for (std::size_t i = 0; i < batch.files.size(); ++i) {
    const StagedFile& file = batch.files[i];
    failure.replaced += file.committed ? 1 : 0;
    if (!file.error || !failure.path.empty()) continue;
    failure.path = paths[i];
    failure.reason = file.sameTargetAs >= 0
                         ? "Der Name führt zur selben Datei wie \"" + paths[static_cast<std::size_t>(file.sameTargetAs)] +
                               "\", so dass eines der beiden Bilder verloren ginge."
                         : failureReason(file);
  }
  return failure;
}

std::string progressText(int frame, int count) {
  return "Bild " + integerToText(frame) + " von " + integerToText(count) + " wird gespeichert …";
}

std::string failureMessage(const Failure& failure, std::size_t files) {
  if (failure.replaced == 0)
    return "Die Bilderserie konnte nicht gespeichert werden.\n"
           "Die Datei \"" + failure.path + "\" konnte nicht geschrieben werden: " + failure.reason +
           "\nEs wurde keine Datei verändert.";
  return "Die Bilderserie konnte nicht vollständig gespeichert werden.\n"
         "Beim Ersetzen der Datei \"" + failure.path + "\" ist ein Fehler aufgetreten: " + failure.reason + "\n" +
         integerToText(failure.replaced) + " von " + integerToText(files) +
         " Dateien wurden ersetzt, die übrigen sind unverändert.";
}

std::string typeInTheWay(std::uint32_t type) {
  switch (type) {
    case S_IFDIR: return "Dort liegt ein Ordner mit diesem Namen.";
    case S_IFIFO: return "Dort liegt eine benannte Pipe (FIFO) mit diesem Namen.";
    case S_IFSOCK: return "Dort liegt ein Socket mit diesem Namen.";
    case S_IFCHR:
    case S_IFBLK: return "Dort liegt eine Gerätedatei mit diesem Namen.";
    case S_IFLNK: return "Die Verknüpfung dieses Namens zeigt auf eine Datei, die es nicht gibt.";
    default: return {};
  }
}

// Stages every frame and its mirror; false once one cannot be staged or the user cancels.
bool stageAll(Session& session, const std::string& base, FileBatch& batch, std::vector<std::string>& paths,
              bool& cancelled) {
  FrameSeries& series = session.frames;
  const ImageId mirror = createImage(400, 400);  // each frame's in turn: staging copies it
  bool staging = true;
  series.reset();
  while (staging && series.next()) {
    const int n = series.index();
    if (!progressAt(n, progressText(n + 1, series.count()))) {
      cancelled = true;
      break;
    }
    const ImageId image = series.current()->image;
    const std::string name = base + integerToText(n);
    paths.push_back(name + "l.bmp");
    staging = stage(batch, image, paths.back());
    if (!staging) break;
    paths.push_back(name + "r.bmp");
    staging = stage(batch, mirrorImage(image, mirror) ? mirror : 0, paths.back());
  }
  releaseImage(mirror);
  return staging && !cancelled;
}

// A flush or a rename can take seconds on a slow or remote disk: it runs on a thread of its
// own while the progress window shows and every window keeps painting and answering. Without a
// thread to be had it runs here. False once the user cancelled meanwhile.
bool whileAnswering(const std::string& text, const std::function<void()>& work) {
  std::atomic<bool> done{false};
  const auto run = [&work, &done] {
    work();
    done = true;
    wakeProgress();
  };
  std::thread worker;
  try {
    worker = std::thread(run);
  } catch (const std::system_error&) {
    run();
  }
  const bool kept = progressUntil(text, [&done] { return done.load(); });
  if (worker.joinable()) worker.join();
  return kept;
}

// A cancel counts until the flush is done; the renames that follow are not stopped halfway.
bool commitUnlessCancelled(FileBatch& batch, bool& cancelled) {
  bool ready = false, committed = false;
  cancelled = !whileAnswering("Die Bilder werden auf den Datenträger geschrieben …", [&] { ready = readyFiles(batch); });
  if (!ready || cancelled) return false;
  const std::string renaming = "Die Dateien werden an ihren Platz gebracht …";
  progressWithoutCancel(renaming);
  whileAnswering(renaming, [&] { committed = commitFiles(batch); });
  return committed;
}

std::string guardReason(StagedFile::Guard guard) {
  switch (guard) {
    case StagedFile::Guard::StickyFolder:
      return "Die Datei gehört einem anderen Benutzer, und in diesem Ordner darf nur ihr Eigentümer sie ersetzen.";
    case StagedFile::Guard::Immutable: return "Die Datei ist gegen jede Änderung geschützt (chattr +i).";
    case StagedFile::Guard::AppendOnly: return "Die Datei oder ihr Ordner darf nur ergänzt werden (chattr +a).";
    default: return {};
  }
}

}  // namespace

std::string failureReason(const StagedFile& file) {
  if (file.inTheWay) return typeInTheWay(file.inTheWay);
  if (file.guard != StagedFile::Guard::None) return guardReason(file.guard);
  switch (file.error) {
    case EACCES:
    case EPERM: return "Sie haben keine Berechtigung, dort zu schreiben.";
    case ENOSPC:
    case EDQUOT: return "Auf dem Datenträger ist kein Platz mehr frei.";
    case ENOENT:
      if (file.folder < 0) return "Der Ordner existiert nicht.";
      break;  // a folder that exists but makes no file of that name (/proc): the system's own word
    case ENOTDIR: return "Ein Teil des Pfades ist kein Ordner.";
    case EROFS: return "Das Dateisystem ist schreibgeschützt.";
    case ENAMETOOLONG: return "Der Name ist zu lang.";
    case EISDIR: return "Dort liegt ein Ordner mit diesem Namen.";
    case ELOOP: return "Die Verknüpfungen dieses Namens führen im Kreis.";
    case EFBIG:
      return file.overSizeLimit ? "Die Datei ist größer, als die Dateigrößenbegrenzung dieses Programms erlaubt "
                                  "(ulimit -f)."
                                : "Die Datei ist zu groß für das Dateisystem.";
    case EBUSY: return "Unter diesem Namen ist ein anderes Dateisystem eingehängt.";
    case EMFILE: return "Das Programm hat zu viele Dateien zugleich geöffnet.";
    case ENFILE: return "Das System hat zu viele Dateien zugleich geöffnet.";
    case ENOMEM: return "Es war nicht genug Speicher frei.";
    default: break;
  }
  return "Das System meldet den Fehler Nr. " + integerToText(static_cast<std::uint64_t>(file.error)) + ".";
}

ExportResult exportSeries(Session& session) {
  if (session.frames.count() == 0) return ExportResult::NothingToSave;
  const std::string base = askSavePath();
  if (base.empty()) return ExportResult::Cancelled;
  return exportSeriesTo(session, base);
}

ExportResult exportSeriesTo(Session& session, const std::string& base) {
  if (session.frames.count() == 0) return ExportResult::NothingToSave;
  setBusy(true);
  beginProgress("Limbrik Editor", session.frames.count());
  FileBatch batch;  // every file is staged before any target is touched
  std::vector<std::string> paths;
  bool cancelled = false;
  const bool complete =
      stageAll(session, base, batch, paths, cancelled) && commitUnlessCancelled(batch, cancelled);
  endProgress();
  endBatch(batch);  // what was staged goes before any question: it may fill the disk
  setBusy(false);
  if (cancelled) return ExportResult::Cancelled;
  if (!complete) {
    askUser("Limbrik Editor", failureMessage(firstFailure(batch, paths), paths.size()), 0x30);
    return ExportResult::Failed;
  }
  session.seriesSaved = true;
  return ExportResult::Completed;
}
