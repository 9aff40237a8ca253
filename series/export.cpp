// The export: every Frame as drawn and mirrored, as bitmap files under a chosen base path.
#include <cerrno>

#include "series.h"
#include "ui.h"

namespace {

// The files of an export in the order of writing, committed in batches that fit the open-file limit.
struct ExportFiles {
  FileBatch batch;
  std::vector<std::string> paths;  // one for each entry of the batch
  std::size_t capacity = batchCapacity();
  std::string firstFailed;
  int firstError = 0;
};

void commit(ExportFiles& files) {
  commitFiles(files.batch);
  for (std::size_t i = 0; i < files.paths.size(); ++i) {
    const int error = files.batch.files[i].error;
    if (error && files.firstFailed.empty()) {
      files.firstFailed = files.paths[i];
      files.firstError = error;
    }
  }
  files.batch.files.clear();
  files.paths.clear();
}

void stage(ExportFiles& files, ImageId image, std::string path) {
  if (files.batch.files.size() >= files.capacity) commit(files);
  if (image) {
    stageBitmap(files.batch, image, path.c_str());
  } else {
    files.batch.files.emplace_back().error = ENOMEM;  // the capture or the mirror got no Image
  }
  files.paths.push_back(std::move(path));
}

std::string progressText(int frame, int count) {
  return "Bild " + integerToText(frame) + " von " + integerToText(count) + " wird gespeichert …";
}

std::string failureMessage(const std::string& firstFailed, int error) {
  return "Die Bilderserie konnte nicht vollständig gespeichert werden.\n"
         "Die Datei \"" + firstFailed + "\" konnte nicht geschrieben werden: " + failureReason(error);
}

}  // namespace

std::string failureReason(int error) {
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
  const std::string base = askSavePath("", "", "", 0);
  if (base.empty()) return ExportResult::Cancelled;
  return exportSeriesTo(session, base);
}

ExportResult exportSeriesTo(Session& session, const std::string& base) {
  FrameSeries& series = session.frames;
  if (series.count() == 0) return ExportResult::NothingToSave;
  setBusy(true);
  beginProgress("Limbrik Editor", series.count());
  ExportFiles files;
  bool cancelled = false;
  series.reset();
  while (const Frame* frame = series.next()) {
    if (!progressAt(series.index(), progressText(series.index() + 1, series.count()))) {
      cancelled = true;  // the batch not yet committed is removed with it
      break;
    }
    const std::string name = base + integerToText(series.index());
    stage(files, frame->image, name + "l.bmp");
    const ImageId mirrored = frame->image ? mirrorImage(frame->image) : 0;
    stage(files, mirrored, name + "r.bmp");
    if (mirrored) releaseImage(mirrored);
  }
  if (!cancelled) commit(files);
  endProgress();
  setBusy(false);
  if (cancelled) return ExportResult::Cancelled;
  if (!files.firstFailed.empty()) {
    askUser("Limbrik Editor", failureMessage(files.firstFailed, files.firstError), 0x30);
    return ExportResult::Failed;
  }
  session.seriesSaved = true;
  return ExportResult::Completed;
}
