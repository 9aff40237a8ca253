// A fresh image store for each test, and no drawing pass left open by a failed one.
#pragma once

#include <gtest/gtest.h>

#include "raster.h"

class RasterTest : public testing::Test {
 protected:
  void SetUp() override { initImageStore(); }
  void TearDown() override {
    endDrawing();
    shutdownImageStore();
  }
};
