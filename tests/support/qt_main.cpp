// Tests of Qt widgets: one application for the whole binary, on the platform the harness sets.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  startWindowServices();
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  stopWindowServices();
  return result;
}
