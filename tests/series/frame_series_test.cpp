#include <gtest/gtest.h>

#include "series.h"

namespace {

TEST(FrameSeries, AppendGoesAfterTheCurrentFrameOrToTheFront) {
  FrameSeries s;
  EXPECT_EQ(s.next(), nullptr);
  s.append().image = 1;  // no current Frame: at the front
  s.append().image = 2;
  s.select(0);
  s.append().image = 9;  // directly after Frame 0
  EXPECT_EQ(s.index(), 1);
  s.reset();
  s.append().image = 8;
  std::vector<ImageId> walked;
  s.reset();
  while (const Frame* f = s.next()) walked.push_back(f->image);
  EXPECT_EQ(walked, (std::vector<ImageId>{8, 1, 9, 2}));
  EXPECT_EQ(s.index(), 3);  // the end keeps the last Frame current
  EXPECT_EQ(s.select(4), nullptr);
  EXPECT_EQ(s.index(), -1);
  EXPECT_EQ(s.last()->image, 2);
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
