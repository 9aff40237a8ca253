// The editor's window layout, built through the services, for tests of the services.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui_internal.h"

struct Seen {
  int kind, id, subtype;
  bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Seen& e) {
  return out << "{" << e.kind << ", " << e.id << ", " << std::hex << e.subtype << std::dec << "}";
}

// Runs fn from inside the next event wait or dialog loop.
inline void soon(std::function<void()> fn, int ms = 0) { QTimer::singleShot(ms, qApp, std::move(fn)); }

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(openWindow(0, 0, 0, 400, 420, "Limbrik Animator", 0xC80001), 0u);
    ASSERT_NE(createMenuBar(0, nativeWindowHandle(0)), 0u);
    addMenuTitle("Datei");
    addMenuItem(0, "Neu\tStrg+N");
    addMenuItem(2, "Bild Speichern\tUmschalt+S");
    addMenuItem(3, "Vorschau\tStrg+V");
    addShortcut(0, 0x10053, 2);
    addShortcut(0, 0x20056, 3);
    canvasControl(0, 0, 0, 400, 400);
    containerControl(1, 0, 400, 400, 55);
    buttonControl(2, 5, 30, 80, 20, "Play/Pause", 0x1003);
    textControl(5, 100, 34, 25, 15, "FPS:");
    editControl(3, 130, 30, 60, 20, "25");
    trackbarControl(4, 5, 5, 390, 25, 0, 10);
    closeControlList();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windowRecord(0)->widget));
    drain();
  }
  void TearDown() override {
    stopWindowServices();
    startWindowServices();
  }
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
      if (kind == ControlEvent || kind == MenuEvent || kind == WindowClose || kind == WindowMoved)
        seen.push_back({kind, eventControl(), eventSubtype()});
    }
    return seen;
  }
  static QWidget* control(int id) { return controlWidget(id); }
  static QWidget* window() { return windowRecord(0)->widget; }
  static QWidget* client() { return windowRecord(0)->client; }
};
