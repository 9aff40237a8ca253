// The export: every frame and its mirror, all files or none, and what the user is told.
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProgressDialog>
#include <QPushButton>
#include <csignal>
#include <cstdlib>
#include <map>

#include "raster_ops.h"
#include "support/editor_fixture.h"
#include "support/fuse_mount.h"

namespace {

using Export = EditorTest;

// Drops one capability from this thread's effective set while it lives (none for -1).
struct ThreadCapabilities {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved[_LINUX_CAPABILITY_U32S_3] = {};
  explicit ThreadCapabilities(int dropped) {
    if (dropped < 0 || ::syscall(SYS_capget, &header, saved) != 0) return;
    __user_cap_data_struct fewer[_LINUX_CAPABILITY_U32S_3] = {saved[0], saved[1]};
    fewer[0].effective &= ~(1u << dropped);
    ::syscall(SYS_capset, &header, fewer);
  }
  ~ThreadCapabilities() {
    if (saved[0].effective) ::syscall(SYS_capset, &header, saved);
  }
};

void writeOldExport(const fs::path& folder, const std::string& base, int frames) {
  for (int n = 0; n < frames; ++n)
    for (const char* side : {"l", "r"}) std::ofstream(folder / (base + std::to_string(n) + side + ".bmp")) << "old";
}

TEST_F(Export, WritesEveryFrameAndItsMirrorUnderThePlainBase) {
  EXPECT_EQ(exportSeries(session), ExportResult::NothingToSave);  // no dialog at all
  captureMany(11);
  chooseSavePath("");
  EXPECT_EQ(exportSeries(session), ExportResult::Cancelled);
  std::ofstream(folder / "walk.bmp3l.bmp") << "old";  // replaced without a question
  const std::size_t imagesBefore = liveImageCount();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const rlimit low{48, saved.rlim_max};  // three new files open at a time: the rest wait named and closed
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  chooseSavePath((folder / "walk.bmp").string());
  EXPECT_EQ(exportSeries(session), ExportResult::Completed);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_TRUE(session.seriesSaved);
  const auto written = folderState(folder);
  ASSERT_EQ(written.size(), 22u);
  for (int n = 0; n < 11; ++n)
    for (const char* side : {"l", "r"}) EXPECT_EQ(written.count("walk.bmp" + std::to_string(n) + side + ".bmp"), 1u);
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

// Each fails before any target is touched: the old export stays byte for byte, no new name
// appears, the frames stay unsaved, and the message says which file failed, why, and that
// nothing changed.
TEST_F(Export, AnExportThatCannotWriteEveryFileChangesNothing) {
  captureMany(12);
  const std::string tooLong(249, 'b');  // "…9r.bmp" still fits in 255 bytes, "…10l.bmp" no longer
  const struct {
    std::string base, firstFailed, reason;
    // What stands at the name `at`: a folder, a FIFO, a file, a link to `link`, an immutable
    // file '+'; or 's' a file-size limit below a file's size, 'i' a frame without an Image (a
    // failed capture), 't' a sticky folder of another user's files.
    char make;
    std::string at, link;
  } cases[] = {
      {"walk", "walk0l.bmp", "Dort liegt ein Ordner mit diesem Namen.", 'd', "walk0l.bmp", ""},
      {"walk", "walk5r.bmp", "Dort liegt eine benannte Pipe (FIFO) mit diesem Namen.", 'p', "walk5r.bmp", ""},
      {"walk", "walk11r.bmp", "Dort liegt eine benannte Pipe (FIFO)", 'l', "walk11r.bmp", "pipe"},  // the last name
      {"walk", "walk2r.bmp", "walk2l.bmp\", so dass eines der beiden Bilder verloren ginge.", 'l', "walk2l.bmp",
       "walk2r.bmp"},  // one file, two names
      {"walk", "walk3l.bmp", "zeigt auf eine Datei, die es nicht gibt.", 'l', "walk3l.bmp", "nowhere"},
      {tooLong, tooLong + "10l.bmp", "Der Name ist zu lang.", 0, "", ""},
      {"gone/walk", "gone/walk0l.bmp", "Der Ordner existiert nicht.", 0, "", ""},
      {"file/walk", "file/walk0l.bmp", "Ein Teil des Pfades ist kein Ordner.", 'f', "file", ""},
      {"loop/walk", "loop/walk0l.bmp", "Die Verknüpfungen dieses Namens führen im Kreis.", 'l', "loop", "loop"},
      {"walk", "walk0l.bmp", "größer, als die Dateigrößenbegrenzung dieses Programms erlaubt", 's', "", ""},
      {"walk", "walk7l.bmp", "Es war nicht genug Speicher frei.", 'i', "", ""},
      {"/proc/walk", "/proc/walk0l.bmp", "Das System meldet den Fehler Nr. 2.", 0, "", ""},  // a folder that makes no file
      {"walk", "walk4r.bmp", "gegen jede Änderung geschützt (chattr +i).", '+', "walk4r.bmp", ""},
      // A folder open to all whose files are their owners' alone, to one without the right to override.
      {"walk", "walk0l.bmp", "in diesem Ordner darf nur ihr Eigentümer sie ersetzen.", 't', "", ""},
  };
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  int caseNumber = 0;
  for (const auto& c : cases) {
    const fs::path here = folder / std::to_string(caseNumber++);
    fs::create_directory(here);
    writeOldExport(here, "walk", 12);
    ::mkfifo((here / "pipe").c_str(), 0644);
    if (!c.at.empty()) fs::remove(here / c.at);
    if (c.make == 'd') fs::create_directory(here / c.at);
    if (c.make == 'p') ::mkfifo((here / c.at).c_str(), 0644);
    if (c.make == 'f') std::ofstream(here / c.at) << "in the way";
    if (c.make == 'l') fs::create_symlink(c.link, here / c.at);
    if (std::string("+t").find(c.make) != std::string::npos && ::geteuid() != 0) continue;  // as root only
    const std::string protect = c.make == '+'   ? "echo old >" + (here / c.at).string() + " && chattr +i " + (here / c.at).string()
                                : c.make == 't' ? "chmod 1777 " + here.string() + " && chown -R 65534 " + here.string()
                                                : "true";
    ASSERT_EQ(std::system(protect.c_str()), 0);
    const ThreadCapabilities overrideOwner(c.make == 't' ? CAP_FOWNER : -1);
    ImageId image = 0;
    if (c.make == 'i') std::swap(image, session.frames.frames[7].image);
    const rlimit small{c.make == 's' ? 100000 : saved.rlim_cur, saved.rlim_max};  // each file fails past its headers
    const auto before = folderState(here);
    auto message = std::make_shared<std::string>();
    readMessage(message);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);  // SIGXFSZ would end this process
    const ExportResult result = exportSeriesTo(session, (here / c.base).string());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    if (c.make == '+') std::system(("chattr -i " + (here / c.at).string()).c_str());
    if (c.make == 'i') std::swap(image, session.frames.frames[7].image);
    EXPECT_EQ(result, ExportResult::Failed) << c.firstFailed;
    EXPECT_EQ(folderState(here), before) << c.firstFailed;
    EXPECT_NE(message->find('"' + (here / c.firstFailed).string() + '"'), std::string::npos) << *message;
    EXPECT_NE(message->find(c.reason), std::string::npos) << *message;
    EXPECT_NE(message->find("Es wurde keine Datei verändert."), std::string::npos) << *message;
  }
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_EQ(session.frames.count(), 12);
  StagedFile failed;
  for (const int error : {EMFILE, ENFILE}) {
    failed.error = error;
    EXPECT_EQ(failureReason(failed).find("Fehler Nr."), std::string::npos) << error;
  }
  FileBatch unflushed;  // a flush of a file system that failed is the folder's, not its first file's
  unflushed.folders.push_back({"/media/stick/", -1, 0, 0, true, EIO});
  unflushed.files.emplace_back().path = "/media/stick/walk0l.bmp";
  EXPECT_NE(exportFailureMessage(unflushed, false).find("Der Ordner \"/media/stick/\" konnte nicht auf den Datenträger "
                                                        "geschrieben werden: Der Datenträger meldet einen Fehler"),
            std::string::npos);
}

// A file system without unnamed files (ext2 through FUSE, as FAT on a memory stick is): the
// new files have temporary names from the start. On a full one they all go again, before the
// message asks anything of the user, and FUSE keeps none of them hidden.
TEST_F(Export, IsAllOrNothingOnAFullFileSystemWithoutUnnamedFiles) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting through FUSE needs root";
  const FuseMount fuse(folder, "2M");
  ASSERT_TRUE(fuse.mounted);
  const fs::path& mount = fuse.at;
  captureMany(3);  // six files of 480 054 bytes: more than two megabytes hold
  writeOldExport(mount, "walk", 3);
  const auto before = folderState(mount);
  const auto freeBefore = fs::space(mount).available;
  auto message = std::make_shared<std::string>();
  readMessage(message, [&] {  // FUSE frees a removed file's blocks when its server gets the release, a moment later
    for (int tries = 0; tries < 500 && fs::space(mount).available != freeBefore; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fs::space(mount).available, freeBefore) << "staged files kept while asking";
  });
  EXPECT_EQ(exportSeriesTo(session, (mount / "walk").string()), ExportResult::Failed);
  EXPECT_NE(message->find("Auf dem Datenträger ist kein Platz mehr frei."), std::string::npos) << *message;
  EXPECT_EQ(folderState(mount), before);
  session.frames.clear();
  captureMany(1);
  EXPECT_EQ(exportSeriesTo(session, (mount / "new").string()), ExportResult::Completed);
  for (const auto& [name, what] : folderState(mount))  // no temporary left
    EXPECT_TRUE(name == "lost+found" || name.rfind("walk", 0) == 0 || name.rfind("new", 0) == 0) << name;
  EXPECT_EQ(fs::file_size(mount / "new0r.bmp"), 480054u);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(mount / "new0l.bmp").permissions()), 0666 & ~mask) << "a new file";
}

// Something mounted at a target name fails only at its rename: the files before it are new.
TEST_F(Export, ARenameThatFailsSaysHowManyFilesWereReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  captureMany(3);
  writeOldExport(folder, "walk", 3);
  const std::string target = (folder / "walk1l.bmp").string();
  ASSERT_EQ(::mount((folder / "walk2r.bmp").c_str(), target.c_str(), nullptr, MS_BIND, nullptr), 0);
  const std::unique_ptr<const char, void (*)(const char*)> mounted(target.c_str(), [](const char* at) {
    ::umount2(at, MNT_DETACH);
  });
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Failed);
  EXPECT_NE(message->find("walk1l.bmp\" ist ein Fehler aufgetreten: Unter diesem Namen ist ein anderes Dateisystem "
                          "eingehängt.\n2 von 6 Dateien wurden ersetzt, die übrigen sind unverändert."),
            std::string::npos) << *message;
  EXPECT_EQ(fs::file_size(folder / "walk0r.bmp"), 480054u);
  EXPECT_FALSE(session.seriesSaved);
}

// A temporary is a killed export's when the process of this machine, namespace and boot that
// wrote it has ended, or when nobody has touched it for a day. Nothing else that looks like one
// is touched.
TEST_F(Export, TheNextExportRemovesOnlyTemporariesThatNoLiveExportCanOwn) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const auto hex = [](unsigned long value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", value & 0xFFFFFFFFul);
    return std::string(text);
  };
  const std::string own = temporaryName();  // .limbrik-<machine>-<boot>-<process>-<counter>.tmp
  const std::string machine = own.substr(9, 8), boot = own.substr(18, 8), gone = hex(ended);
  const std::string otherMachine = hex(~std::stoul(machine, nullptr, 16)), otherBoot = hex(~std::stoul(boot, nullptr, 16));
  const auto name = [](const std::string& m, const std::string& b, const std::string& pid, int n) {
    return ".limbrik-" + m + "-" + b + "-" + pid + "-0000000" + std::to_string(n) + ".tmp";
  };
  const std::vector<std::string> removed = {
      name(machine, boot, gone, 1), name(machine, boot, "00abcdef", 2),  // their processes have ended
      name(machine, otherBoot, gone, 3)};                                // untouched for more than a day
  const std::vector<std::string> kept = {
      name(machine, boot, hex(::getpid()), 4),  // an export still running
      name(otherMachine, boot, gone, 5),        // another machine's, in a shared folder
      name(machine, otherBoot, gone, 6),        // another boot's: a clone of this machine may be writing it
      name(machine, boot, "00ABCDEF", 2), name(machine, boot, "0xabcdef", 2),  // look-alikes
      name(machine, boot, " 0abcdef", 2), name(machine, boot, "+0abcdef", 2), name(machine, boot, gone, 1) + "~"};
  for (const std::string& n : removed) std::ofstream(folder / n) << "left by a killed export";
  for (const std::string& n : kept) std::ofstream(folder / n) << "not the sweep's";
  fs::last_write_time(folder / removed[2], fs::file_time_type::clock::now() - std::chrono::hours(25));
  fs::last_write_time(folder / kept[2], fs::file_time_type::clock::now() - std::chrono::hours(23));
  fs::create_symlink(kept[0], folder / name(machine, boot, gone, 7));
  if (::geteuid() == 0) {
    std::ofstream(folder / name(machine, boot, gone, 8)) << "another user's";
    ASSERT_EQ(::chown((folder / name(machine, boot, gone, 8)).c_str(), 65534, 65534), 0);
  }
  auto expected = folderState(folder);
  for (const std::string& n : removed) expected.erase(n);
  captureMany(1);
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Completed);
  auto after = folderState(folder);
  for (const char* written : {"walk0l.bmp", "walk0r.bmp"}) EXPECT_EQ(after.erase(written), 1u);
  EXPECT_EQ(after, expected);
}

// A disk that holds every call (its FUSE server stopped): Abbrechen leaves the window up, saying
// that the export stops, until the worker is back; then nothing has changed.
TEST_F(Export, ACancelWaitsForTheDiskAndChangesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting through FUSE needs root";
  const FuseMount fuse(folder, "8M");
  ASSERT_TRUE(fuse.mounted);
  captureMany(3);
  writeOldExport(fuse.at, "walk", 3);
  const auto before = folderState(fuse.at);
  std::string said;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* progress = window()->findChild<QProgressDialog*>();
    if (!progress || !progress->isVisible() || !said.empty()) return;
    progress->findChild<QPushButton*>()->click();  // once: then it is disabled
    if (progress->labelText().startsWith("Das Speichern wird abgebrochen")) said = progress->labelText().toStdString();
    if (!said.empty()) ::kill(fuse.server, SIGCONT);
  });
  watch.start(10);
  ::kill(fuse.server, SIGSTOP);
  EXPECT_EQ(exportSeriesTo(session, (fuse.at / "walk").string()), ExportResult::Cancelled);
  EXPECT_EQ(said, "Das Speichern wird abgebrochen …");
  EXPECT_EQ(folderState(fuse.at), before);
  EXPECT_FALSE(session.seriesSaved);
}

}  // namespace
