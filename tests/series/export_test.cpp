#include <sys/resource.h>

#include <QProgressDialog>
#include <csignal>

#include "support/editor_fixture.h"

namespace {

class Export : public EditorTest {};

TEST_F(Export, WritesEveryFrameAndItsMirrorInOrderUnderThePlainBase) {
  captureMany(11);
  std::ofstream(folder / "walk.bmp3l.bmp") << "old";  // replaced without a question
  const std::size_t imagesBefore = liveImageCount();
  chooseSavePath((folder / "walk.bmp").string());
  EXPECT_EQ(exportSeries(session), ExportResult::Completed);
  EXPECT_TRUE(session.seriesSaved);
  std::vector<std::string> expected;
  for (int n = 0; n < 11; ++n)
    for (const char* side : {"l", "r"}) expected.push_back("walk.bmp" + std::to_string(n) + side + ".bmp");
  EXPECT_EQ(filesByAge(), expected);
  EXPECT_EQ(liveImageCount(), imagesBefore);  // the mirrored copies are released
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

TEST_F(Export, NothingHappensWithoutFramesOrAPath) {
  EXPECT_EQ(exportSeries(session), ExportResult::NothingToSave);  // no dialog at all
  captureMany(1);
  chooseSavePath("");
  EXPECT_EQ(exportSeries(session), ExportResult::Cancelled);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(Export, AFrameWithoutImageKeepsItsNumberAndTheSeriesUnsaved) {
  captureMany(1);
  session.frames.last();
  session.frames.append();  // as a capture that got no Image
  captureMany(1);
  chooseSavePath((folder / "walk").string());
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_EQ(exportSeries(session), ExportResult::Failed);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_TRUE(fs::exists(folder / "walk2l.bmp"));
  EXPECT_FALSE(fs::exists(folder / "walk1l.bmp"));
  EXPECT_NE(message->find((folder / "walk1l.bmp").string()), std::string::npos);
  EXPECT_NE(message->find("nicht vollständig gespeichert"), std::string::npos);
  EXPECT_EQ(session.frames.count(), 3);
}

TEST_F(Export, TheMessageNamesTheFirstFailedFileAndWhy) {
  captureMany(2);
  std::ofstream(folder / "file") << "in the way";
  fs::create_directory(folder / "walk1r.bmp");
  fs::create_symlink("loop", folder / "loop");
  const std::string tooLong(250, 'b');
  std::string tooLongFirst = tooLong;
  tooLongFirst += "0l.bmp";
  const struct {
    std::string base, firstFailed, reason;
  } cases[] = {
      {"gone/walk", "gone/walk0l.bmp", "Der Ordner existiert nicht."},
      {"walk", "walk1r.bmp", "Dort liegt ein Ordner mit diesem Namen."},
      {"file/walk", "file/walk0l.bmp", "Ein Teil des Pfades ist kein Ordner."},
      {"loop/walk", "loop/walk0l.bmp", "Die Verknüpfungen dieses Namens führen im Kreis."},
      {tooLong, tooLongFirst, "Der Name ist zu lang."},
  };
  for (const auto& c : cases) {
    auto message = std::make_shared<std::string>();
    readMessage(message);
    EXPECT_EQ(exportSeriesTo(session, (folder / c.base).string()), ExportResult::Failed) << c.base;
    EXPECT_FALSE(session.seriesSaved);
    EXPECT_NE(message->find((folder / c.firstFailed).string() += '"'), std::string::npos) << *message;
    EXPECT_NE(message->find(c.reason), std::string::npos) << *message;
  }
  EXPECT_TRUE(fs::exists(folder / "walk1l.bmp"));  // the files that could be written are
  for (const int cause : {EACCES, ENOSPC, EROFS}) EXPECT_EQ(failureReason(cause).find("Nr."), std::string::npos);
  EXPECT_EQ(failureReason(EIO), "Das System meldet den Fehler Nr. 5.");
}

TEST_F(Export, AnExportThatFailsPartwayKeepsTheOldFilesAndLeavesNothingNew) {
  captureMany(3);
  std::ofstream(folder / "walk1l.bmp") << "old";
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;  // every pixel block is larger: each file fails after its headers
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  auto message = std::make_shared<std::string>();
  readMessage(message);
  const ExportResult result = exportSeriesTo(session, (folder / "walk").string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, ExportResult::Failed);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_EQ(filesByAge(), std::vector<std::string>{"walk1l.bmp"});
  EXPECT_EQ(fileBytes(folder / "walk1l.bmp").size(), 3u);
  EXPECT_EQ(session.frames.count(), 3);
}

TEST_F(Export, CancellingTheProgressWindowKeepsTheOldFilesAndTheFrames) {
  captureMany(40);
  std::ofstream(folder / "walk0l.bmp") << "old";
  // A slow disk, as the user sees it: the first step takes longer than the window's delay.
  QTimer::singleShot(0, qApp, [] { QTest::qSleep(600); });
  std::string text;
  answerNextDialog([&text](QWidget* modal) {
    auto* progress = qobject_cast<QProgressDialog*>(modal);
    ASSERT_NE(progress, nullptr);
    text = progress->labelText().toStdString();
    EXPECT_GE(progress->width(), 320) << "room for the longest text";
    EXPECT_EQ(progress->windowTitle(), "Limbrik Editor");
    progress->cancel();
  });
  EXPECT_EQ(exportSeriesTo(session, (folder / "walk").string()), ExportResult::Cancelled);
  EXPECT_EQ(text.rfind("Bild ", 0), 0u);
  EXPECT_NE(text.find(" von 40 wird gespeichert …"), std::string::npos);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_EQ(session.frames.count(), 40);
  EXPECT_EQ(filesByAge(), std::vector<std::string>{"walk0l.bmp"});
  EXPECT_EQ(fileBytes(folder / "walk0l.bmp").size(), 3u);
}

}  // namespace
