#include <QLineEdit>
#include <QSlider>

#include "support/editor_fixture.h"

namespace {

std::uint32_t now = 0;
std::uint32_t testTick() { return now; }

class Preview : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    now = 0;
  }
  void setRate(const std::string& text) {
    static_cast<QLineEdit*>(controlWidget(layout::rateEdit))->setText(QString::fromStdString(text));
  }
  void step() { previewStep(session, testTick); }
  // Advances the clock by ms and takes one step; the position after it.
  int after(std::uint32_t ms) {
    now += ms;
    step();
    return session.frames.index();
  }
  void play() {
    setControlState(layout::playButton, 1);
    playButtonCommand(session);
  }
};

TEST_F(Preview, EnteringShowsTheFirstFramePausedAndLeavingRestores) {
  captureMany(3);
  setControlState(layout::playButton, 1);
  enterPreview(session);
  EXPECT_TRUE(session.previewMode);
  EXPECT_FALSE(session.playing);
  EXPECT_EQ(getControlState(layout::playButton), 0);  // released, as playback is
  EXPECT_EQ(session.frames.index(), 0);
  EXPECT_EQ(getControlState(layout::trackbar), 0);
  EXPECT_EQ(static_cast<QSlider*>(controlWidget(layout::trackbar))->maximum(), 2);
  EXPECT_EQ(getMenuItemChecked(layout::menuBar, menu::preview), 1);
  togglePreview(session);
  EXPECT_FALSE(session.previewMode);
  EXPECT_FALSE(menuItemGreyed(layout::menuBar, menu::capture));
}

TEST_F(Preview, PlaybackFollowsTheRateAndWraps) {
  captureMany(3);
  enterPreview(session);
  play();
  EXPECT_TRUE(session.playing);
  EXPECT_EQ(after(41), 1);  // 25 per second: more than 40 ms apart
  EXPECT_EQ(after(40), 1);
  EXPECT_EQ(after(1), 2);
  EXPECT_EQ(getControlState(layout::trackbar), 2);
  EXPECT_EQ(after(41), 0);
  setRate("  12fps");
  EXPECT_EQ(after(83), 0);
  EXPECT_EQ(after(1), 1);
  setRate("1001");  // delay 0: whenever the tick moved on
  EXPECT_EQ(after(0), 1);
  EXPECT_EQ(after(1), 2);
  setRate("-5");  // a negative delay: every step
  EXPECT_EQ(after(0), 0);
  EXPECT_EQ(after(0), 1);
  setRate("$19");
  EXPECT_EQ(after(40), 1);
  EXPECT_EQ(after(1), 2);
}

TEST_F(Preview, NoRateMeansNoDrawAndNoAdvance) {
  captureMany(2);
  enterPreview(session);
  play();
  for (const char* text : {"", "abc", "4294967296"}) {
    setRate(text);
    EXPECT_EQ(after(5000), 0) << text;
  }
  setRate("1.5");
  EXPECT_EQ(after(1001), 1);
}

TEST_F(Preview, AFrameIsDueMoreThanTheDelayAfterTheLastWhereverTheTickCountWraps) {
  captureMany(3);
  enterPreview(session);
  play();
  const struct {
    std::uint32_t last, now;
    bool due;
  } cases[] = {
      {0xFFFFFFE0u, 0xFFFFFFFFu, false}, {0xFFFFFFE0u, 0x00000008u, false}, {0xFFFFFFE0u, 0x00000009u, true},
      {0xFFFFFFC0u, 0xFFFFFFE9u, true},  {0xFFFFFFC0u, 0xFFFFFFE8u, false}, {0xFFFFFFC0u, 0x00000005u, true},
      {0x7FFFFFF0u, 0x80000018u, false}, {0x7FFFFFF0u, 0x80000019u, true},
  };  // 25 frames a second: due more than 40 ms on, the deadline before, at and after the wrap
  for (const auto& c : cases) {
    session.frames.select(0);
    session.lastAdvanceTick = c.last;
    now = c.now;
    step();
    EXPECT_EQ(session.frames.index(), c.due ? 1 : 0) << std::hex << c.last << " to " << c.now;
  }
}

TEST_F(Preview, ThePlayButtonSpringsBackOnAnEmptySeriesAndASingleFrameShows) {
  enterPreview(session);
  EXPECT_EQ(static_cast<QSlider*>(controlWidget(layout::trackbar))->maximum(), 0);
  play();
  EXPECT_FALSE(session.playing);
  EXPECT_EQ(getControlState(layout::playButton), 0);
  const std::uint32_t before = canvasRevision(layout::canvas);
  step();  // nothing to draw
  EXPECT_EQ(canvasRevision(layout::canvas), before);
  leavePreview(session);
  captureMany(1);
  enterPreview(session);
  step();
  EXPECT_NE(canvasRevision(layout::canvas), before);
}

TEST_F(Preview, TheCanvasShowsTheCurrentFrameAndDrawsItAgainOnlyWhenItChanged) {
  captureMany(3);
  for (int n = 0; n < 3; ++n) {  // a mark of its own in each frame
    ASSERT_NE(beginDrawing(imageOutput(session.frames.frames[n].image)), 0);
    fillRectangle(0, 0, 10, 10, static_cast<Color>(0x10 << (8 * n)));
    endDrawing();
  }
  const auto shown = [] {  // reading is a drawing pass too: the next step draws again
    if (!beginDrawing(canvasOutput(layout::canvas))) return Color{0xFFFFFFFF};
    const Color c = readPixel(5, 5);
    endDrawing();
    return c;
  };
  const auto drawsAgain = [this] {
    const std::uint32_t before = canvasRevision(layout::canvas);
    step();
    return canvasRevision(layout::canvas) != before;
  };
  enterPreview(session);
  play();
  step();
  EXPECT_EQ(shown(), 0x10u);
  step();
  EXPECT_FALSE(drawsAgain()) << "an unchanged frame was drawn again";
  setControlState(layout::trackbar, 2);
  trackbarCommand(session);
  EXPECT_TRUE(drawsAgain());
  EXPECT_EQ(shown(), 0x100000u);
  EXPECT_EQ(after(41), 0);  // an advance wraps to the first frame
  EXPECT_EQ(shown(), 0x10u);
  EXPECT_EQ(after(41), 1);
  EXPECT_EQ(shown(), 0x1000u);
  step();
  EXPECT_FALSE(drawsAgain());
  ASSERT_NE(beginDrawing(imageOutput(session.frames.frames[1].image)), 0);
  fillRectangle(0, 0, 10, 10, 0x777777);  // the frame itself changed
  endDrawing();
  EXPECT_TRUE(drawsAgain());
  EXPECT_EQ(shown(), 0x777777u);
}

}  // namespace
