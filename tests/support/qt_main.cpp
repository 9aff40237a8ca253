// Tests of Qt widgets: one application for the whole binary, on the platform the harness sets.
#include <QApplication>

#include "support/watchdog.h"
#include "ui.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  startWindowServices();
  testing::InitGoogleTest(&argc, argv);
  watchEveryTest(std::chrono::seconds(TEST_DEADLINE_SECONDS));
  const int result = RUN_ALL_TESTS();
  stopWindowServices();
  return result;
}
