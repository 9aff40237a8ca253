// The journal as a killed editor leaves it, offered at the next start: a live editor's is not,
// a torn tail gives the frames before it, and each answer does what it says. Crafted files
// where journals lie are left as they are and ask nothing.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zstd.h>

#include "support/editor_fixture.h"

namespace {

std::string packedOf(ImageId image) {
  const PackedBytes packed = packedImage(image);
  return {reinterpret_cast<const char*>(packed.bytes), packed.size};
}

std::vector<std::string> packedFrames(const Session& series) {
  std::vector<std::string> packed;
  for (const Frame& frame : series.frames.frames) packed.push_back(packedOf(frame.image));
  return packed;
}

class Recovery : public EditorTest {
 protected:
  fs::path journals = folder / "state" / "limbrik";
  void SetUp() override {
    EditorTest::SetUp();
    ::setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(journals)) found.push_back(entry.path().filename());
    return found;
  }
  // Starts a series as the editor does, answering the questions about journals in turn (the
  // last answer again for any more): what each asked.
  static std::vector<std::string> startAnswering(Session& started, std::vector<int> answers,
                                                 std::chrono::milliseconds expandBeforeAsking = std::chrono::seconds(1)) {
    std::vector<std::string> asked;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&asked, &answers] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      asked.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
      const int answer = answers[std::min(asked.size(), answers.size()) - 1];
      QAbstractButton* button = box->button(answer == 6 ? QMessageBox::Yes : answer == 7 ? QMessageBox::No : QMessageBox::Cancel);
      (button ? button : box->button(QMessageBox::Ok))->click();
    });
    poll.start(5);
    startJournal(started, expandBeforeAsking);
    return asked;
  }
  static std::string startAnswering(Session& started, int answer) {
    const std::vector<std::string> asked = startAnswering(started, std::vector{answer});
    return asked.empty() ? "" : asked.back();
  }
  // The editor killed: what the next start's Ja brings back.
  static std::vector<std::string> restoredAfterKilling(Session& killed) {
    closeJournal(killed.journal);
    Session restored;
    startAnswering(restored, 6);
    const std::vector<std::string> frames = packedFrames(restored);
    endJournal(restored);
    return frames;
  }
};

TEST_F(Recovery, AKilledEditorsFramesComeBackUpToATornTailAndEachAnswerDoesWhatItSays) {
  fs::create_directories(journals);
  // Made by something else, open to be read and entered: the journal's folder is made private.
  fs::permissions(journals, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  startJournal(session);
  EXPECT_EQ(fs::status(journals).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(journals / names().at(0)).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  captureMany(4);
  const std::vector<std::string> captured = packedFrames(session);
  Session beside;  // a second editor while the first runs: nothing to offer
  EXPECT_EQ(startAnswering(beside, 2), "");
  endJournal(beside);
  const fs::path left = journals / names().at(0);
  closeJournal(session.journal);  // killed: the lock goes, the file stays
  fs::resize_file(left, fs::file_size(left) - 10);  // the last append torn
  fs::permissions(left, fs::perms::others_read, fs::perm_options::add);  // and widened meanwhile
  {
    std::fstream file(left, std::ios::in | std::ios::out | std::ios::binary);  // a byte of the second frame altered
    file.seekp(static_cast<std::streamoff>(journalHeaderSize + 8 + captured[0].size() + captured[1].size() / 2));
    file.put('\x55');
  }
  Session later;
  const std::string asked = "Limbrik Editor|Limbrik Animator wurde nicht ordnungsgemäß beendet. Dabei wurden 2 Bilder";
  const std::string question = startAnswering(later, 2);
  EXPECT_EQ(question.substr(0, asked.size()), asked);
  EXPECT_NE(question.find(". 1 Bild war beschädigt und fehlt.\n"), std::string::npos) << question;
  EXPECT_EQ(later.frames.count(), 0);
  EXPECT_EQ(names().size(), 2u);  // kept for the next start, beside the new series' own
  endJournal(later);
  Session restored;
  EXPECT_NE(startAnswering(restored, 6), "");
  ASSERT_EQ(restored.frames.count(), 2);
  EXPECT_EQ(packedOf(restored.frames.frames[0].image), captured[0]);
  EXPECT_EQ(packedOf(restored.frames.frames[1].image), captured[2]);  // the one after the damaged one too
  EXPECT_EQ(restored.frames.index(), 1);
  EXPECT_FALSE(restored.seriesSaved);
  EXPECT_EQ(fs::status(left).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // Taken over, with nothing readable cut off: only the torn tail goes.
  EXPECT_EQ(fs::file_size(left), journalHeaderSize + 12 + captured[0].size() + captured[1].size() + captured[2].size());
  closeJournal(restored.journal);
  // Asked before its frames were expanded, as a long journal is: the damage shows after the Ja.
  Session late;
  const std::vector<std::string> told = startAnswering(late, {6}, std::chrono::milliseconds(0));
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].substr(0, asked.size()), asked.substr(0, asked.size() - 8) + "3 Bilder");
  EXPECT_EQ(told[1], "Limbrik Editor|Wiederhergestellt: 2 Bilder. 1 Bild war beschädigt und fehlt.");
  EXPECT_EQ(packedFrames(late), (std::vector{captured[0], captured[2]}));
  closeJournal(late.journal);
  Session refused;
  EXPECT_NE(startAnswering(refused, 7), "");
  EXPECT_EQ(refused.frames.count(), 0);
  EXPECT_FALSE(fs::exists(left));
  endJournal(refused);
  EXPECT_TRUE(names().empty());
}

// A file where the folder should be, or a link: the editor works on and says so once.
TEST_F(Recovery, WithoutAPlaceForTheJournalTheEditorSaysSoOnce) {
  const auto aFile = [this] { std::ofstream(folder / "state") << "a file"; };
  const auto aLink = [this] {
    fs::remove(folder / "state");
    fs::create_directories(folder / "elsewhere");
    fs::create_directory(folder / "state");
    fs::create_directory_symlink(folder / "elsewhere", journals);
  };
  const std::pair<std::function<void()>, std::string> places[] = {
      {aFile, "Ein Teil des Pfades ist kein Ordner."},
      {aLink, "An seiner Stelle liegt eine Verknüpfung, und ihr folgt der Editor nicht."}};
  for (const auto& [make, reason] : places) {
    Session started;
    make();
    startJournal(started);
    auto said = std::make_shared<std::string>();
    readMessage(said);
    warnOfJournalFailure(started);
    warnOfJournalFailure(started);
    EXPECT_EQ(*said, "Die aufgenommenen Bilder können nicht gegen einen Absturz gesichert werden.\nIm Ordner \"" +
                         journals.string() + "\" konnte keine Datei dafür geschrieben werden: " + reason +
                         "\nDer Editor arbeitet trotzdem weiter; speichern Sie die Bilderserie rechtzeitig.");
  }
  captureMany(1);
  EXPECT_EQ(session.frames.count(), 1);
}

// Captures taken back one by one with Strg+Z and redone: the series, its onion skin and the
// quit's question follow; redo brings the frames back byte for byte until a capture; the journal
// holds exactly the series all along, so that a killed editor's frames are the series'. In
// preview Strg+Z is the frame-rate box's own.
TEST_F(Recovery, CapturesTakenBackAndRedoneAreWhatTheJournalHolds) {
  startJournal(session);
  captureMany(3);
  session.seriesSaved = true;  // as after an export
  std::vector<std::string> captured = packedFrames(session);
  const fs::path journal = journals / names().at(0);
  const auto holds = [&](std::size_t frames) {
    std::uintmax_t size = journalHeaderSize;
    for (std::size_t i = 0; i < frames; ++i) size += 4 + captured[i].size();
    return fs::file_size(journal) == size;
  };
  const auto keys = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window(), key, modifiers);
    pass();
  };
  for (int left = 2; left >= 0; --left) {
    keys(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(std::pair(session.frames.count(), session.frames.index()), std::pair(left, left - 1));
    EXPECT_FALSE(session.seriesSaved);
    EXPECT_TRUE(holds(static_cast<std::size_t>(left))) << left;
  }
  EXPECT_TRUE(quitConfirmed(session)) << "an empty series quits without a question";
  keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  keys(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(packedFrames(session), std::vector(captured.begin(), captured.begin() + 2));
  EXPECT_TRUE(holds(2));
  session.figure[0].angle = 333;
  captureFrame(session);
  captured[2] = packedOf(session.frames.frames[2].image);
  keys(Qt::Key_Y, Qt::ControlModifier);  // nothing to redo after a capture
  EXPECT_EQ(session.frames.count(), 3);
  EXPECT_TRUE(menuItemGreyed(layout::menuBar, menu::redo));
  keys(Qt::Key_V, Qt::ControlModifier);
  auto* rate = static_cast<QLineEdit*>(control(layout::rateEdit));
  rate->setFocus();
  QTest::keyClicks(rate, "0");
  keys(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(std::pair(rate->text().toStdString(), session.frames.count()), std::pair(std::string("25"), 3));
  EXPECT_EQ(restoredAfterKilling(session), captured);
}

// A file-size limit stops the journal: the first capture after it is lifted writes the journal
// anew, and says that the frames are safe again; New empties it even while it fails. A crash then
// brings back exactly the series.
TEST_F(Recovery, AJournalThatFailedIsWrittenAnewOnceItCanBeAndNewAlwaysEmptiesIt) {
  startJournal(session);
  captureMany(2);
  const fs::path journal = journals / names().at(0);
  const auto limitTo = [](rlim_t bytes) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  };
  const auto message = [this] {
    auto said = std::make_shared<std::string>();
    readMessage(said);
    warnOfJournalFailure(session);
    return *said;
  };
  for (const bool byNew : {false, true}) {
    limitTo(fs::file_size(journal));
    captureMany(1);
    EXPECT_TRUE(message().starts_with("Die aufgenommenen Bilder können nicht gegen einen Absturz"));
    if (byNew) newSeries(session);
    limitTo(RLIM_INFINITY);
    session.figure[8].angle = 150 + 10 * byNew;
    captureFrame(session);
    EXPECT_EQ(message(), "Die aufgenommenen Bilder sind wieder gegen einen Absturz gesichert.");
  }
  EXPECT_EQ(session.frames.count(), 1);
  EXPECT_EQ(restoredAfterKilling(session), packedFrames(session));
}

std::string journalOf(const std::vector<std::string>& records, std::uint8_t version = 1) {
  std::string bytes = {'L', 'I', 'M', 'B', 'R', 'I', 'K', 'J', static_cast<char>(version), 0, 0, 0};
  for (const std::string& record : records) {
    const auto size = static_cast<std::uint32_t>(record.size());
    bytes += std::string{static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(size >> 16),
                         static_cast<char>(size >> 24)} + record;
  }
  return bytes;
}

std::string zstdFrame(std::size_t rasterBytes, bool checksum = true) {
  const std::string raster(rasterBytes, '\xff');
  std::string frame(ZSTD_compressBound(rasterBytes), '\0');
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, checksum);
  frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), raster.data(), raster.size()));
  ZSTD_freeCCtx(context);
  return frame;
}

// Three killed editors' journals: one question about the newest says that two more wait, and
// after its Nein one question discards them all.
TEST_F(Recovery, ManyKilledEditorsAreAskedAboutOnceAndAllCanBeDiscarded) {
  for (int i = 0; i < 3; ++i) {
    Session killed;
    startAnswering(killed, 2);
    killed.figure[0].angle = 100 + 20 * i;
    captureFrame(killed);
    closeJournal(killed.journal);
  }
  const std::vector<std::string> asked = startAnswering(session, {7, 6});
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].find(".\nAußerdem liegen noch 2 ältere Bilderserien vor, die nicht gesichert wurden.\n"),
            std::string::npos) << asked[0];
  EXPECT_EQ(asked[1], "Limbrik Editor|Sollen auch die 2 älteren Bilderserien verworfen werden, die nicht gesichert "
                      "wurden?\n\nJa verwirft sie alle, Nein fragt gleich nach der nächsten, Abbrechen fragt beim "
                      "nächsten Start wieder.");
  EXPECT_EQ(names().size(), 1u);  // the new series' own alone
}

// Empty journals go, unreadable ones are set aside once, for a user to look at, and anything
// else is left as it is; none of them is asked about.
TEST_F(Recovery, WhatHoldsNoFrameIsNeverAskedAbout) {
  fs::create_directories(journals);
  std::string altered = zstdFrame(480000);
  altered[altered.size() / 2] ^= 1;
  const std::map<std::string, std::string> unreadable = {
      {"frames-bound", journalOf({}) + "\xff\xff\xff\x7f"},
      {"frames-smaller", journalOf({zstdFrame(479999)})},
      {"frames-bomb", journalOf({zstdFrame(8u << 20)})},
      {"frames-unchecked", journalOf({zstdFrame(480000, false)})},
      {"frames-altered", journalOf({altered})},
  };
  for (const auto& [name, bytes] : unreadable) std::ofstream(journals / (name + ".journal"), std::ios::binary) << bytes;
  std::ofstream(journals / "frames-version.journal", std::ios::binary) << journalOf({zstdFrame(480000)}, 2);
  std::ofstream(journals / "frames-other.journal", std::ios::binary) << journalOf({zstdFrame(480000)});
  if (::geteuid() == 0) ::chown((journals / "frames-other.journal").c_str(), 65534, 65534);  // another user's, valid
  else fs::remove(journals / "frames-other.journal");
  fs::resize_file(journals / "frames-bound.journal", 1ull << 23);  // large, and all holes
  ::mkfifo((journals / "frames-fifo.journal").c_str(), 0600);
  fs::create_directory(journals / "frames-folder.journal");
  fs::create_symlink(journals / "frames-altered.journal", journals / "frames-link.journal");
  auto expected = folderState(journals);
  for (const auto& [name, bytes] : unreadable) expected[name + ".unreadable"] = expected.extract(name + ".journal").mapped();
  for (const char* empty : {"frames-empty1.journal", "frames-empty2.journal"})
    std::ofstream(journals / empty, std::ios::binary) << journalOf({});
  for (int start = 0; start < 2; ++start) {  // the second finds nothing to read
    Session started;
    EXPECT_EQ(startAnswering(started, 6), "");
    EXPECT_EQ(started.frames.count(), 0);
    endJournal(started);
    EXPECT_EQ(folderState(journals), expected);
  }
}

}  // namespace
