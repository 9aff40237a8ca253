#include <gtest/gtest.h>

#include "raster.h"

namespace {

TEST(ImageStore, IdsAndHandlesNameOneImageAndNothingOnceItIsGone) {
  initImageStore();
  const ImageId a = createImage(AutoId, 400, 400), b = createImage(AutoId, 400, 400);
  ASSERT_NE(a, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(imageHandle(a), imageHandle(b));
  const ImageRecord* record = lookupImage(a);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->depth, 24);
  for (int i = 0; i < 480000; ++i) ASSERT_EQ(record->pixels[i], 0);  // black
  const NativeHandle handleOfA = imageHandle(a);
  releaseImage(a);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  const ImageId c = createImage(AutoId, 400, 400);  // may take a's slot, never its id or handle
  EXPECT_NE(c, a);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  for (const ImageId madeUp : {b ^ (ImageId{1} << 30), ImageId{123456789}, ImageId{-7}})
    EXPECT_EQ(lookupImage(madeUp), nullptr) << madeUp;
  EXPECT_EQ(lookupHandle(0), nullptr);
  EXPECT_EQ(lookupHandle(0xFFFFFFFFu), nullptr);

  const auto first = static_cast<NativeHandle>(createImage(5, 10, 10));  // a number replaces its Image
  createImage(5, 20, 10);
  EXPECT_EQ(lookupHandle(first), nullptr);
  EXPECT_EQ(lookupImage(5)->width, 20);
  EXPECT_EQ(createImage(5, 0, 10), 0);  // a failed re-creation leaves the number empty
  EXPECT_EQ(lookupImage(5), nullptr);
  EXPECT_EQ(createImage(AutoId, 32768, 1), 0);  // sizes up to 32767
  EXPECT_NE(createImage(AutoId, 32767, 1), 0);
  EXPECT_EQ(createImage(-5, 4, 4), 0);
  EXPECT_EQ(liveImageCount(), 3u);
  shutdownImageStore();
  EXPECT_EQ(liveImageCount(), 0u);
  EXPECT_EQ(lookupImage(b), nullptr);
}

TEST(RowStride, BytesPerRowRoundUpToFourForEveryDepth) {
  const int depths[] = {1, 4, 8, 16, 24, 32};
  const int strides[][6] = {{4, 4, 4, 4, 4, 4}, {4, 4, 8, 12, 16, 20}, {8, 20, 36, 68, 100, 132}};
  const int widths[] = {1, 5, 33};
  for (int w = 0; w < 3; ++w)
    for (int d = 0; d < 6; ++d) EXPECT_EQ(rowStride(widths[w], depths[d]), strides[w][d]) << widths[w] << " at " << depths[d];
}

}  // namespace
