#include <gtest/gtest.h>

#include "raster.h"

namespace {

class ImageStore : public testing::Test {
 protected:
  void SetUp() override { initImageStore(); }
  void TearDown() override { shutdownImageStore(); }
};

TEST_F(ImageStore, AutomaticIdsAreDistinctCheckedAndBlack) {
  const ImageId a = createImage(AutoId, 400, 400);
  const ImageId b = createImage(AutoId, 400, 400);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_GE(a, 16);
  EXPECT_NE(imageHandle(a), 0u);
  EXPECT_NE(imageHandle(a), imageHandle(b));
  const ImageRecord* record = lookupImage(a);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->width, 400);
  EXPECT_EQ(record->depth, 24);
  EXPECT_EQ(record->saveDepth, 24);
  for (int i = 0; i < 480000; ++i) ASSERT_EQ(record->pixels[i], 0);

  const NativeHandle handleOfA = imageHandle(a);
  releaseImage(a);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(imageHandle(a), 0u);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  releaseImage(a);  // twice: nothing happens
  const ImageId c = createImage(AutoId, 400, 400);  // may reuse a's slot, never its id
  EXPECT_NE(c, a);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_NE(imageHandle(c), handleOfA);
  EXPECT_EQ(lookupImage((ImageId{1} << 56) | 0xFFFFFF), nullptr);
  EXPECT_EQ(lookupImage(b ^ (ImageId{1} << 30)), nullptr);
  EXPECT_EQ(lookupImage(123456789), nullptr);
  EXPECT_EQ(lookupImage(-7), nullptr);
  EXPECT_EQ(lookupHandle(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(lookupHandle(0), nullptr);
}

TEST_F(ImageStore, NumbersReuseTheirSlotAndGrowTheTable) {
  const auto first = static_cast<NativeHandle>(createImage(5, 10, 10));
  ASSERT_NE(first, 0u);
  EXPECT_EQ(imageHandle(5), first);
  const auto second = static_cast<NativeHandle>(createImage(5, 20, 10));
  EXPECT_EQ(lookupHandle(first), nullptr);
  EXPECT_EQ(imageHandle(5), second);
  EXPECT_EQ(lookupImage(5)->width, 20);
  EXPECT_EQ(liveImageCount(), 1u);

  ASSERT_NE(createImage(20, 4, 4), 0);
  for (ImageId n = 0; n < 36; ++n)
    if (n != 5 && n != 20) {
      EXPECT_EQ(lookupImage(n), nullptr) << n;
    }
  EXPECT_EQ(createImage(5, 0, 10), 0);  // a failed re-creation leaves the number empty
  EXPECT_EQ(lookupImage(5), nullptr);
  EXPECT_EQ(createImage(-5, 4, 4), 0);
  EXPECT_EQ(createImage(AutoId, 40000, 4), 0);
}

TEST_F(ImageStore, ShutdownReleasesEverything) {
  const ImageId a = createImage(AutoId, 8, 8);
  createImage(3, 8, 8);
  const ImageId b = createImage(AutoId, 8, 8);
  EXPECT_EQ(liveImageCount(), 3u);
  shutdownImageStore();
  EXPECT_EQ(liveImageCount(), 0u);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupImage(b), nullptr);
  EXPECT_EQ(lookupImage(3), nullptr);
}

}  // namespace
