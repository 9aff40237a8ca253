// The editor's real window and state, started in-process, with a temporary folder; the
// services' tests use its window too.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app.h"
#include "support/bytes.h"
#include "support/dialog_answers.h"
#include "support/temp_folder.h"
#include "ui_internal.h"

namespace fs = std::filesystem;

struct Seen {
  int kind, id, subtype;
  bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Seen& e) {
  return out << "{" << e.kind << ", " << e.id << ", " << std::hex << e.subtype << std::dec << "}";
}

// Runs fn from inside the next event wait or dialog loop.
inline void soon(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }

class EditorTest : public testing::Test {
 protected:
  AppState app;
  Session& session = app.session;
  TempFolder temp;
  const fs::path& folder = temp.path;

  void SetUp() override {
    ASSERT_TRUE(startUp(app));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
    drain();
  }
  void TearDown() override { shutDown(); }
  // Passes of the loop without waiting for input.
  void pass(int times = 1) {
    for (int i = 0; i < times; ++i) {
      handleEvent(app, waitEvent(0));
      updateView(app);
      confirmQuit(app);
    }
  }
  void captureMany(int n) {
    for (int i = 0; i < n; ++i) {
      session.figure[0].angle = 100 + 20 * i;  // a different pose each time
      captureFrame(session);
    }
  }
  std::vector<std::string> filesByAge() const {
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    for (const auto& entry : fs::directory_iterator(folder)) found.push_back({entry.last_write_time(), entry.path().filename()});
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const auto& [when, name] : found) names.push_back(name);
    return names;
  }
  static QWidget* window() { return windowRecord(layout::window)->widget; }
  static QWidget* control(int id) { return controlWidget(id); }
  // Takes every event that is waiting, so that a test starts from a quiet queue.
  static void drain() {
    QApplication::processEvents();
    while (waitEvent(0) != 0) {
    }
  }
  // The next events that are not inputs without an event, up to n of them.
  static std::vector<Seen> next(int n, int timeoutMs = 50) {
    std::vector<Seen> seen;
    for (int tries = 0; tries < 200 && static_cast<int>(seen.size()) < n; ++tries) {
      const int kind = waitEvent(timeoutMs);
      if (kind == 0) break;
      if (kind != InputWithoutEvent)
        seen.push_back({kind, eventControl(), eventSubtype()});
    }
    return seen;
  }
  // What the user sees of the mode, in one line: the frame shown, the panel's controls, the
  // menu's marks and the height of the window's inside.
  std::string seen() const {
    std::ostringstream s;
    s << (session.previewMode ? "preview" : "edit") << (session.playing ? " playing" : "") << ", frame "
      << session.frames.index() << " of " << session.frames.count() << ", button " << getControlState(layout::playButton)
      << ", trackbar " << getControlState(layout::trackbar) << " of "
      << static_cast<QSlider*>(controlWidget(layout::trackbar))->maximum()
      << (getMenuItemChecked(layout::menuBar, menu::preview) ? ", Vorschau checked" : "")
      << (menuItemGreyed(layout::menuBar, menu::capture) ? ", Bild Speichern grey" : "") << ", "
      << windowRecord(layout::window)->client->height() << " high";
    return s.str();
  }
  // The pixel colour of a frame's Image.
  static Color pixelOf(ImageId image, int x, int y) {
    if (!beginDrawing(imageOutput(image))) return 0xFFFFFFFF;
    const Color c = readPixel(x, y);
    endDrawing();
    return c;
  }
};
