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

// The save question before New, quitting and the session's end: each answer, and Ja with a
// cancelled dialog, a failed export and a complete one. Only a complete save or Nein goes on.
TEST_F(Commands, TheSaveQuestionGuardsNewQuitAndTheSessionsEndAlike) {
  enum Command { New, Quit, SessionEnd };
  const auto goesOn = [this](Command command) {
    switch (command) {
      case New:
        newCommand(session);
        return session.frames.count() == 0;
      case Quit:
        app.quitRequested = true;
        confirmQuit(app);
        return app.quitRequested;
      default: return sessionMayEnd(app);
    }
  };
  const struct {
    int answer;
    const char* base;  // the path chosen after Ja: empty for a cancelled dialog, in a missing folder to fail
    bool goesOn;
  } rows[] = {{2, nullptr, false}, {7, nullptr, true}, {6, "", false}, {6, "gone/walk", false}, {6, "walk", true}};
  for (const Command command : {New, Quit, SessionEnd}) {
    EXPECT_TRUE(goesOn(command)) << command << ": nothing to lose, nothing asked";
    for (const auto& row : rows) {
      captureMany(2);
      pressAnswer(row.answer);
      auto message = std::make_shared<std::string>();
      if (row.base) chooseSavePath(*row.base ? (folder / (std::to_string(command) + row.base)).string() : "");
      if (row.base && std::string(row.base) == "gone/walk") readMessage(message);
      EXPECT_EQ(goesOn(command), row.goesOn) << command << ", answer " << row.answer << " " << (row.base ? row.base : "");
      EXPECT_EQ(session.frames.count() == 0, command == New && row.goesOn) << command << ", answer " << row.answer;
      session.frames.clear();
    }
  }
  EXPECT_EQ(liveImageCount(), 0u) << "the frames' Images are released";
  for (const char* written : {"0walk1r.bmp", "1walk1r.bmp", "2walk1r.bmp"}) EXPECT_TRUE(fs::exists(folder / written));
  // The session's end that comes while an export writes, as the manager's request comes, from
  // inside the export's wait: answered once the export is over, which leaves nothing to ask.
  captureMany(2);
  bool endedInside = false;
  QMetaObject::invokeMethod(qApp, [&] { endedInside = window()->findChild<QProgressDialog*>() && sessionMayEnd(app); },
                            Qt::QueuedConnection);
  EXPECT_EQ(exportSeriesTo(session, (folder / "end").string()), ExportResult::Completed);
  EXPECT_TRUE(endedInside);
}

TEST_F(Commands, NewReturnsToTheInitialPoseInEditMode) {
  enterPreview(session);
  captureMany(2);
  session.seriesSaved = true;  // nothing to lose: New asks nothing and starts anew
  session.figure[4].angle = 90;
  newCommand(session);
  EXPECT_EQ(session.figure[4].angle, 175);
  EXPECT_EQ(seen(), "edit, frame -1 of 0, button 0, trackbar 0 of 0, 400 high");
}

}  // namespace
