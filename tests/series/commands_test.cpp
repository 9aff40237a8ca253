#include "support/editor_fixture.h"

namespace {

class Commands : public EditorTest {};

TEST_F(Commands, CaptureLandsAtTheEndWithoutHandlesOrOnionSkin) {
  captureMany(3);
  ASSERT_EQ(session.frames.count(), 3);
  session.frames.select(0);
  captureFrame(session);
  ASSERT_EQ(session.frames.count(), 4);
  EXPECT_EQ(session.frames.index(), 3);
  for (const Frame& frame : session.frames.frames) {
    ASSERT_NE(frame.image, 0);
    EXPECT_EQ(pixelOf(frame.image, 0, 0), 0xFFFFFFu);  // no onion skin of the frames before
    EXPECT_EQ(pixelOf(frame.image, 196, 31), 0xFFFFFFu);  // the head's handle would be green here
  }
  EXPECT_EQ(pixelOf(session.frames.frames[3].image, 200, 200), 0x303038u);
  EXPECT_EQ(pixelOf(session.frames.frames[0].image, 229, 105), 0x303030u);  // the first arm, posed at 100 degrees
  EXPECT_EQ(pixelOf(session.frames.frames[2].image, 229, 105), 0xFFFFFFu);  // and at 140
  EXPECT_FALSE(session.seriesSaved);
}

TEST_F(Commands, NewWithoutFramesResetsAndReturnsToEditMode) {
  enterPreview(session);
  EXPECT_EQ(innerHeight(), 455);
  session.figure[4].angle = 90;
  newCommand(session);  // no question: nothing to lose
  EXPECT_EQ(session.figure[4].angle, 175);
  EXPECT_FALSE(session.previewMode);
  EXPECT_EQ(innerHeight(), 400);
  EXPECT_EQ(getMenuItemChecked(layout::menuBar, menu::preview), 0);
  EXPECT_FALSE(menuItemGreyed(layout::menuBar, menu::capture));
}

TEST_F(Commands, NewWithUnsavedFramesFollowsTheAnswer) {
  captureMany(2);
  session.figure[4].angle = 90;
  pressAnswer(2);
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 2);
  EXPECT_EQ(session.figure[4].angle, 90);

  pressAnswer(6);
  chooseSavePath("");  // Yes, but the file dialog is cancelled: the frames stay
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 2);
  EXPECT_TRUE(fs::is_empty(folder));

  pressAnswer(7);
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 0);
  EXPECT_EQ(session.figure[4].angle, 175);
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(Commands, NewAfterACompletedExportClearsWithoutAsking) {
  captureMany(2);
  pressAnswer(6);
  chooseSavePath((folder / "walk").string());
  newCommand(session);
  EXPECT_EQ(session.frames.count(), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 4);
  EXPECT_TRUE(session.seriesSaved);

  captureMany(1);
  chooseSavePath((folder / "run").string());
  EXPECT_EQ(exportSeries(session), ExportResult::Completed);
  newCommand(session);  // saved: no question, and the frames go
  EXPECT_EQ(session.frames.count(), 0);
}

TEST_F(Commands, QuitConfirmationFollowsTheAnswer) {
  EXPECT_TRUE(quitConfirmed(session));  // no frames: no question
  captureMany(1);
  pressAnswer(2);
  EXPECT_FALSE(quitConfirmed(session));
  pressAnswer(7);
  EXPECT_TRUE(quitConfirmed(session));
  pressAnswer(6);
  chooseSavePath("");
  EXPECT_FALSE(quitConfirmed(session));  // the export did not happen: the frames are kept
  pressAnswer(6);
  chooseSavePath((folder / "missing" / "walk").string());
  auto message = std::make_shared<std::string>();
  readMessage(message);
  EXPECT_FALSE(quitConfirmed(session));  // nor when it failed
  pressAnswer(6);
  chooseSavePath((folder / "walk").string());
  EXPECT_TRUE(quitConfirmed(session));
  EXPECT_TRUE(fs::exists(folder / "walk0r.bmp"));
  EXPECT_TRUE(quitConfirmed(session));  // saved: ends without a question
  captureFrame(session);
  pressAnswer(2);
  EXPECT_FALSE(quitConfirmed(session));  // one more capture asks again
}

TEST_F(Commands, TheQuestionSpeaksGerman) {
  captureMany(1);
  QString title, text;
  answerNextDialog([&](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    title = box->windowTitle();
    text = box->text();
    box->button(QMessageBox::Cancel)->click();
  });
  EXPECT_EQ(askToSave(session), 2);
  EXPECT_EQ(title.toStdString(), "Limbrik Editor");
  EXPECT_EQ(text.toStdString(), "Möchten Sie die erstellte Bilderserie speichern?");
  session.seriesSaved = true;
  EXPECT_EQ(askToSave(session), 0);
}

}  // namespace
