// The whole editor, run in-process on its real loop and driven as a user would.
#include <gtest/gtest.h>

#include <QCursor>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <set>

#include "app.h"
#include "support/dialog_answers.h"
#include "support/temp_folder.h"
#include "ui_internal.h"

namespace fs = std::filesystem;

namespace {

const AppState& app() { return *runningApplication(); }
QWidget* canvas() { return controlWidget(layout::canvas); }
QWidget* window() { return windowRecord(layout::window)->widget; }
int innerHeight() { return windowRecord(layout::window)->client->height(); }

void pointAt(int x, int y) { QCursor::setPos(canvas()->mapToGlobal(QPoint(x, y))); }

void press(int x, int y) {
  pointAt(x, y);
  QTest::mousePress(canvas(), Qt::LeftButton, {}, QPoint(x, y));
}

void moveTo(int x, int y) {
  pointAt(x, y);
  QTest::mouseMove(canvas(), QPoint(x, y));
}

void rightClick() { QTest::mouseClick(canvas(), Qt::RightButton, {}, QPoint(20, 20)); }

void shortcut(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(window(), key, modifiers); }

// A render of the figure as it stands now, the way a capture draws it.
std::vector<std::uint8_t> renderedPose() {
  Figure copy = app().session.figure;
  const ImageId image = createImage(AutoId, 400, 400);
  renderFigure(copy, {[](std::intptr_t id) { return imageOutput(id); }, image}, false, 0);
  const ImageRecord* record = lookupImage(image);
  std::vector<std::uint8_t> pixels(record->pixels.get(), record->pixels.get() + 480000);
  releaseImage(image);
  return pixels;
}

std::vector<std::uint8_t> pixelsOf(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  return record ? std::vector<std::uint8_t>(record->pixels.get(), record->pixels.get() + 480000)
                : std::vector<std::uint8_t>{};
}

// Steps run one per tick from inside the editor's own loop (and its dialogs' loops);
// a step that returns false is tried again on the next tick.
class Script {
 public:
  void then(std::function<bool()> step) { steps_.push_back(std::move(step)); }
  void act(std::function<void()> step) {
    steps_.push_back([step = std::move(step)] {
      step();
      return true;
    });
  }
  void pause(int ticks) {
    for (int i = 0; i < ticks; ++i) act([] {});
  }
  void start() {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
      if (runningApplication() && at_ < steps_.size() && steps_[at_]()) ++at_;
    });
    timer_.start(10);
  }
  std::size_t done() const { return at_; }
  std::size_t size() const { return steps_.size(); }

 private:
  std::vector<std::function<bool()>> steps_;
  std::size_t at_ = 0;
  QTimer timer_;
};

TEST(Editor, ARoundTripAsAUserMakesIt) {
  const TempFolder temp;
  const fs::path& folder = temp.path;
  Script script;
  std::vector<std::uint8_t> expectedFirst;
  std::set<int> trackbarSeen;
  Segment neckBefore{};

  script.then([] { return window()->isVisible(); });
  script.pause(3);
  // Drag the hip handle: the torso swings about the neck.
  script.act([&] {
    neckBefore = app().session.figure[8];
    press(200, 230);
  });
  script.act([] { moveTo(300, 200); });
  script.pause(3);
  script.act([] { QTest::mouseRelease(canvas(), Qt::LeftButton, {}, QPoint(300, 200)); });
  script.pause(2);
  script.act([&] {
    EXPECT_EQ(app().dragSegment, -1);
    EXPECT_EQ(app().session.figure[8].x, neckBefore.x);
    EXPECT_EQ(app().session.figure[8].y, neckBefore.y);
    EXPECT_EQ(app().session.figure[8].angle, 135);
    EXPECT_EQ(app().session.figure[9].angle, 315);
    expectedFirst = renderedPose();
    rightClick();
  });
  script.pause(2);
  script.act([&] {
    ASSERT_EQ(app().session.frames.count(), 1);
    EXPECT_EQ(pixelsOf(app().session.frames.frames[0].image), expectedFirst);
  });
  // A drag that leaves the window holds its pose until the pointer comes back.
  script.act([] { press(185, 214); });
  script.act([] { moveTo(150, 250); });
  script.pause(3);
  script.act([&] {
    neckBefore = app().session.figure[1];
    pointAt(-300, -300);
  });
  script.pause(3);
  script.act([&] {
    EXPECT_EQ(app().session.figure[1].angle, neckBefore.angle);
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, QPoint(-300, -300));
  });
  script.pause(2);
  script.act([] {
    EXPECT_EQ(app().dragSegment, -1);
    rightClick();
  });
  script.pause(2);
  script.act([] { rightClick(); });
  script.pause(2);
  // Ctrl+S with the file dialog answered: six files.
  script.act([&] {
    ASSERT_EQ(app().session.frames.count(), 3);
    chooseSavePath((folder / "walk").string());
    shortcut(Qt::Key_S, Qt::ControlModifier);
  });
  script.then([&] { return fs::exists(folder / "walk2r.bmp") && app().session.seriesSaved; });
  script.act([&] {
    for (int n = 0; n < 3; ++n)
      for (const char* side : {"l", "r"})
        EXPECT_EQ(fs::file_size(folder / ("walk" + std::to_string(n) + side + ".bmp")), 480054u);
    shortcut(Qt::Key_V, Qt::ControlModifier);
  });
  script.pause(2);
  // Preview: the panel shows, capture is greyed and silent.
  script.act([] {
    EXPECT_TRUE(app().session.previewMode);
    EXPECT_EQ(window()->height(), 475);
    EXPECT_EQ(innerHeight(), 455);
    EXPECT_TRUE(menuItemGreyed(layout::menuBar, menu::capture));
    EXPECT_EQ(getMenuItemChecked(layout::menuBar, menu::preview), 1);
    rightClick();
    shortcut(Qt::Key_S, Qt::ShiftModifier);
  });
  script.pause(3);
  script.act([] {
    EXPECT_EQ(app().session.frames.count(), 3);
    auto* edit = static_cast<QLineEdit*>(controlWidget(layout::rateEdit));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "1001");
    QTest::mouseClick(controlWidget(layout::playButton), Qt::LeftButton);
  });
  script.then([&] {  // the trackbar follows the frames: 0, 1, 2, 0, ...
    trackbarSeen.insert(getControlState(layout::trackbar));
    return trackbarSeen.size() == 3;
  });
  script.act([&] {
    EXPECT_TRUE(app().session.playing);
    EXPECT_EQ(getControlText(layout::rateEdit), "1001");
    shortcut(Qt::Key_V, Qt::ControlModifier);  // typed into the edit box, it still leaves preview
  });
  script.pause(2);
  script.act([] {
    EXPECT_FALSE(app().session.previewMode);
    EXPECT_EQ(innerHeight(), 400);
    EXPECT_EQ(getControlText(layout::rateEdit), "1001");
    rightClick();
  });
  script.pause(2);
  // Closing with an unsaved frame asks: Cancel keeps the program running.
  script.act([] {
    EXPECT_EQ(app().session.frames.count(), 4);
    pressAnswer(2);
    window()->close();
  });
  script.pause(5);
  script.act([] {
    EXPECT_FALSE(app().quitRequested);
    pressAnswer(6);
    chooseSavePath("");  // Yes, then the file dialog cancelled: still running, frames kept
    window()->close();
  });
  script.pause(5);
  script.act([&] {
    EXPECT_EQ(app().session.frames.count(), 4);
    pressAnswer(6);
    chooseSavePath((folder / "final").string());
    window()->close();
  });

  script.start();
  EXPECT_EQ(runApplication(), 0);
  EXPECT_EQ(script.done(), script.size());
  EXPECT_EQ(runningApplication(), nullptr);
  for (int n = 0; n < 4; ++n) EXPECT_TRUE(fs::exists(folder / ("final" + std::to_string(n) + "r.bmp"))) << n;
}

}  // namespace
