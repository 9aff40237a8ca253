#include <gtest/gtest.h>

#include "series.h"

namespace {

TEST(FrameSeries, AppendInsertsAfterTheCurrentFrame) {
  FrameSeries s;
  EXPECT_EQ(s.count(), 0);
  EXPECT_EQ(s.first(), nullptr);
  EXPECT_EQ(s.last(), nullptr);
  EXPECT_EQ(s.next(), nullptr);
  s.append().image = 1;  // no current Frame: at the front
  EXPECT_EQ(s.index(), 0);
  s.append().image = 2;
  s.append().image = 3;
  s.select(0);
  s.append().image = 9;  // directly after Frame 0
  ASSERT_EQ(s.count(), 4);
  EXPECT_EQ(s.frames[1].image, 9);
  EXPECT_EQ(s.index(), 1);
  s.reset();
  s.append().image = 8;  // none current again: at the front
  EXPECT_EQ(s.frames[0].image, 8);
  s.last();
  s.append().image = 7;
  EXPECT_EQ(s.frames.back().image, 7);
  EXPECT_EQ(s.index(), 5);
}

TEST(FrameSeries, SelectNextAndReset) {
  FrameSeries s;
  for (int i = 0; i < 3; ++i) s.append().image = 10 + i;
  EXPECT_EQ(s.select(3), nullptr);
  EXPECT_EQ(s.index(), -1);
  EXPECT_EQ(s.next()->image, 10);
  EXPECT_EQ(s.select(-1), nullptr);
  EXPECT_EQ(s.current(), nullptr);
  s.select(2);
  EXPECT_EQ(s.next(), nullptr);
  EXPECT_EQ(s.index(), 2);
  s.reset();
  std::vector<ImageId> walked;
  while (const Frame* f = s.next()) walked.push_back(f->image);
  EXPECT_EQ(walked, (std::vector<ImageId>{10, 11, 12}));
  EXPECT_EQ(s.index(), 2);

  FrameSeries one;
  one.append();
  EXPECT_EQ(one.next(), nullptr);
  EXPECT_EQ(one.index(), 0);
}

TEST(FrameSeries, ClearReleasesTheImages) {
  initImageStore();
  FrameSeries s;
  for (int i = 0; i < 3; ++i) s.append().image = createImage(AutoId, 400, 400);
  s.append();  // a Frame without Image
  const ImageId kept = createImage(AutoId, 4, 4);
  s.clear();
  EXPECT_EQ(s.count(), 0);
  EXPECT_EQ(s.index(), -1);
  EXPECT_EQ(liveImageCount(), 1u);
  EXPECT_NE(lookupImage(kept), nullptr);
  shutdownImageStore();
}

}  // namespace
