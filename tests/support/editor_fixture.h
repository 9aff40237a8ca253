// The editor's real window and state, started in-process, with a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app.h"
#include "support/bytes.h"
#include "support/dialog_answers.h"
#include "support/temp_folder.h"
#include "ui_internal.h"

namespace fs = std::filesystem;

class EditorTest : public testing::Test {
 protected:
  AppState app;
  Session& session = app.session;
  TempFolder temp;
  const fs::path& folder = temp.path;

  void SetUp() override {
    startUp(app);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
    QApplication::processEvents();
    while (waitEvent(0) != 0) {
    }
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
  static QWidget* window() { return windowRecord(layout::window)->widget; }
  static QWidget* control(int id) { return controlWidget(id); }
  // The next events as {kind, id, subtype}, up to n of them.
  static std::vector<std::array<int, 3>> next(int n, int timeoutMs = 50) {
    std::vector<std::array<int, 3>> seen;
    for (int tries = 0; tries < 200 && static_cast<int>(seen.size()) < n; ++tries) {
      const int kind = waitEvent(timeoutMs);
      if (kind == 0) break;
      if (kind != InputWithoutEvent) seen.push_back({kind, eventControl(), eventSubtype()});
    }
    return seen;
  }
  // What the user sees of the mode, in one line.
  std::string seen() const {
    std::ostringstream s;
    s << (session.previewMode ? "preview" : "edit") << (session.playing ? " playing" : "") << ", frame "
      << session.frames.index() << " of " << session.frames.count() << ", button " << getControlState(layout::playButton)
      << ", trackbar " << getControlState(layout::trackbar) << " of "
      << static_cast<QSlider*>(control(layout::trackbar))->maximum()
      << (getMenuItemChecked(layout::menuBar, menu::preview) ? ", Vorschau checked" : "")
      << (menuItemGreyed(layout::menuBar, menu::capture) ? ", Bild Speichern grey" : "") << ", "
      << windowRecord(layout::window)->client->height() << " high";
    return s.str();
  }
};
