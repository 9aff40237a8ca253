// A fresh store and an open drawing surface over a blank Image, for primitive tests.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "raster.h"

using PixelSet = std::set<std::pair<int, int>>;

class SurfaceTest : public testing::Test {
 protected:
  ImageId image = 0;

  void open(int width, int height, Color background = 0xFFFFFF) {
    initImageStore();
    image = createImage(AutoId, width, height);
    ASSERT_NE(image, 0);
    ASSERT_NE(beginDrawing(imageOutput(image)), 0);
    fillRectangle(0, 0, width, height, background);
  }
  void TearDown() override {
    endDrawing();
    shutdownImageStore();
  }
  static PixelSet pixelsOf(Color color) {
    PixelSet set;
    const DrawSurface* s = currentSurface();
    for (int y = 0; y < s->height; ++y)
      for (int x = 0; x < s->width; ++x)
        if (readPixel(x, y) == color) set.insert({x, y});
    return set;
  }
  // Half-width of each row's run, from the centre row outwards, checking each run is unbroken.
  static std::vector<int> halfWidths(const PixelSet& set, int cx, int cy) {
    std::vector<int> widths;
    for (int dy = 0;; ++dy) {
      int count = 0, left = 1 << 30, right = -(1 << 30);
      for (const auto& [x, y] : set) {
        if (y != cy + dy) continue;
        ++count;
        left = std::min(left, x);
        right = std::max(right, x);
      }
      if (count == 0) break;
      EXPECT_EQ(right - left + 1, count) << "row " << dy << " is not one run";
      EXPECT_EQ(cx - left, right - cx) << "row " << dy << " is not centred";
      widths.push_back(right - cx);
    }
    return widths;
  }
};
