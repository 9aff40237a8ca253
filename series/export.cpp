// The export: every Frame as drawn and mirrored, as bitmap files under a chosen base path.
#include <sys/stat.h>

#include <cerrno>

#include "series.h"
#include "ui.h"

namespace {

// The first file of the export that failed, and how far the renames got.
struct Failure {
  std::string path;
  int error = 0;
  std::uint32_t inTheWay = 0;
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
    if (file.error && failure.path.empty()) {
      failure.path = paths[i];
      failure.error = file.error;
      failure.inTheWay = file.inTheWay;
    }
  }
  return failure;
}

std::string progressText(int frame, int count) {
  return "Bild " + integerToText(frame) + " von " + integerToText(count) + " wird gespeichert …";
}

std::string failureMessage(const Failure& failure, std::size_t files) {
  const std::string reason = failureReason(failure.error, failure.inTheWay);
  if (failure.replaced == 0)
    return "Die Bilderserie konnte nicht gespeichert werden.\n"
           "Die Datei \"" + failure.path + "\" konnte nicht geschrieben werden: " + reason +
           "\nEs wurde keine Datei verändert.";
  return "Die Bilderserie konnte nicht vollständig gespeichert werden.\n"
         "Beim Ersetzen der Datei \"" + failure.path + "\" ist ein Fehler aufgetreten: " + reason + "\n" +
         integerToText(failure.replaced) + " von " + integerToText(files) +
         " Dateien wurden ersetzt, die übrigen sind unverändert.";
}

}  // namespace

std::string failureReason(int error, std::uint32_t inTheWay) {
  switch (inTheWay) {
    case S_IFDIR: return "Dort liegt ein Ordner mit diesem Namen.";
    case S_IFIFO: return "Dort liegt eine benannte Pipe (FIFO) mit diesem Namen.";
    case S_IFSOCK: return "Dort liegt ein Socket mit diesem Namen.";
    case S_IFCHR:
    case S_IFBLK: return "Dort liegt eine Gerätedatei mit diesem Namen.";
    case S_IFLNK: return "Die Verknüpfung dieses Namens zeigt auf eine Datei, die es nicht gibt.";
    default: break;
  }
  switch (error) {
    case EACCES:
    case EPERM: return "Sie haben keine Berechtigung, dort zu schreiben.";
    case ENOSPC:
    case EDQUOT: return "Auf dem Datenträger ist kein Platz mehr frei.";
    case ENOENT: return "Der Ordner existiert nicht.";
    case ENOTDIR: return "Ein Teil des Pfades ist kein Ordner.";
    case EROFS: return "Das Dateisystem ist schreibgeschützt.";
    case ENAMETOOLONG: return "Der Name ist zu lang.";
    case EISDIR: return "Dort liegt ein Ordner mit diesem Namen.";
    case ELOOP: return "Die Verknüpfungen dieses Namens führen im Kreis.";
    case EFBIG: return "Die Datei ist zu groß für das Dateisystem.";
    case ENOMEM: return "Es war nicht genug Speicher frei.";
    default: return "Das System meldet den Fehler Nr. " + integerToText(error) + ".";
  }
}

ExportResult exportSeries(Session& session) {
  if (session.frames.count() == 0) return ExportResult::NothingToSave;
  const std::string base = askSavePath();
  if (base.empty()) return ExportResult::Cancelled;
  return exportSeriesTo(session, base);
}

ExportResult exportSeriesTo(Session& session, const std::string& base) {
  FrameSeries& series = session.frames;
  if (series.count() == 0) return ExportResult::NothingToSave;
  setBusy(true);
  beginProgress("Limbrik Editor", series.count());
  FileBatch batch;  // every file is staged before any target is touched
  std::vector<std::string> paths;
  const ImageId mirror = createImage(400, 400);  // each frame's in turn: staging copies it
  bool staging = true, cancelled = false;
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
  const bool complete = staging && !cancelled && commitFiles(batch);
  endProgress();
  setBusy(false);
  if (cancelled) return ExportResult::Cancelled;
  if (!complete) {
    askUser("Limbrik Editor", failureMessage(firstFailure(batch, paths), paths.size()), 0x30);
    return ExportResult::Failed;
  }
  session.seriesSaved = true;
  return ExportResult::Completed;
}
