#include <gtest/gtest.h>

#include <cmath>

#include "figure.h"

namespace {

// Renders into a scratch Image so that the end vectors are refreshed, as on screen.
void refresh(Figure& figure) {
  initImageStore();
  const ImageId image = createImage(AutoId, 400, 400);
  renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, image}, false, 0);
  shutdownImageStore();
}

std::pair<int, int> endOf(const Segment& s) {
  return {roundToInt(s.x + static_cast<double>(s.dx), 0), roundToInt(s.y + static_cast<double>(s.dy), 0)};
}

class Posing : public testing::Test {
 protected:
  Figure figure{};
  void SetUp() override {
    resetPose(figure);
    refresh(figure);
  }
  // The loop's order: drag update, then render.
  void drag(int index, int px, int py, int passes = 3) {
    for (int i = 0; i < passes; ++i) {
      dragUpdate(figure, index, px, py);
      refresh(figure);
    }
  }
};

TEST_F(Posing, InitialPoseStartsAndEnds) {
  const std::pair<int, int> childStarts[] = {{190, 159}, {210, 159}, {206, 300}, {194, 300}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(std::make_pair(figure[2 * i + 1].x, figure[2 * i + 1].y), childStarts[i]);
  const std::pair<int, std::pair<int, int>> ends[] = {{8, {200, 230}}, {9, {200, 100}}, {10, {200, 35}}, {1, {185, 214}},
                                                      {3, {215, 214}}, {5, {208, 365}}, {7, {192, 365}}};
  for (const auto& [index, end] : ends) EXPECT_EQ(endOf(figure[index]), end) << index;
  EXPECT_EQ(figure[0].maxLength, 60);
  EXPECT_EQ(figure[1].maxLength, 0);
}

TEST_F(Posing, HitTestFindsOpenSquaresLowestIndexFirst) {
  EXPECT_EQ(hitTest(figure, 200, 231), 8);
  EXPECT_EQ(hitTest(figure, 200, 100), 9);
  EXPECT_EQ(hitTest(figure, 200, 35), 10);
  EXPECT_EQ(hitTest(figure, 190, 159), 0);
  EXPECT_EQ(hitTest(figure, 205, 231), -1);
  EXPECT_EQ(hitTest(figure, 196, 231), 8);
  EXPECT_EQ(hitTest(figure, 195, 231), -1);
  EXPECT_EQ(hitTest(figure, 20, 20), -1);
}

TEST(PointerAngle, ClockwiseFromUpInNinetyToFourHundredFifty) {
  EXPECT_EQ(pointerAngle(110, 100, 100, 100), 90);
  EXPECT_EQ(pointerAngle(100, 110, 100, 100), 180);
  EXPECT_EQ(pointerAngle(90, 100, 100, 100), 270);
  EXPECT_EQ(pointerAngle(100, 90, 100, 100), 360);
  EXPECT_EQ(pointerAngle(110, 90, 100, 100), 405);
  EXPECT_EQ(pointerAngle(100, 130, 200, 230), 315);
  EXPECT_EQ(pointerAngle(-1, -1, 200, 230), 319);
  EXPECT_FALSE(pointerAngle(100, 100, 100, 100).has_value());
}

TEST_F(Posing, PointerOnTheJointKeepsTheAngle) {
  drag(1, figure[1].x, figure[1].y);
  EXPECT_EQ(figure[1].angle, 185);
  drag(0, 200, 100);
  EXPECT_EQ(figure[0].angle, 190);
}

TEST_F(Posing, UpperArmLengthIsClampedAndTheForearmFollows) {
  drag(0, 195, 110);
  EXPECT_EQ(figure[0].length, 20);
  EXPECT_EQ(std::make_pair(figure[1].x, figure[1].y), endOf(figure[0]));
  drag(0, 170, 130);
  EXPECT_EQ(figure[0].length, 42);  // round(sqrt(30^2 + 30^2))
  drag(0, 0, 390);
  EXPECT_EQ(figure[0].length, 60);
  EXPECT_EQ(figure[1].length, 55);
  EXPECT_EQ(std::make_pair(figure[1].x, figure[1].y), endOf(figure[0]));
  drag(2, 400, 100);
  EXPECT_EQ(figure[2].angle, 90);
  EXPECT_EQ(std::make_pair(figure[3].x, figure[3].y), std::make_pair(260, 100));
}

TEST_F(Posing, TorsoSwingsAboutTheNeckWithHipAndLegs) {
  for (int step = 0; step < 36; ++step) {
    const double a = step * 10 * 3.14159265358979 / 180;
    drag(8, 200 + static_cast<int>(100 * std::sin(a)), 100 - static_cast<int>(100 * std::cos(a)), 2);
    EXPECT_EQ(figure[8].x, 200);
    EXPECT_EQ(figure[8].y, 100);
    EXPECT_EQ(figure[9].angle, figure[8].angle + 180);
    EXPECT_EQ(std::make_pair(figure[9].x, figure[9].y), endOf(figure[8]));
    EXPECT_EQ(std::make_pair(figure[4].x, figure[4].y), endOf(figure[8]));
    EXPECT_EQ(std::make_pair(figure[5].x, figure[5].y), endOf(figure[4]));
  }
  EXPECT_GT(figure[9].angle, 360);
}

TEST_F(Posing, TorsoSwingsAboutTheHipWithNeckArmsAndHead) {
  drag(9, 270, 160);
  EXPECT_EQ(figure[9].x, 200);
  EXPECT_EQ(figure[9].y, 230);
  EXPECT_EQ(figure[9].angle, 405);
  EXPECT_EQ(figure[8].angle, 225);
  for (int i : {0, 2, 8, 10}) EXPECT_EQ(std::make_pair(figure[i].x, figure[i].y), endOf(figure[9])) << i;
  EXPECT_EQ(std::make_pair(figure[1].x, figure[1].y), endOf(figure[0]));
  drag(9, 200, 10);
  EXPECT_EQ(figure[9].angle, 360);
  EXPECT_EQ(figure[8].angle, 180);
}

}  // namespace
