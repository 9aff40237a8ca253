// The editor as its own process on X11: posing, capture, export, preview, the menu from the
// mouse and the keyboard, and every way out with its exit code.
#include <set>

#include "e2e/desktop.h"

namespace {

using Editor = OnDesktop;

TEST_F(Editor, PosesCapturesExportsPlaysAndQuitsFromTheMenu) {
  drag(200, 230, 300, 200);  // the hip handle: the torso swings about the neck
  click(50, 50, 3);
  drag(185, 214, 150, 250);  // the left hand
  key("shift+s");
  drag(215, 214, 260, 240);  // the right hand
  click(350, 350, 3);
  key("ctrl+s");
  saveAs(temp.path / "walk", "walk2r.bmp");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(temp.path)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"walk0l.bmp", "walk0r.bmp", "walk1l.bmp", "walk1r.bmp", "walk2l.bmp",
                                          "walk2r.bmp"}));
  for (const std::string& name : names) EXPECT_EQ(fs::file_size(temp.path / name), 480054u) << name;
  const auto first = fileBytes(temp.path / "walk0l.bmp");
  // The hip swung to 45 degrees about the neck: the pinned pose "8 south-east".
  EXPECT_EQ(fnv1a(first.data() + 54, first.size() - 54), 0xAD60BAA4C84F482Eu) << "the first frame is not the pose the drag left";

  key("ctrl+v");
  EXPECT_TRUE(heightBecomes(475)) << "no preview panel";
  click(45, 440);  // Play/Pause, in the panel below the canvas
  std::set<int> shown;
  const Pixels frames[] = {picture(first), picture(fileBytes(temp.path / "walk1l.bmp")),
                           picture(fileBytes(temp.path / "walk2l.bmp"))};
  EXPECT_TRUE(waitUntil(
      [&] {
        const Pixels now = canvas();
        for (int i = 0; i < 3; ++i)
          if (now == frames[i]) shown.insert(i);
        return shown.size() == 3;
      },
      patience))
      << "playback showed " << shown.size() << " of the 3 frames";

  xdo({"mousemove", "--window", window, "20", "10", "click", "1"});  // "Datei"
  const std::string menu = popup(window);
  ASSERT_FALSE(menu.empty()) << "the menu did not open";
  xdo({"mousemove", "--window", menu, "30", std::to_string(windowHeight(menu) - 12), "click", "1"});
  endsCleanly();  // "Beenden" with the frames saved: no question
}

TEST_F(Editor, AltDAndF10OpenTheMenuFromTheKeyboard) {
  key("alt+d");
  ASSERT_FALSE(popup(window).empty()) << "Alt+D opened nothing";
  key("Escape");
  EXPECT_TRUE(waitUntil([this] { return popup(window, Seconds(0)).empty(); }));
  key("F10");
  ASSERT_FALSE(popup(window).empty()) << "F10 opened nothing";
  key("Up");  // the last item, "Beenden"
  key("Return");
  endsCleanly();
}

TEST_F(Editor, TheCloseBoxQuitsAtOnceWithoutFrames) {
  closeBox();
  endsCleanly();
}

TEST_F(Editor, TheCloseBoxWithFramesFollowsEachAnswer) {
  click(50, 50, 3);
  closeBox();
  shown("Limbrik Editor");
  key("Escape");  // Abbrechen: the editor stays with its frame
  gone("Limbrik Editor");
  closeBox();
  shown("Limbrik Editor");
  key("alt+j");
  shown("Speichern unter");
  key("Escape");  // Ja, but no file chosen: nothing is lost, so the editor stays
  gone("Speichern unter");
  closeBox();
  shown("Limbrik Editor");
  key("alt+j");
  shown("Speichern unter");
  xdo({"type", "--delay", "20", (temp.path / "gone" / "walk").string()});
  key("Return");  // Ja, but the folder does not exist: the failure box, and the frames stay
  gone("Speichern unter");
  shown("Limbrik Editor");
  key("Return");
  gone("Limbrik Editor");
  EXPECT_TRUE(program->running());
  closeBox();
  shown("Limbrik Editor");
  key("alt+j");
  saveAs(temp.path / "final", "final0r.bmp");
  endsCleanly();
  EXPECT_EQ(fs::file_size(temp.path / "final0l.bmp"), 480054u);
}

// A logout, kill or Ctrl+C in a terminal reaches the editor as one of these signals.
TEST_F(Editor, TerminationSignalsAskAsTheCloseBoxDoes) {
  click(50, 50, 3);
  key("ctrl+v");
  ASSERT_TRUE(heightBecomes(475)) << "the capture before it was not taken yet";
  program->signal(SIGTERM);
  shown("Limbrik Editor");
  key("alt+n");
  endsCleanly();
}

TEST_F(Editor, AnInterruptWithoutFramesEndsAtOnce) {
  program->signal(SIGINT);
  endsCleanly();
}

TEST_F(Editor, ADragThatLeavesTheWindowHoldsItsPose) {
  pointAt(185, 214);  // the left hand
  xdo({"mousedown", "1"});
  pointAt(150, 250);
  const Pixels posed = settled();
  xdo({"mousemove", "5", "5"});  // off the window, on the bare desktop
  EXPECT_EQ(settled(), posed);
  xdo({"mouseup", "1"});  // released outside: the drag ends
  pointAt(100, 300);
  EXPECT_EQ(settled(), posed);
  closeBox();
  endsCleanly();
}

TEST_F(Editor, InPreviewNothingIsCapturedAndItsShortcutBeatsTheEditBox) {
  click(50, 50, 3);
  click(350, 350, 3);
  key("ctrl+v");
  EXPECT_TRUE(heightBecomes(475));
  click(60, 300, 3);
  key("shift+s");
  click(160, 440);  // into the frame-rate box
  key("ctrl+v");  // leaves preview instead of pasting
  EXPECT_TRUE(heightBecomes(420)) << "still in preview";
  key("ctrl+s");
  saveAs(temp.path / "walk", "walk1r.bmp");
  closeBox();  // saved: no question
  endsCleanly();
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path), {}), 4);  // two frames, no more
}

TEST_F(Editor, NoWhilePlayingInPreviewQuits) {
  click(50, 50, 3);
  drag(200, 230, 120, 250);
  click(350, 350, 3);
  key("ctrl+v");
  EXPECT_TRUE(heightBecomes(475));
  const Pixels paused = settled();
  click(45, 440);
  EXPECT_TRUE(waitUntil([&] { return canvas() != paused; })) << "not playing";
  closeBox();
  shown("Limbrik Editor");
  key("alt+n");
  endsCleanly();
  EXPECT_TRUE(fs::is_empty(temp.path));
}

}  // namespace
