#include <sys/resource.h>

#include <csignal>

#include "support/editor_fixture.h"

namespace {

class Export : public EditorTest {};

TEST_F(Export, WritesEachFrameAndItsMirrorInOrder) {
  captureMany(3);
  const std::size_t imagesBefore = liveImageCount();
  chooseSavePath((folder / "walk").string());
  EXPECT_EQ(exportSeries(session), ExportResult::Completed);
  EXPECT_TRUE(session.seriesSaved);
  EXPECT_EQ(filesByAge(), (std::vector<std::string>{"walk0l.bmp", "walk0r.bmp", "walk1l.bmp", "walk1r.bmp",
                                                     "walk2l.bmp", "walk2r.bmp"}));
  EXPECT_EQ(session.frames.index(), 2);
  EXPECT_EQ(liveImageCount(), imagesBefore);  // the mirrored copies are released
  for (int n = 0; n < 3; ++n) {
    const auto left = bytes(folder / ("walk" + std::to_string(n) + "l.bmp"));
    const auto right = bytes(folder / ("walk" + std::to_string(n) + "r.bmp"));
    ASSERT_EQ(left.size(), 480054u);
    ASSERT_EQ(right.size(), 480054u);
    EXPECT_TRUE(std::equal(left.begin(), left.begin() + 54, right.begin()));
    for (int row = 0; row < 400; ++row)
      for (int x = 0; x < 400; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(left[54 + row * 1200 + x * 3 + c], right[54 + row * 1200 + (399 - x) * 3 + c]);
    EXPECT_NE(left, right);
  }
}

TEST_F(Export, NumbersHaveNoLeadingZerosAndTheBaseIsAPlainPrefix) {
  captureMany(12);
  chooseSavePath((folder / "walk.bmp").string());
  ASSERT_EQ(exportSeries(session), ExportResult::Completed);
  EXPECT_TRUE(fs::exists(folder / "walk.bmp0l.bmp"));
  EXPECT_TRUE(fs::exists(folder / "walk.bmp11r.bmp"));
  EXPECT_FALSE(fs::exists(folder / "walk.bmp01l.bmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 24);

  std::ofstream(folder / "walk.bmp3l.bmp") << "old";
  chooseSavePath((folder / "walk.bmp").string());  // again over the same files, without a question
  ASSERT_EQ(exportSeries(session), ExportResult::Completed);
  EXPECT_EQ(fs::file_size(folder / "walk.bmp3l.bmp"), 480054u);
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

TEST_F(Export, AMissingFolderIsReportedAndNothingIsMarkedSaved) {
  captureMany(2);
  chooseSavePath((folder / "gone" / "walk").string());
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_EQ(exportSeries(session), ExportResult::Failed);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_NE(message->find("gone/walk0l.bmp"), std::string::npos);
}

TEST_F(Export, AnExportThatFailsPartwayLeavesNoPartialFile) {
  captureMany(3);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;  // every pixel block is larger: each file fails after its headers
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  chooseSavePath((folder / "walk").string());
  auto message = std::make_shared<std::string>();
  readMessage(message);
  const ExportResult result = exportSeries(session);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, ExportResult::Failed);
  EXPECT_FALSE(session.seriesSaved);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(session.frames.count(), 3);
}

TEST_F(Export, TheMirrorIsThePerPixelFlip) {
  const ImageId source = createImage(AutoId, 400, 400);
  ASSERT_NE(beginDrawing(imageOutput(source)), 0);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) plot(x, y, static_cast<Color>((x * 7919u + y * 104729u) & 0xFFFFFF));
  endDrawing();
  const ImageId mirrored = mirrorImage(source);
  ASSERT_NE(mirrored, 0);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) ASSERT_EQ(pixelOf(mirrored, x, y), pixelOf(source, 399 - x, y)) << x << "," << y;

  const ImageId small = createImage(AutoId, 10, 10);  // read as the 400 x 400 area: black beyond it
  ASSERT_NE(beginDrawing(imageOutput(small)), 0);
  fillRectangle(0, 0, 10, 10, 0xFFFFFF);
  endDrawing();
  const ImageId flipped = mirrorImage(small);
  EXPECT_EQ(pixelOf(flipped, 399, 0), 0xFFFFFFu);
  EXPECT_EQ(pixelOf(flipped, 389, 0), 0u);
  EXPECT_EQ(mirrorImage(0), 0);
}

}  // namespace
