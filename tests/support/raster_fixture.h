// A fresh store and an open drawing surface over a blank Image, for primitive tests.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "raster.h"

using PixelSet = std::set<std::pair<int, int>>;

class SurfaceTest : public testing::Test {
 protected:
  void open(int width, int height) {
    initImageStore();
    ASSERT_NE(beginDrawing(imageOutput(createImage(width, height))), 0);
    fillRectangle(0, 0, width, height, 0xFFFFFF);
  }
  void TearDown() override {
    endDrawing();
    shutdownImageStore();
  }
};
