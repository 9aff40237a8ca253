#include <gtest/gtest.h>

#include "figure.h"

namespace {

constexpr Color bone8 = 0x303038, bone10 = 0x30303A, handleGreen = 0x10FF10;

class Render : public testing::Test {
 protected:
  Figure figure{};
  ImageId image = 0;
  void SetUp() override {
    initImageStore();
    resetPose(figure);
    image = createImage(AutoId, 400, 400);
  }
  void TearDown() override { shutdownImageStore(); }
  void render(bool withHandles, NativeHandle onion = 0) {
    renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, image}, withHandles, onion);
  }
  Color at(int x, int y) {
    beginDrawing(imageOutput(image));
    const Color c = readPixel(x, y);
    endDrawing();
    return c;
  }
  int count(Color color, int x0, int y0, int x1, int y1) {
    beginDrawing(imageOutput(image));
    int n = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) n += readPixel(x, y) == color;
    endDrawing();
    return n;
  }
};

TEST_F(Render, CaptureShowsBonesRingAndNoHandles) {
  render(false);
  for (int y = 170; y <= 220; ++y) {
    for (int x = 197; x <= 203; ++x) ASSERT_EQ(at(x, y), bone8) << x << "," << y;
    EXPECT_EQ(at(196, y), 0xFFFFFFu);
    EXPECT_EQ(at(204, y), 0xFFFFFFu);
  }
  EXPECT_EQ(at(200, 60), 0xFFFFFFu);
  EXPECT_EQ(at(200, 34), bone10);
  EXPECT_EQ(at(200, 31), 0xFFFFFFu);
  EXPECT_EQ(count(bone10, 0, 0, 399, 88), 820);
  EXPECT_EQ(count(handleGreen, 0, 0, 399, 399), 0);
  EXPECT_EQ(at(0, 0), 0xFFFFFFu);
}

TEST_F(Render, EditViewAddsHandlesOnTop) {
  render(true);
  EXPECT_EQ(count(handleGreen, 195, 30, 204, 39), 100);  // Segment 10's handle at (200, 35)
  EXPECT_EQ(count(handleGreen, 195, 225, 204, 234), 100);  // the hip
  EXPECT_EQ(count(handleGreen, 0, 0, 399, 399), 100 * 11);
}

TEST_F(Render, OnionSkinBlendsTheFrameAndFollowsItsChanges) {
  const ImageId frame = createImage(AutoId, 400, 400);  // black: blends white to 175
  render(true, imageHandle(frame));
  EXPECT_EQ(at(10, 10), 0xAFAFAFu);
  EXPECT_EQ(at(200, 200), bone8);
  render(true, imageHandle(frame));
  EXPECT_EQ(at(10, 10), 0xAFAFAFu);

  ASSERT_NE(beginDrawing(imageOutput(frame)), 0);
  fillRectangle(0, 0, 20, 20, 0x303030);
  endDrawing();
  render(true, imageHandle(frame));
  EXPECT_EQ(at(10, 10), 0xBEBEBEu);
  EXPECT_EQ(at(30, 10), 0xAFAFAFu);

  render(false, imageHandle(frame));  // a capture never shows it
  EXPECT_EQ(at(10, 10), 0xFFFFFFu);

  const ImageId small = createImage(AutoId, 50, 50);  // other sizes blend directly
  render(true, imageHandle(small));
  EXPECT_EQ(at(10, 10), 0xAFAFAFu);
  EXPECT_EQ(at(60, 10), 0xFFFFFFu);
}

TEST_F(Render, BonesBeyondTheEdgeStayHollowAndClipped) {
  figure[2].angle = 90;  // the second upper arm points right, its forearm further right
  figure[3].x = 260;
  figure[3].y = 100;
  figure[3].angle = 90;
  figure[3].length = 150;
  render(false);
  EXPECT_EQ(at(399, 97), 0x303033u);  // the outline reaches the edge
  EXPECT_EQ(at(399, 100), 0xFFFFFFu);  // but the fill's seed lies outside
  EXPECT_EQ(at(300, 100), 0xFFFFFFu);
}

TEST_F(Render, AnUnchangedSceneIsNotDrawnAgain) {
  const RenderTarget tracked{[](std::intptr_t id) { return imageOutput(id); }, image,
                             [](std::intptr_t id) { return lookupImage(id)->revision; }};
  renderFigure(figure, tracked, true, 0);
  lookupImage(image)->pixels[0] = 7;  // behind the render's back: not a drawing pass
  renderFigure(figure, tracked, true, 0);
  EXPECT_EQ(lookupImage(image)->pixels[0], 7);
  figure[0].angle += 5;  // a new pose is drawn
  renderFigure(figure, tracked, true, 0);
  EXPECT_EQ(lookupImage(image)->pixels[0], 0xFF);
  lookupImage(image)->pixels[0] = 7;
  ASSERT_NE(beginDrawing(imageOutput(image)), 0);  // any other pass on the target counts
  endDrawing();
  renderFigure(figure, tracked, true, 0);
  EXPECT_EQ(lookupImage(image)->pixels[0], 0xFF);
  lookupImage(image)->pixels[0] = 7;
  renderFigure(figure, tracked, false, 0);  // so do the handles
  EXPECT_EQ(lookupImage(image)->pixels[0], 0xFF);
}

TEST_F(Render, ARenderThatCannotBeginChangesNothing) {
  render(false);
  figure[0].dx = 1234;
  renderFigure(figure, {[](std::intptr_t) -> DrawSurface* { return nullptr; }, 0}, true, 0);
  EXPECT_EQ(figure[0].dx, 1234);
}

}  // namespace
