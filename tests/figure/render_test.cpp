// What the pinned pixels cannot see: when a render draws again and when it keeps its work.
#include <gtest/gtest.h>

#include "figure.h"

namespace {

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
};

TEST_F(Render, AnUnchangedSceneIsNotDrawnAgain) {
  const RenderTarget tracked{[](std::intptr_t id) { return imageOutput(id); }, image,
                             [](std::intptr_t id) { return lookupImage(id)->revision; }};
  const auto drawsAgain = [&](bool withHandles) {
    lookupImage(image)->pixels[0] = 7;  // behind the render's back: not a drawing pass
    renderFigure(figure, tracked, withHandles, 0);
    return lookupImage(image)->pixels[0] != 7;
  };
  renderFigure(figure, tracked, true, 0);
  EXPECT_EQ(currentSurface(), nullptr) << "the render's pass is over: the target shows it";
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
