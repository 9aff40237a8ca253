#include "support/raster_test.h"

namespace {

using ImageStore = RasterTest;

TEST_F(ImageStore, IdsAndHandlesNameOneImageAndNothingOnceItIsGone) {
  const ImageId a = createImage(400, 400), b = createImage(400, 400);
  ASSERT_NE(a, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(imageHandle(a), imageHandle(b));
  const ImageRecord* record = lookupImage(a);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(lookupHandle(imageHandle(a)), record);
  for (int i = 0; i < 480000; ++i) ASSERT_EQ(record->pixels[i], 0);  // black
  const NativeHandle handleOfA = imageHandle(a);
  releaseImage(a);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  const ImageId c = createImage(400, 400);  // takes a's slot, never its id or handle
  EXPECT_NE(c, a);
  EXPECT_NE(imageHandle(c), handleOfA);
  EXPECT_EQ(lookupImage(a), nullptr);
  EXPECT_EQ(lookupHandle(handleOfA), nullptr);
  for (const ImageId madeUp : {b ^ (ImageId{1} << 40), ImageId{123456789}, ImageId{-7}, ImageId{0}})
    EXPECT_EQ(lookupImage(madeUp), nullptr) << madeUp;
  EXPECT_EQ(lookupHandle(0), nullptr);
  EXPECT_EQ(lookupHandle(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(createImage(32768, 1), 0);  // the record's 16-bit sizes end at 32767
  EXPECT_EQ(createImage(1, 0), 0);
  EXPECT_NE(createImage(32767, 1), 0);
  EXPECT_EQ(liveImageCount(), 3u);
  shutdownImageStore();
  EXPECT_EQ(liveImageCount(), 0u);
  EXPECT_EQ(lookupImage(b), nullptr);
}

}  // namespace
