// What the journal means for a series: every captured frame goes into it as the store packs
// it, New empties it, a clean end removes it, and the journal of an editor that was killed is
// offered back at the next start.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <new>

#include "series.h"
#include "ui.h"

namespace {

constexpr std::int32_t side = layout::canvasSide;

std::string lastCapture(std::int64_t seconds) {
  const std::time_t at = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[64];
  if (!::localtime_r(&at, &local) || std::strftime(text, sizeof text, "am %d.%m.%Y um %H:%M Uhr", &local) == 0)
    return {};
  return text;
}

std::string lostFrames(std::size_t damaged) {
  if (damaged == 0) return {};
  if (damaged == 1) return " 1 Bild war beschädigt und fehlt.";
  return std::string(" ").append(integerToText(damaged)).append(" Bilder waren beschädigt und fehlen.");
}

std::string recoveryQuestion(std::size_t frames, std::size_t damaged, std::size_t others, std::int64_t lastWritten) {
  const std::string when = lastCapture(lastWritten);
  const std::string captured =
      frames == 1 ? "Dabei wurde 1 Bild aufgenommen, " + when
                  : "Dabei wurden " + integerToText(frames) + " Bilder aufgenommen, das letzte " + when;
  std::string more;
  if (others == 1) more = "\nAußerdem liegt noch eine ältere Bilderserie vor, die nicht gesichert wurde.";
  if (others > 1) more.append("\nAußerdem liegen noch ").append(integerToText(others)).append(" ältere Bilderserien vor, die nicht gesichert wurden.");
  return "Limbrik Animator wurde nicht ordnungsgemäß beendet. " + captured + "." + lostFrames(damaged) + more +
         "\n\nMöchten Sie diese Bilder wiederherstellen?\n"
         "Nein verwirft sie, Abbrechen fragt beim nächsten Start wieder.";
}

std::string discardOthersQuestion(std::size_t others) {
  const std::string which = others == 1 ? "die ältere Bilderserie" : "die " + integerToText(others) + " älteren Bilderserien";
  return "Sollen auch " + which + " verworfen werden, die nicht gesichert wurden?\n\n"
         "Ja verwirft sie alle, Nein fragt gleich nach der nächsten, Abbrechen fragt beim nächsten Start wieder.";
}

constexpr std::size_t framesAtOnce = 256;

// The frames of a claimed journal up to its end or a torn tail, stepping over records whose
// frames are damaged; no more memory than one record's bound besides the frames themselves.
// Those from `expanded` on are proven in structure only. Incomplete when memory ran out: the
// journal then waits for a start with more.
struct JournalFrames {
  std::vector<ImageId> images;
  std::vector<std::uint64_t> starts;  // of their records
  std::size_t expanded = 0;
  std::size_t damaged = 0;
  std::uint64_t end = 0;  // after the last record read
  bool onlyHeader = false;
  bool complete = false;
};

JournalFrames framesIn(const Journal& journal, std::chrono::milliseconds expandBeforeAsking) {
  JournalFrames found;
  JournalReader reader;
  if (!startReading(reader, packedBound(side, side))) return found;
  const auto askBy = std::chrono::steady_clock::now() + expandBeforeAsking;
  try {
    JournalRead read = JournalRead::More;
    while (read == JournalRead::More) {
      const bool expand = found.expanded == found.images.size() && std::chrono::steady_clock::now() < askBy;
      read = readRecords(journal, reader, [expand](const PackedBytes* frames, std::size_t count, FrameCheck* verdicts) {
        checkPackedFrames(frames, count, side, side, verdicts, expand);
      });
      found.images.reserve(found.images.size() + reader.payloads.size());
      for (std::size_t i = 0; i < reader.payloads.size(); ++i) {
        const FrameCheck verdict = reader.verdicts[i];
        const ImageId image = verdict == FrameCheck::Whole ? adoptPackedFrame(reader.payloads[i], side, side) : 0;
        if (verdict == FrameCheck::NoMemory || (verdict == FrameCheck::Whole && !image)) return found;
        if (image) found.images.push_back(image);
        if (image) found.starts.push_back(reader.starts[i]);
        found.damaged += verdict == FrameCheck::Damaged;
      }
      if (expand) found.expanded = found.images.size();
      answerInput();  // a large journal takes seconds: the window stays painted and answering
    }
    found.onlyHeader = read == JournalRead::End && reader.at == journalHeaderSize;
    found.end = reader.at;
    found.complete = true;
  } catch (const std::bad_alloc&) {
    found.complete = false;
  }
  return found;
}

// Expands the frames proven in structure only, with the window answering; those that prove
// damaged go, with their records. False when memory ran out: what is left is released then.
bool expandTheRest(JournalFrames& found) {
  std::vector<ImageId>& images = found.images;
  PackedBytes frames[framesAtOnce];
  FrameCheck verdicts[framesAtOnce];
  std::size_t kept = found.expanded;
  for (std::size_t at = found.expanded; at < images.size(); at += framesAtOnce) {
    const std::size_t count = std::min(framesAtOnce, images.size() - at);
    for (std::size_t i = 0; i < count; ++i) frames[i] = packedImage(images[at + i]);
    checkPackedFrames(frames, count, side, side, verdicts);
    if (std::find(verdicts, verdicts + count, FrameCheck::NoMemory) != verdicts + count) {
      images.erase(images.begin() + static_cast<std::ptrdiff_t>(kept), images.begin() + static_cast<std::ptrdiff_t>(at));
      return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (verdicts[i] == FrameCheck::Damaged) {
        releaseImage(images[at + i]);
        ++found.damaged;
        continue;
      }
      found.starts[kept] = found.starts[at + i];
      images[kept++] = images[at + i];
    }
    answerInput();
  }
  images.resize(kept);
  found.starts.resize(kept);
  found.expanded = kept;
  return true;
}

std::string countOfFrames(std::size_t count) { return count == 1 ? "1 Bild" : integerToText(count) + " Bilder"; }

void release(const std::vector<ImageId>& images) {
  for (const ImageId image : images) releaseImage(image);
}

void restore(Session& session, const std::vector<ImageId>& images) {
  for (const ImageId image : images) session.frames.frames.push_back(Frame{image});
  session.frames.last();
  session.seriesSaved = false;
}

// Of the journals named that no running editor holds, those that hold more than a header; or,
// to discard, how many of them all went.
std::size_t deadJournals(int folder, const std::vector<std::string>& names, bool discard) {
  std::size_t dead = 0;
  for (const std::string& name : names) {
    Journal found;
    if (claimJournal(folder, name, found) != JournalClaim::Claimed) continue;
    dead += discard ? removeJournal(found, false) : found.foundSize > journalHeaderSize;
  }
  return dead;
}

enum class Offer { Restored, Refused, Postponed, NotOffered };

// Asks about one journal that no running editor holds, with how many more wait behind it; it
// becomes the series' own on Ja. An empty one goes, one that cannot be read is set aside.
Offer offer(Session& session, Journal& found, std::size_t others, std::chrono::milliseconds expandBeforeAsking,
            bool& removed) {
  JournalFrames frames = framesIn(found, expandBeforeAsking);
  const std::vector<ImageId>& images = frames.images;
  const std::size_t damagedAsked = frames.damaged;
  if (!frames.complete || images.empty()) {
    release(images);
    if (frames.complete && frames.onlyHeader) removed |= removeJournal(found, false);
    else if (frames.complete) setJournalAside(found);
    return Offer::NotOffered;  // what memory did not let be read waits for the next start
  }
  switch (askUser(dialogTitle, recoveryQuestion(images.size(), damagedAsked, others, found.lastWritten), YesNoCancelQuestion)) {
    case AnswerYes:
      if (!expandTheRest(frames) || !withinMemory([&] { session.frames.frames.reserve(images.size()); })) {
        release(images);
        return Offer::Postponed;
      }
      restore(session, images);
      if (!adoptJournal(found, frames.end, std::move(frames.starts))) session.journalFailure = errno ? errno : EIO;
      session.journal = std::move(found);
      if (frames.damaged > damagedAsked)  // seen only now that the frames that were not expanded are
        askUser(dialogTitle,
                "Wiederhergestellt: " + countOfFrames(images.size()) + "." + lostFrames(frames.damaged - damagedAsked),
                OkWarning);
      return Offer::Restored;
    case AnswerNo:
      release(images);
      removed |= removeJournal(found, false);
      return Offer::Refused;
    default: release(images); return Offer::Postponed;
  }
}

// The journals newest first, until one is restored or kept: one question for each that holds
// frames, and after a Nein one about the rest. The folder is flushed once for all that went.
void offerJournals(Session& session, int folder, std::chrono::milliseconds expandBeforeAsking) {
  const std::vector<std::string> names = journalNames(folder);
  bool removed = false;
  for (auto name = names.begin(); name != names.end(); ++name) {
    Journal found;
    if (claimJournal(folder, *name, found) != JournalClaim::Claimed) continue;
    const std::vector<std::string> rest(name + 1, names.end());
    const std::size_t others = found.foundSize > journalHeaderSize ? deadJournals(folder, rest, false) : 0;
    const Offer answer = offer(session, found, others, expandBeforeAsking, removed);
    if (answer == Offer::Restored || answer == Offer::Postponed) break;
    if (answer == Offer::NotOffered || others == 0) continue;
    const int rule = askUser(dialogTitle, discardOthersQuestion(others), YesNoCancelQuestion);
    if (rule == AnswerYes) removed |= deadJournals(folder, rest, true) > 0;
    if (rule != AnswerNo) break;
  }
  if (removed) flushJournalFolder(folder);
}

// Why the journal could not be written, for a journal's folder rather than an export's file.
std::string journalFailureReason(int error) {
  if (error == ELOOP) return "An seiner Stelle liegt eine Verknüpfung, und ihr folgt der Editor nicht.";
  return failureReason(error);
}

}  // namespace

void startJournal(Session& session, std::chrono::milliseconds expandBeforeAsking) {
  const int folder = openJournalFolder();
  if (folder < 0) {
    session.journalFailure = errno;
    return;
  }
  // Without memory nothing more is offered this time; the journals wait for the next start.
  withinMemory([&] { offerJournals(session, folder, expandBeforeAsking); });
  if (session.journal.fd < 0 && !createJournal(folder, session.journal)) session.journalFailure = errno;
  ::close(folder);
}

void keepJournal(Session& session) {
  Journal& journal = session.journal;
  if (journal.fd < 0) return;
  const auto count = static_cast<std::size_t>(session.frames.count());
  const std::size_t kept = journalError(journal) ? 0 : std::min(count, journal.recordStarts.size());
  if (!keepRecords(journal, kept)) return;
  for (std::size_t i = journal.recordStarts.size(); i < count; ++i) {
    const PackedBytes packed = packedImage(session.frames.frames[i].image);
    if (!packed.bytes || !appendRecord(journal, packed.bytes, packed.size)) return;
  }
}

void warnOfJournalFailure(Session& session) {
  const int error = session.journalFailure ? session.journalFailure : journalError(session.journal);
  const auto count = static_cast<std::size_t>(session.frames.count());
  if (!error && session.journalWarned && session.journal.recordStarts.size() == count) {
    session.journalWarned = false;
    askUser(dialogTitle, "Die aufgenommenen Bilder sind wieder gegen einen Absturz gesichert.", OkInformation);
  }
  if (!error || session.journalWarned) return;
  session.journalWarned = true;
  const std::string folder = journalFolderPath();
  const std::string why = folder.empty() ? "Weder XDG_STATE_HOME noch HOME nennt einen Ordner dafür."
                                         : "Im Ordner \"" + folder + "\" konnte keine Datei dafür geschrieben werden: " +
                                               journalFailureReason(error);
  askUser(dialogTitle,
          "Die aufgenommenen Bilder können nicht gegen einen Absturz gesichert werden.\n" + why +
              "\nDer Editor arbeitet trotzdem weiter; speichern Sie die Bilderserie rechtzeitig.",
          OkWarning);
}

void endJournal(Session& session) { removeJournal(session.journal); }
