// What the user is told of an export that failed: the first file or folder, why, and how far it got.
#include <sys/stat.h>

#include <cerrno>

#include "series.h"
#include "ui.h"

namespace {

// The first file of the export that failed, or the folder whose flush failed, and how far the
// renames got.
struct Failure {
  std::string path;
  std::string reason;
  std::size_t replaced = 0;  // files already renamed over their targets
  bool ofFolder = false;
};

Failure firstFailure(const FileBatch& batch) {
  Failure failure;
  for (const StagedFile& file : batch.files) {
    failure.replaced += file.committed ? 1 : 0;
    if (!file.error || !failure.path.empty()) continue;
    failure.path = file.path;
    failure.reason = file.sameTargetAs >= 0
                         ? "Der Name führt zur selben Datei wie \"" +
                               batch.files[static_cast<std::size_t>(file.sameTargetAs)].path +
                               "\", so dass eines der beiden Bilder verloren ginge."
                         : failureReason(file);
  }
  for (const BatchFolder& folder : batch.folders) {
    if (!folder.error || !failure.path.empty()) continue;
    failure = {folder.path, failureReason(folder.error), failure.replaced, true};
  }
  return failure;
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
    case EIO: return "Der Datenträger meldet einen Fehler beim Lesen oder Schreiben.";
    case ENOTCONN:
    case ESTALE:
    case ENODEV: return "Der Datenträger ist nicht mehr erreichbar.";
    default: break;
  }
  return "Das System meldet den Fehler Nr. " + integerToText(static_cast<std::uint64_t>(file.error)) + ".";
}

std::string failureReason(int error) {
  StagedFile failed;
  failed.error = error;
  return failureReason(failed);
}

std::string exportFailureMessage(const FileBatch& batch, bool outOfMemory) {
  Failure failure = firstFailure(batch);
  const std::size_t count = batch.files.size();
  if (failure.path.empty()) {  // no file failed: memory ran out between them
    failure.path = count == 0 ? std::string() : batch.files[std::min(failure.replaced, count - 1)].path;
    failure.reason = outOfMemory ? "Es war nicht genug Speicher frei." : "";
  }
  const std::string files = integerToText(count);
  if (failure.replaced == 0)
    return "Die Bilderserie konnte nicht gespeichert werden.\n" +
           std::string(failure.ofFolder ? "Der Ordner \"" + failure.path + "\" konnte nicht auf den Datenträger geschrieben werden: "
                                        : "Die Datei \"" + failure.path + "\" konnte nicht geschrieben werden: ") +
           failure.reason + "\nEs wurde keine Datei verändert.";
  if (failure.replaced == count)  // only the folder's flush after the renames failed
    return "Alle " + files + " Dateien der Bilderserie liegen an ihrem Platz, aber ob sie den Datenträger erreicht "
           "haben, ist nicht sicher.\nBeim Sichern des Ordners \"" + failure.path + "\" ist ein Fehler aufgetreten: " +
           failure.reason + "\nDie Bilderserie gilt daher als nicht gespeichert.";
  return "Die Bilderserie konnte nicht vollständig gespeichert werden.\n"
         "Beim Ersetzen der Datei \"" + failure.path + "\" ist ein Fehler aufgetreten: " + failure.reason + "\n" +
         integerToText(failure.replaced) + " von " + files + " Dateien wurden ersetzt, die übrigen sind unverändert.";
}
