// The editor as a user meets it on X11: its own process on an Xvfb display of the suite's own
// with a window manager, driven by real X input (xdotool) and read back from the screen.
// Posing, capture, export, preview, New, the menu from the mouse and the keyboard, and
// every way out with its exit status.
#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <set>
#include <sstream>

#include "e2e/process.h"
#include "support/bytes.h"

namespace {

using Pixels = std::vector<std::uint32_t>;

std::optional<std::string> xdotool(std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  return run(args);
}

// The shown windows with exactly this title, newest last.
std::vector<std::string> visible(const std::string& title, const std::string& option = "--name") {
  std::istringstream in(xdotool({"search", "--onlyvisible", option, "^" + title + "$"}).value_or(""));
  std::vector<std::string> found;
  for (std::string line; std::getline(in, line);) found.push_back(line);
  return found;
}

int windowHeight(const std::string& window) {
  const std::string out = xdotool({"getwindowgeometry", "--shell", window}).value_or("");
  const std::size_t at = out.find("HEIGHT=");
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + 7));
}

// The window's pixels as 0x00RRGGBB, row by row from the top.
Pixels grab(const std::string& window, int x, int y, int width, int height) {
  const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(nullptr), XCloseDisplay);
  XImage* image = connection ? XGetImage(connection.get(), std::stoul(window), x, y, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), AllPlanes, ZPixmap)
                             : nullptr;
  Pixels pixels;
  for (int row = 0; image && row < height; ++row)
    for (int column = 0; column < width; ++column)
      pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFFu);
  if (image) XDestroyImage(image);
  return pixels;
}

// A 400 x 400 bitmap file's pixels as the screen shows them: top row first, 0x00RRGGBB.
Pixels picture(const std::vector<std::uint8_t>& file) {
  Pixels pixels;
  for (int y = 399; y >= 0 && file.size() == 480054; --y)
    for (int x = 0; x < 400; ++x) {
      const std::uint8_t* p = &file[54 + static_cast<std::size_t>(y) * 1200 + static_cast<std::size_t>(x) * 3];
      pixels.push_back(std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
    }
  return pixels;
}

class Editor : public testing::Test {
 protected:
  // An Xvfb display of its own, with a window manager; this process's DISPLAY points at it, so
  // every program started later runs there.
  static void SetUpTestSuite() {
    int fds[2];  // Xvfb picks a free display itself and names it on this pipe
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    server = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                                              "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                                     fds[1]);
    ::close(fds[1]);
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (::poll(&ready, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.path.c_str(), 1);
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone mid-grab is no reason to exit
    windowManager = std::make_unique<Child>(std::vector<std::string>{"openbox", "--sm-disable"});
    ASSERT_TRUE(waitUntil([] { return run({"wmctrl", "-m"}).has_value(); })) << "the window manager did not start";
  }
  static void TearDownTestSuite() { windowManager.reset(), server.reset(); }

  void SetUp() override {
    // The program under test: the one built beside the suite, or another named in LIMBRIK_BINARY.
    const char* other = std::getenv("LIMBRIK_BINARY");
    program = std::make_unique<Child>(std::vector<std::string>{other && *other ? other : LIMBRIK_BINARY});
    // A first start has now and then taken longer than the usual patience (cause not found): a minute.
    window = shown("Limbrik Animator", Seconds(60));
    ASSERT_FALSE(window.empty()) << (program->running() ? "the program runs without a window" : "the program ended");
    ASSERT_TRUE(waitUntil([this] { return canvas().size() == 160000 && canvas() != Pixels(160000, 0); }));
  }

  void xdo(const std::vector<std::string>& args) { ASSERT_TRUE(xdotool(args)) << args.front(); }
  void key(const std::string& keys) { xdo({"key", "--clearmodifiers", keys}); }
  // Canvas coordinates: the menu bar takes the window's top 20 pixels.
  void pointAt(int x, int y) { xdo({"mousemove", "--window", window, std::to_string(x), std::to_string(y + 20)}); }
  void click(int x, int y, int button = 1) {
    pointAt(x, y);
    xdo({"click", std::to_string(button)});
  }
  // The loop takes the handle under the pointer when it reads the press, so the pointer
  // stays on the handle a moment: on a busy machine the press is read late.
  void drag(int fromX, int fromY, int toX, int toY) {
    const Pixels before = settled();
    pointAt(fromX, fromY);
    xdo({"mousedown", "1"});
    std::this_thread::sleep_for(patience / 50);
    pointAt((fromX + toX) / 2, (fromY + toY) / 2);
    pointAt(toX, toY);
    EXPECT_TRUE(waitUntil([&] { return canvas() != before; })) << "the drag moved nothing";
    settled();
    xdo({"mouseup", "1"});
  }
  Pixels canvas() const { return grab(window, 0, 20, 400, 400); }
  // Waits until the canvas has shown the same picture for a fifth of a second, and returns it.
  Pixels settled() {
    Pixels last = canvas();
    int same = 0;
    EXPECT_TRUE(waitUntil([&] {
      Pixels now = canvas();
      same = now == last ? same + 1 : 0;
      last = std::move(now);
      return same == 10;
    }));
    return last;
  }
  bool heightBecomes(int height) {
    return waitUntil([&] { return windowHeight(window) == height; });
  }
  // A menu open over the main window: Qt names an untitled popup after the program.
  std::string popup(Seconds deadline = patience) {
    std::string found;
    waitUntil([&] {
      for (const std::string& id : visible("limbrik", "--classname"))
        if (id != window && xdotool({"getwindowname", id}) == "limbrik\n") found = id;
      return !found.empty();
    }, deadline);
    return found;
  }
  // Waits for a window of ours with this title to show, and gives it the keyboard.
  std::string shown(const std::string& title, Seconds deadline = patience) {
    std::string id;
    EXPECT_TRUE(waitUntil([&] {
      const auto ids = visible(title);
      return !(id = ids.empty() ? "" : ids.back()).empty();
    }, deadline)) << "no window \"" << title << "\"";
    if (!id.empty()) xdotool({"windowactivate", "--sync", id});
    return id;
  }
  void gone(const std::string& title) { EXPECT_TRUE(waitUntil([&] { return visible(title).empty(); })) << title; }
  // The close box, as the window manager sends it: WM_DELETE_WINDOW.
  void closeBox() { ASSERT_TRUE(run({"wmctrl", "-i", "-c", window})); }
  // Types a base name into the file dialog and waits for the export's last file.
  void saveAs(const fs::path& base, const std::string& lastFile) {
    shown("Speichern unter");
    xdo({"type", "--delay", "20", base.string()});
    key("Return");
    EXPECT_TRUE(waitUntil([&] { return fs::exists(base.parent_path() / lastFile); })) << lastFile;
  }
  void question(const std::string& answer) {
    shown("Limbrik Editor");
    key(answer);
  }

  static inline TempFolder runtimeDir;  // the session's private XDG_RUNTIME_DIR
  static inline std::unique_ptr<Child> server, windowManager;
  std::unique_ptr<Child> program;
  std::string window;
  TempFolder temp;
};

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
  std::set<int> played;
  const Pixels frames[] = {picture(first), picture(fileBytes(temp.path / "walk1l.bmp")),
                           picture(fileBytes(temp.path / "walk2l.bmp"))};
  EXPECT_TRUE(waitUntil([&] {
    const Pixels now = canvas();
    for (int i = 0; i < 3; ++i)
      if (now == frames[i]) played.insert(i);
    return played.size() == 3;
  })) << "playback showed " << played.size() << " of the 3 frames";

  xdo({"mousemove", "--window", window, "20", "10", "click", "1"});  // "Datei"
  const std::string menu = popup();
  ASSERT_FALSE(menu.empty()) << "the menu did not open";
  xdo({"mousemove", "--window", menu, "30", std::to_string(windowHeight(menu) - 12), "click", "1"});
  program->endsWithZero();  // "Beenden" with the frames saved: no question
}

TEST_F(Editor, AltDAndF10OpenTheMenuFromTheKeyboard) {
  key("alt+d");
  ASSERT_FALSE(popup().empty()) << "Alt+D opened nothing";
  key("Escape");
  EXPECT_TRUE(waitUntil([this] { return popup(Seconds(0)).empty(); }));
  key("F10");
  ASSERT_FALSE(popup().empty()) << "F10 opened nothing";
  key("Up");  // the last item, "Beenden"
  key("Return");
  program->endsWithZero();
}

TEST_F(Editor, TheCloseBoxQuitsAtOnceWithoutFrames) {
  closeBox();
  program->endsWithZero();
}

TEST_F(Editor, NewWithNoDiscardsTheFramesSoTheCloseBoxAsksNothing) {
  click(50, 50, 3);
  key("ctrl+n");
  question("alt+n");
  gone("Limbrik Editor");
  closeBox();
  program->endsWithZero();
}

TEST_F(Editor, TheCloseBoxWithFramesFollowsEachAnswer) {
  click(50, 50, 3);
  closeBox();
  question("Escape");  // Abbrechen: the editor stays with its frame
  gone("Limbrik Editor");
  closeBox();
  question("alt+j");
  shown("Speichern unter");
  key("Escape");  // Ja, but no file chosen: nothing is lost, so the editor stays
  gone("Speichern unter");
  closeBox();
  question("alt+j");
  shown("Speichern unter");
  xdo({"type", "--delay", "20", (temp.path / "gone" / "walk").string()});
  key("Return");  // Ja, but the folder does not exist: the failure box, and the frames stay
  gone("Speichern unter");
  question("Return");
  gone("Limbrik Editor");
  EXPECT_TRUE(program->running());
  closeBox();
  question("alt+j");
  saveAs(temp.path / "final", "final0r.bmp");
  program->endsWithZero();
  EXPECT_EQ(fs::file_size(temp.path / "final0l.bmp"), 480054u);
}

// A logout, kill or Ctrl+C in a terminal reaches the editor as one of these signals.
TEST_F(Editor, TerminationSignalsAskAsTheCloseBoxDoes) {
  click(50, 50, 3);
  key("ctrl+v");
  ASSERT_TRUE(heightBecomes(475)) << "the capture before it was not taken yet";
  program->signal(SIGTERM);
  question("Escape");  // Abbrechen: the editor stays, and the request is not asked again
  gone("Limbrik Editor");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(visible("Limbrik Editor").empty()) << "asked again";
  program->signal(SIGHUP);
  question("alt+n");
  program->endsWithZero();
}

TEST_F(Editor, AnInterruptWithoutFramesEndsAtOnce) {
  program->signal(SIGINT);
  program->endsWithZero();
}

TEST_F(Editor, ADragThatLeavesTheWindowHoldsItsPose) {
  const Pixels before = settled();
  pointAt(185, 214);  // the left hand
  xdo({"mousedown", "1"});
  std::this_thread::sleep_for(patience / 50);
  pointAt(150, 250);
  EXPECT_TRUE(waitUntil([&] { return canvas() != before; })) << "the drag moved nothing";
  const Pixels posed = settled();
  xdo({"mousemove", "5", "5"});  // off the window, on the bare desktop
  EXPECT_EQ(settled(), posed);
  xdo({"mouseup", "1"});  // released outside: the drag ends
  pointAt(100, 300);
  EXPECT_EQ(settled(), posed);
  closeBox();
  program->endsWithZero();
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
  program->endsWithZero();
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
  question("alt+n");
  program->endsWithZero();
  EXPECT_TRUE(fs::is_empty(temp.path));
}

}  // namespace
