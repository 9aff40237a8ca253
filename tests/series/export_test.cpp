// The export: every frame and its mirror, all files or none, and what the user is told.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProgressDialog>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>

#include "support/editor_fixture.h"

namespace {

using Export = EditorTest;

// What an export finds in a folder: each name with its size and digest, or what else stands there.
std::map<std::string, std::string> folderState(const fs::path& folder) {
  std::map<std::string, std::string> state;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::path& path = entry.path();
    std::string& what = state[path.filename()];
    if (fs::is_symlink(path)) what = "link to " + fs::read_symlink(path).string();
    else if (!fs::is_regular_file(path)) what = fs::is_fifo(path) ? "fifo" : "folder";
    else {
      const auto bytes = fileBytes(path);
      what = std::to_string(bytes.size()) + " bytes, digest " + std::to_string(fnv1a(bytes.data(), bytes.size()));
    }
  }
  return state;
}

void writeOldExport(const fs::path& folder, const std::string& base, int frames) {
  for (int n = 0; n < frames; ++n)
    for (const char* side : {"l", "r"}) std::ofstream(folder / (base + std::to_string(n) + side + ".bmp")) << "old";
}

TEST_F(Export, WritesEveryFrameAndItsMirrorInOrderUnderThePlainBase) {
  EXPECT_EQ(exportSeries(session), ExportResult::NothingToSave);  // no dialog at all
  captureMany(11);
  chooseSavePath("");
  EXPECT_EQ(exportSeries(session), ExportResult::Cancelled);
  std::ofstream(folder / "walk.bmp3l.bmp") << "old";  // replaced without a question
  const std::size_t imagesBefore = liveImageCount();
  chooseSavePath((folder / "walk.bmp").string());
  EXPECT_EQ(exportSeries(session), ExportResult::Completed);
  EXPECT_TRUE(session.seriesSaved);
  std::vector<std::pair<fs::file_time_type, std::string>> written;
  for (const auto& entry : fs::directory_iterator(folder)) written.push_back({entry.last_write_time(), entry.path().filename()});
  std::sort(written.begin(), written.end());
  ASSERT_EQ(written.size(), 22u);
  for (std::size_t i = 0; i < written.size(); ++i)
    EXPECT_EQ(written[i].second, "walk.bmp" + std::to_string(i / 2) + (i % 2 ? "r" : "l") + ".bmp");
  EXPECT_EQ(liveImageCount(), imagesBefore);  // the mirror Image is released
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(folder / "walk.bmp0r.bmp").permissions()), 0666 & ~mask) << "a new file";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy pointer is gone
  const auto left = fileBytes(folder / "walk.bmp10l.bmp"), right = fileBytes(folder / "walk.bmp10r.bmp");
  ASSERT_EQ(std::make_pair(left.size(), right.size()), std::make_pair(std::size_t{480054}, std::size_t{480054}));
  const std::uint8_t header[] = {'B', 'M', 0x36, 0x53, 7, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0x90, 1, 0, 0,
                                 0x90, 1, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 0x00, 0x53, 7, 0};  // 480054 bytes, 400 x 400
  EXPECT_TRUE(std::equal(std::begin(header), std::end(header), left.begin()));
  EXPECT_TRUE(std::equal(left.begin(), left.begin() + 54, right.begin()));
  for (int at = 54; at < 480054; ++at) {  // pixel x of a row is pixel 399 - x of the mirror's, bytes in order
    const int x = (at - 54) % 1200 / 3;
    ASSERT_EQ(left[at], right[at + (399 - 2 * x) * 3]) << at;
  }
  EXPECT_NE(left, right);
}

struct FailedExport {
  std::string base, firstFailed, reason;
  std::function<void(const fs::path&)> prepare;
};

// Each fails before any target is touched: the old export stays byte for byte, no new name
// appears, the frames stay unsaved, and the message says which file failed, why, and that
// nothing changed.
TEST_F(Export, AnExportThatCannotWriteEveryFileChangesNothing) {
  captureMany(12);
  const std::string tooLong(249, 'b');  // "…9r.bmp" still fits in 255 bytes, "…10l.bmp" no longer
  const auto replace = [](const fs::path& name, const std::function<void()>& make) { fs::remove(name), make(); };
  const FailedExport cases[] = {
      {"walk", "walk0l.bmp", "Dort liegt ein Ordner mit diesem Namen.",
       [&](const fs::path& f) { replace(f / "walk0l.bmp", [f] { fs::create_directory(f / "walk0l.bmp"); }); }},
      {"walk", "walk5r.bmp", "Dort liegt eine benannte Pipe (FIFO) mit diesem Namen.",
       [&](const fs::path& f) { replace(f / "walk5r.bmp", [f] { ::mkfifo((f / "walk5r.bmp").c_str(), 0644); }); }},
      {"walk", "walk11r.bmp", "Dort liegt eine benannte Pipe (FIFO)",  // through a link, at the last name
       [&](const fs::path& f) {
         ::mkfifo((f / "pipe").c_str(), 0644);
         replace(f / "walk11r.bmp", [f] { fs::create_symlink("pipe", f / "walk11r.bmp"); });
       }},
      {"walk", "walk3l.bmp", "zeigt auf eine Datei, die es nicht gibt.",
       [&](const fs::path& f) { replace(f / "walk3l.bmp", [f] { fs::create_symlink("nowhere", f / "walk3l.bmp"); }); }},
      {tooLong, tooLong + "10l.bmp", "Der Name ist zu lang.", [&](const fs::path& f) { writeOldExport(f, tooLong, 10); }},
      {"gone/walk", "gone/walk0l.bmp", "Der Ordner existiert nicht.", [](const fs::path&) {}},
      {"file/walk", "file/walk0l.bmp", "Ein Teil des Pfades ist kein Ordner.",
       [](const fs::path& f) { std::ofstream(f / "file") << "in the way"; }},
      {"loop/walk", "loop/walk0l.bmp", "Die Verknüpfungen dieses Namens führen im Kreis.",
       [](const fs::path& f) { fs::create_symlink("loop", f / "loop"); }},
  };
  int caseNumber = 0;
  for (const FailedExport& c : cases) {
    const fs::path here = folder / std::to_string(caseNumber++);
    fs::create_directory(here);
    writeOldExport(here, "walk", 12);
    c.prepare(here);
    const auto before = folderState(here);
    auto message = std::make_shared<std::string>();
    readMessage(message);
    EXPECT_EQ(exportSeriesTo(session, (here / c.base).string()), ExportResult::Failed) << c.firstFailed;
    EXPECT_EQ(folderState(here), before) << c.firstFailed;
    std::string named(1, '"');  // the whole name, in quotes
    named.append((here / c.firstFailed).string()).push_back('"');
    EXPECT_NE(message->find(named), std::string::npos) << *message;
    EXPECT_NE(message->find(c.reason), std::string::npos) << *message;
    EXPECT_NE(message->find("Es wurde keine Datei verändert."), std::string::npos) << *message;
  }
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_EQ(session.frames.count(), 12);
  EXPECT_EQ(failureReason(EIO), "Das System meldet den Fehler Nr. 5.");
}

TEST_F(Export, AFileTooLargeForItsLimitOrAFrameWithoutImageChangesNothing) {
  captureMany(1);
  session.frames.append();  // as a capture that got no Image
  captureMany(1);
  writeOldExport(folder, "walk", 3);
  const auto before = folderState(folder);
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Failed);
  EXPECT_NE(message->find("walk1l.bmp\" konnte nicht geschrieben werden: Es war nicht genug Speicher frei."),
            std::string::npos) << *message;
  session.frames.clear();
  captureMany(3);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;  // every pixel block is larger: each file fails after its headers
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  readMessage(message);
  const ExportResult result = exportSeriesTo(session, (folder / "walk").string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, ExportResult::Failed);
  EXPECT_NE(message->find("Die Datei ist zu groß für das Dateisystem."), std::string::npos) << *message;
  EXPECT_EQ(folderState(folder), before);
  EXPECT_FALSE(session.seriesSaved);
}

// A file system without unnamed files (ext2 through FUSE, as FAT on a memory stick is): the
// new files have temporary names from the start, and they go or stay all together.
TEST_F(Export, IsAllOrNothingWhereTheFileSystemHasNoUnnamedFiles) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting through FUSE needs root";
  const fs::path image = folder / "fs.img", mount = folder / "mount";
  fs::create_directory(mount);
  ASSERT_EQ(std::system(("mke2fs -q -t ext2 -F " + image.string() + " 16M && fuse2fs " + image.string() + " " +
                         mount.string() + " -o fakeroot,hard_remove").c_str()), 0);
  const std::unique_ptr<const char, void (*)(const char*)> mounted(mount.c_str(), [](const char* at) {
    ::umount2(at, MNT_DETACH);  // before the folder goes, whatever failed
  });
  captureMany(3);
  writeOldExport(mount, "walk", 3);
  fs::remove(mount / "walk2r.bmp");
  ::mkfifo((mount / "walk2r.bmp").c_str(), 0644);
  const auto before = folderState(mount);
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_EQ(exportSeriesTo(session, (mount / "walk").string()), ExportResult::Failed);
  EXPECT_EQ(folderState(mount), before);  // no temporary left either
  fs::remove(mount / "walk2r.bmp");
  EXPECT_EQ(exportSeriesTo(session, (mount / "walk").string()), ExportResult::Completed);
  for (const auto& [name, what] : folderState(mount))
    EXPECT_TRUE(name == "lost+found" || (name.rfind("walk", 0) == 0 && what.rfind("480054 bytes", 0) == 0)) << name;
}

// A temporary whose name carries the id of a process that has ended is a killed export's.
TEST_F(Export, TheNextExportRemovesTemporariesOfEndedProcessesOnly) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const auto temporaryOf = [](pid_t pid) {
    char name[40];
    std::snprintf(name, sizeof name, ".limbrik-%08x-0000002a.tmp", static_cast<unsigned>(pid));
    return std::string(name);
  };
  std::ofstream(folder / temporaryOf(ended)) << "left by a killed export";
  std::ofstream(folder / temporaryOf(::getpid())) << "an export still running";
  captureMany(1);
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Completed);
  EXPECT_EQ(folderState(folder).size(), 3u);
  EXPECT_TRUE(fs::exists(folder / temporaryOf(::getpid())));
}

// Under a low open-file limit the export puts most of its new files aside, named and closed.
TEST_F(Export, ACancelKeepsTheOldFilesAndTheFramesWhateverTheOpenFileLimit) {
  captureMany(40);
  writeOldExport(folder, "walk", 40);
  const auto before = folderState(folder);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 48;  // three new files open at a time
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  // A slow disk, as the user sees it: a step takes longer than the window's delay.
  QTimer::singleShot(0, qApp, [] { QTest::qSleep(600); });
  std::string text;
  answerNextDialog([&text](QWidget* modal) {
    auto* progress = qobject_cast<QProgressDialog*>(modal);
    ASSERT_NE(progress, nullptr);
    text = (progress->windowTitle() + " " + progress->labelText()).toStdString();
    EXPECT_GE(progress->width(), 320) << "room for the longest text";
    progress->cancel();
  });
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Cancelled);
  EXPECT_EQ(text.rfind("Limbrik Editor Bild ", 0), 0u) << text;
  EXPECT_NE(text.find(" von 40 wird gespeichert …"), std::string::npos);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_EQ(folderState(folder), before);
  const ExportResult again = exportSeriesTo(session, (folder / "walk").string());  // under the same limit
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(again, ExportResult::Completed);
  const auto after = folderState(folder);
  EXPECT_EQ(after.size(), 80u);  // no temporary left
  for (const auto& [name, what] : after) EXPECT_EQ(what.rfind("480054 bytes", 0), 0u) << name;
}

}  // namespace
