// Posing (where each handle takes the pointer, which way the pointer turns a segment) and
// what the pinned pixels cannot see: when a render draws again and when it keeps its work.
#include <gtest/gtest.h>

#include "figure.h"

namespace {

// Where each handle of the initial pose lies: the ends of Segments 0 to 10.
constexpr int handles[segmentCount][2] = {{190, 159}, {185, 214}, {210, 159}, {215, 214}, {206, 300}, {208, 365},
                                          {194, 300}, {192, 365}, {200, 230}, {200, 100}, {200, 35}};

TEST(HitTest, EachHandleIsOpenFourPixelsToEverySideAndNoFurther) {
  initImageStore();
  Figure figure{};
  resetPose(figure);
  const ImageId scratch = createImage(400, 400);  // a render leaves the end vectors
  renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, scratch}, false, 0);
  shutdownImageStore();
  for (int i = 0; i < segmentCount; ++i) {
    const int x = handles[i][0], y = handles[i][1];
    EXPECT_EQ(hitTest(figure, x, y), i);
    for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      EXPECT_EQ(hitTest(figure, x + 4 * dx, y + 4 * dy), i) << i << " at " << dx << "," << dy;
      EXPECT_EQ(hitTest(figure, x + 5 * dx, y + 5 * dy), -1) << i << " at " << dx << "," << dy;
    }
  }
  EXPECT_EQ(hitTest(figure, 20, 20), -1);
}

TEST(PointerAngle, ClockwiseFromUpInNinetyToFourHundredFifty) {
  const int cases[][3] = {{110, 100, 90}, {100, 110, 180}, {90, 100, 270}, {100, 90, 360}, {110, 90, 405}};
  for (const auto& [x, y, angle] : cases) EXPECT_EQ(pointerAngle(x, y, 100, 100), angle) << x << "," << y;
  EXPECT_EQ(pointerAngle(-1, -1, 200, 230), 319);
  Figure figure{};
  resetPose(figure);
  dragUpdate(figure, 0, figure[0].x + 63, figure[0].y);  // an upper arm stretches towards the pointer only up to its longest
  EXPECT_EQ(figure[0].length, 60);
}

class Render : public testing::Test {
 protected:
  Figure figure{};
  ImageId image = 0;
  void SetUp() override {
    initImageStore();
    resetPose(figure);
    image = createImage(400, 400);
  }
  void TearDown() override { shutdownImageStore(); }
};

TEST_F(Render, TheOnionSkinIsAlwaysTheFrameGivenNow) {
  const ImageId black = createImage(400, 400), white = createImage(400, 400);
  for (const auto& [frame, color] : {std::pair{black, Color{0}}, {white, Color{0xFFFFFF}}}) {
    ASSERT_NE(beginDrawing(imageOutput(frame)), 0);  // one pass each: the same revision
    fillRectangle(0, 0, 400, 400, color);
    endDrawing();
  }
  const RenderTarget target{[](std::intptr_t id) { return imageOutput(id); }, image};
  for (const auto& [onion, corner] : {std::pair{black, Color{0xAFAFAF}}, {white, Color{0xFFFFFF}}, {black, Color{0xAFAFAF}}}) {
    renderFigure(figure, target, true, imageHandle(onion));  // as each new capture becomes the last frame
    ASSERT_NE(beginDrawing(imageOutput(image)), 0);
    EXPECT_EQ(readPixel(10, 10), corner) << "the onion of the frame before";
    endDrawing();
  }
}

TEST_F(Render, AnUnchangedSceneIsNotDrawnAgain) {
  const RenderTarget tracked{[](std::intptr_t id) { return imageOutput(id); }, image,
                             [](std::intptr_t id) { return lookupImage(id)->revision; }};
  const auto drawsAgain = [&](bool withHandles) {
    lookupImage(image)->pixels[0] = 7;  // behind the render's back: not a drawing pass
    renderFigure(figure, tracked, withHandles, 0);
    return lookupImage(image)->pixels[0] != 7;
  };
  const std::uint32_t before = lookupImage(image)->revision;
  renderFigure(figure, tracked, true, 0);
  EXPECT_EQ(lookupImage(image)->revision, before + 1) << "the render's pass is over: the target shows it";
  EXPECT_FALSE(drawsAgain(true));
  figure[0].angle += 5;
  EXPECT_TRUE(drawsAgain(true)) << "a new pose";
  ASSERT_NE(beginDrawing(imageOutput(image)), 0);
  endDrawing();
  EXPECT_TRUE(drawsAgain(true)) << "another pass on the target";
  EXPECT_TRUE(drawsAgain(false)) << "without handles";
  figure[0].dx = 1234;
  renderFigure(figure, {[](std::intptr_t) -> DrawSurface* { return nullptr; }, 0}, true, 0);
  EXPECT_EQ(figure[0].dx, 1234) << "a render that cannot begin changes nothing";
}

}  // namespace
