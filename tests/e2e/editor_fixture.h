// The built limbrik as a user meets it: its own process on a desktop of the suite's own,
// driven by real X input.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e/desktop.h"

namespace fs = std::filesystem;

using Pixels = std::vector<std::uint32_t>;

class OnDesktop : public testing::Test {
 protected:
  static void SetUpTestSuite() { desktop = std::make_unique<Desktop>(); }
  static void TearDownTestSuite() { desktop.reset(); }

  void SetUp() override {
    // The program under test: the one built beside the suite, or another named in LIMBRIK_BINARY.
    const char* other = std::getenv("LIMBRIK_BINARY");
    program = std::make_unique<Child>(std::vector<std::string>{other && *other ? other : LIMBRIK_BINARY});
    window = shown("Limbrik Animator");
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(waitUntil([this] { return canvas().size() == 160000 && canvas() != Pixels(160000, 0); }, patience()));
  }

  void xdo(const std::vector<std::string>& args) { ASSERT_TRUE(desktop->xdotool(args)) << args.front(); }
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
  Pixels canvas() const { return desktop->grab(window, 0, 20, 400, 400); }
  // Waits until the canvas shows the same picture twice in a row, and returns it.
  Pixels settled() {
    Pixels last = canvas(), now;
    EXPECT_TRUE(waitUntil(
        [&] {
          now = canvas();
          return std::exchange(last, now) == now;
        },
        patience()));
    return now;
  }
  bool heightBecomes(int height) {
    return waitUntil([&] { return desktop->windowHeight(window) == height; }, patience());
  }
  // Waits for a window of ours with this title to show, and gives it the keyboard.
  std::string shown(const std::string& title) {
    std::string id;
    EXPECT_TRUE(waitUntil([&] { return !(id = last(desktop->windows("^" + title + "$"))).empty(); }, patience()))
        << "no window \"" << title << "\"";
    if (!id.empty()) desktop->xdotool({"windowactivate", "--sync", id});
    return id;
  }
  void gone(const std::string& title) {
    EXPECT_TRUE(waitUntil([&] { return desktop->windows("^" + title + "$").empty(); }, patience())) << title;
  }
  // The close box, as the window manager sends it: WM_DELETE_WINDOW.
  void closeBox() { ASSERT_TRUE(desktop->run({"wmctrl", "-i", "-c", window}).first); }
  // Types a base name into the file dialog and waits for the export's last file.
  void saveAs(const fs::path& base, const std::string& lastFile) {
    shown("Speichern unter");
    xdo({"type", "--delay", "20", base.string()});
    key("Return");
    EXPECT_TRUE(waitUntil([&] { return fs::exists(base.parent_path() / lastFile); }, patience())) << lastFile;
  }
  void endsCleanly() {
    const int status = program->waitForExit(patience());
    ASSERT_NE(status, -1) << "still running";
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  static std::string last(const std::vector<std::string>& ids) { return ids.empty() ? "" : ids.back(); }
  static std::vector<std::uint8_t> bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

  static inline std::unique_ptr<Desktop> desktop;
  std::unique_ptr<Child> program;
  std::string window;
  TempFolder temp;
};
