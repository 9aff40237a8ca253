#include <sys/resource.h>

#include <QLineEdit>

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
  bool drawsAgain() {
    const std::uint32_t before = canvasRevision(layout::canvas);
    step();
    return canvasRevision(layout::canvas) != before;
  }
};

TEST_F(Preview, PlaybackFollowsTheRateAndWraps) {
  captureMany(3);
  setControlState(layout::playButton, 1);
  enterPreview(session);
  EXPECT_EQ(seen(), "preview, frame 0 of 3, button 0, trackbar 0 of 2, Vorschau checked, Bild Speichern grey, 455 high");
  play();
  const struct {
    const char* rate;
    std::uint32_t ms;
    int frame;
  } steps[] = {
      {"25", 41, 1},   {"25", 40, 1},     {"25", 1, 2},  // 25 a second: more than 40 ms apart
      {"25", 41, 0},   {"  12fps", 83, 0}, {"  12fps", 1, 1},
      {"1001", 0, 1},  {"1001", 1, 2},  // a delay of 0: whenever the tick moved on
      {"-5", 0, 0},    {"-5", 0, 1},  // a negative delay: every step
      {"$19", 40, 1},  // 25 in hexadecimal
      {"%101", 1, 1},  {"%101", 160, 2},  // 5 in binary: 200 ms, where octal or decimal 101 would be quicker
      {"", 5000, 2},   {"abc", 5000, 2}, {"4294967296", 5000, 2}, {"-0", 5000, 2},  // no rate: no advance
      {"1.5", 1001, 0},
  };
  for (const auto& s : steps) {
    setRate(s.rate);
    EXPECT_EQ(after(s.ms), s.frame) << '"' << s.rate << "\" after " << s.ms << " ms";
    EXPECT_EQ(getControlState(layout::trackbar), s.frame) << "the slider follows playback";
  }
  togglePreview(session);
  EXPECT_EQ(seen(), "edit playing, frame 0 of 3, button 1, trackbar 0 of 2, 400 high");
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
  play();
  EXPECT_EQ(seen(), "preview, frame -1 of 0, button 0, trackbar 0 of 0, Vorschau checked, Bild Speichern grey, 455 high");
  EXPECT_FALSE(drawsAgain()) << "nothing to draw";
  leavePreview(session);
  captureMany(1);
  enterPreview(session);
  EXPECT_TRUE(drawsAgain());
}

// Which frame the canvas shows; how often it draws is the benchmarks' matter.
TEST_F(Preview, TheCanvasShowsTheCurrentFrame) {
  captureMany(3);
  for (int n = 0; n < 3; ++n) {
    ASSERT_NE(beginDrawing(imageOutput(session.frames.frames[n].image)), 0);
    fillRectangle(0, 0, 10, 10, static_cast<Color>(0x10 << (8 * n)));
    endDrawing();
  }
  const auto shownAfterStep = [this] {
    step();
    if (!beginDrawing(canvasOutput(layout::canvas))) return Color{0xFFFFFFFF};
    const Color c = readPixel(0, 0);  // the first column: an image drawn at 0 covers it too
    endDrawing();
    return c;
  };
  enterPreview(session);
  play();
  EXPECT_EQ(shownAfterStep(), 0x10u);
  setControlState(layout::trackbar, 2);
  trackbarCommand(session);
  EXPECT_EQ(shownAfterStep(), 0x100000u);
  now += 41;
  EXPECT_EQ(shownAfterStep(), 0x10u) << "playback goes on from the chosen frame and wraps";
  setControlState(layout::trackbar, 2);
  trackbarCommand(session);
  leavePreview(session);
  enterPreview(session);
  EXPECT_EQ(getControlState(layout::trackbar), 0) << "the slider starts again at the first frame";
#if !defined(__SANITIZE_ADDRESS__)  // whose shadow maps more than any limit leaves
  releaseMemoryReserve();
  for (const bool thenNew : {false, true}) {  // the title says so until the frame shows, or until New
    if (thenNew) {  // frames never expanded yet
      leavePreview(session);
      session.frames.clear();
      captureMany(3);
      enterPreview(session);
    }
    session.frames.packOlderFrames();  // showing frame 1 now expands it
    long long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit saved{};
    ::getrlimit(RLIMIT_AS, &saved);
    const rlimit tight{static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + 256 * 1024), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    setControlState(layout::trackbar, 1);
    trackbarCommand(session);
    EXPECT_EQ(shownAfterStep(), thenNew ? 0x1000u : 0x10u) << "no memory to expand frame 1: the last picture stays";
    ::setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(window()->windowTitle().toStdString(), "Limbrik Animator – Bild 2 kann gerade nicht gezeigt werden: Der "
                                                     "Arbeitsspeicher ist knapp");
    if (thenNew) {
      newSeries(session);
    } else {
      EXPECT_EQ(shownAfterStep(), 0x1000u) << "shown once memory is back";
    }
    EXPECT_EQ(window()->windowTitle(), "Limbrik Animator");
  }
#endif
}

}  // namespace
