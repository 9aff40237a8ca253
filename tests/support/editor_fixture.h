// The editor's real window and state, started in-process, with a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app.h"
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

  void SetUp() override { ASSERT_TRUE(startUp(app)); }
  void TearDown() override { shutDown(); }
  // One pass of the loop without waiting for input.
  void pass() {
    handleEvent(app, waitEvent(0));
    updateView(app);
    confirmQuit(app);
  }
  void captureMany(int n) {
    for (int i = 0; i < n; ++i) {
      session.figure[0].angle = 100 + 20 * i;  // a different pose each time
      captureFrame(session);
    }
  }
  static std::vector<std::uint8_t> bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<std::string> filesByAge() const {
    std::vector<std::pair<std::int64_t, std::string>> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
      struct stat info {};
      ::stat(entry.path().c_str(), &info);
      found.push_back({info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec, entry.path().filename().string()});
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const auto& [when, name] : found) names.push_back(name);
    return names;
  }
  static QWidget* window() { return windowRecord(layout::window)->widget; }
  static int innerHeight() { return windowRecord(layout::window)->client->height(); }
  // The pixel colour of a frame's Image.
  static Color pixelOf(ImageId image, int x, int y) {
    if (!beginDrawing(imageOutput(image))) return 0xFFFFFFFF;
    const Color c = readPixel(x, y);
    endDrawing();
    return c;
  }
};
