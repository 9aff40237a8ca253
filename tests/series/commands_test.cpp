#include <cstring>

#include "support/editor_fixture.h"

namespace {

class Commands : public EditorTest {};

TEST_F(Commands, CaptureLandsAtTheEndWhateverFrameIsCurrentAndHoldsThePoseAlone) {
  captureMany(3);
  session.seriesSaved = true;
  session.frames.select(0);
  captureFrame(session);
  EXPECT_EQ(seen(), "edit, frame 3 of 4, button 0, trackbar 0 of 10, 400 high");
  EXPECT_FALSE(session.seriesSaved);
  const ImageId alone = createImage(400, 400);  // the pose without handles or onion skin
  renderFigure(session.figure, {[](std::intptr_t id) { return imageOutput(id); }, alone}, false, 0);
  EXPECT_EQ(std::memcmp(lookupImage(alone)->pixels.get(), lookupImage(session.frames.frames[3].image)->pixels.get(),
                        480000), 0);
}

TEST_F(Commands, NewFollowsTheAnswerAndReturnsToEditMode) {
  enterPreview(session);
  session.figure[4].angle = 90;
  newCommand(session);  // no question: nothing to lose
  EXPECT_EQ(session.figure[4].angle, 175);
  EXPECT_EQ(seen(), "edit, frame -1 of 0, button 0, trackbar 0 of 0, 400 high");
  captureMany(2);
  session.figure[4].angle = 90;
  pressAnswer(2);
  newCommand(session);
  pressAnswer(6);
  chooseSavePath("");  // Yes, but the file dialog is cancelled: the frames stay
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 2);
  EXPECT_EQ(session.figure[4].angle, 90);
  pressAnswer(7);
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 0);
  EXPECT_EQ(liveImageCount(), 0u) << "the frames' Images are released";
  EXPECT_EQ(session.figure[4].angle, 175);
  EXPECT_TRUE(fs::is_empty(folder));
  captureMany(2);
  pressAnswer(6);
  chooseSavePath((folder / "walk").string());
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 4);
  captureMany(1);
  chooseSavePath((folder / "run").string());
  ASSERT_EQ(exportSeries(session), ExportResult::Completed);
  newCommand(session);  // saved: no question, and the frames go
  EXPECT_EQ(session.frames.count(), 0);
}

}  // namespace
