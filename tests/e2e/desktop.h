// The built limbrik as a user meets it: its own process on an Xvfb display of the suite's own
// with a window manager, driven by real X input (xdotool) and read back from the screen.
#pragma once

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/process.h"
#include "support/bytes.h"

using Pixels = std::vector<std::uint32_t>;

inline std::optional<std::string> xdotool(std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  return run(args);
}

inline std::vector<std::string> lines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> found;
  for (std::string line; std::getline(in, line);) found.push_back(line);
  return found;
}

// The shown windows with exactly this title, newest last.
inline std::vector<std::string> visible(const std::string& title) {
  return lines(xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).value_or(""));
}

inline int windowHeight(const std::string& window) {
  const std::string out = xdotool({"getwindowgeometry", "--shell", window}).value_or("");
  const std::size_t at = out.find("HEIGHT=");
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + 7));
}

// A menu open over the main window: its id once it shows, "" after the deadline. Qt names an
// untitled popup after the program.
inline std::string popup(const std::string& mainWindow, Seconds deadline = patience) {
  std::string found;
  const auto look = [&] {
    for (const std::string& id : lines(xdotool({"search", "--onlyvisible", "--classname", "^limbrik$"}).value_or("")))
      if (id != mainWindow && xdotool({"getwindowname", id}) == "limbrik\n") found = id;
    return !found.empty();
  };
  if (!look()) waitUntil(look, deadline);
  return found;
}

// The window's pixels as 0x00RRGGBB, row by row from the top.
inline Pixels grab(const std::string& window, int x, int y, int width, int height) {
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

class OnDesktop : public testing::Test {
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
    ASSERT_FALSE(window.empty()) << (program->running() ? "the program runs without a window; windows: "
                                                        : "the program ended; windows: ")
                                 << xdotool({"search", "--name", "."}).value_or("none");
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
  void drag(int fromX, int fromY, int toX, int toY) {
    pointAt(fromX, fromY);
    xdo({"mousedown", "1"});
    pointAt((fromX + toX) / 2, (fromY + toY) / 2);
    pointAt(toX, toY);
    settled();
    xdo({"mouseup", "1"});
  }
  Pixels canvas() const { return grab(window, 0, 20, 400, 400); }
  // Waits until the canvas shows the same picture twice in a row, and returns it.
  Pixels settled() {
    Pixels last = canvas(), now;
    EXPECT_TRUE(waitUntil([&] { return std::exchange(last, now = canvas()) == now; }));
    return now;
  }
  bool heightBecomes(int height) {
    return waitUntil([&] { return windowHeight(window) == height; });
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
  void gone(const std::string& title) {
    EXPECT_TRUE(waitUntil([&] { return visible(title).empty(); }))
        << title;
  }
  // The close box, as the window manager sends it: WM_DELETE_WINDOW.
  void closeBox() { ASSERT_TRUE(run({"wmctrl", "-i", "-c", window})); }
  // Types a base name into the file dialog and waits for the export's last file.
  void saveAs(const fs::path& base, const std::string& lastFile) {
    shown("Speichern unter");
    xdo({"type", "--delay", "20", base.string()});
    key("Return");
    EXPECT_TRUE(waitUntil([&] { return fs::exists(base.parent_path() / lastFile); })) << lastFile;
  }
  void endsCleanly() {
    const int status = program->waitForExit();
    ASSERT_NE(status, -1) << "still running";
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  // A 400 x 400 bitmap file's pixels as the screen shows them: top row first, 0x00RRGGBB.
  static Pixels picture(const std::vector<std::uint8_t>& file) {
    Pixels pixels;
    for (int y = 399; y >= 0 && file.size() == 480054; --y)
      for (int x = 0; x < 400; ++x) {
        const std::uint8_t* p = &file[54 + static_cast<std::size_t>(y) * 1200 + static_cast<std::size_t>(x) * 3];
        pixels.push_back(std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
      }
    return pixels;
  }

  static inline TempFolder runtimeDir;  // the session's private XDG_RUNTIME_DIR
  static inline std::unique_ptr<Child> server, windowManager;
  std::unique_ptr<Child> program;
  std::string window;
  TempFolder temp;
};
