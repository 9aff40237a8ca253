// The rendered pixels, pinned: today's renderer was checked byte for byte against an
// independent reference, so a changed pixel anywhere, for any pose, is a fault. The poses and
// their digests are in pinned_poses.txt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "figure.h"
#include "support/bytes.h"

namespace {

std::uint64_t digest(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  return fnv1a(record->pixels.get(), static_cast<std::size_t>(record->stride) * record->height);
}

void render(Figure& figure, ImageId image, bool withHandles, NativeHandle onion) {
  renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, image}, withHandles, onion);
}

// Each drag held until the pose settles, as the main loop runs it: "segment dx dy" from the
// Segment's start, or "segment @x y" to a point.
void pose(Figure& figure, const std::string& drags, ImageId scratch) {
  resetPose(figure);
  render(figure, scratch, false, 0);
  std::istringstream list(drags);
  for (std::string drag; std::getline(list, drag, ';');) {
    std::istringstream in(drag);
    int segment = 0, x = 0, y = 0;
    in >> segment >> std::ws;
    const bool toPoint = in.peek() == '@';
    if (toPoint) in.get();
    if (!(in >> x >> y)) continue;
    if (!toPoint) x += figure[segment].x, y += figure[segment].y;
    for (int pass = 0; pass < 3; ++pass) {
      dragUpdate(figure, segment, x, y);
      render(figure, scratch, true, 0);
    }
  }
}

TEST(PinnedRender, EveryPoseDrawsTheReferencePixels) {
  initImageStore();
  const ImageId capture = createImage(400, 400), live = createImage(400, 400);
  const ImageId onion = createImage(400, 400);
  Figure figure{};
  pose(figure, "", onion);
  render(figure, onion, false, 0);
  std::ifstream table(PINNED_POSES);
  int poses = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t bar1 = line.find('|'), bar2 = line.find('|', bar1 + 1);
    const std::string name = line.substr(0, bar1 - 1);
    std::istringstream digests(line.substr(bar2 + 1));
    std::uint64_t wantCapture = 0, wantLive = 0;
    digests >> std::hex >> wantCapture >> wantLive;
    pose(figure, line.substr(bar1 + 1, bar2 - bar1 - 1), live);
    render(figure, capture, false, 0);
    render(figure, live, true, imageHandle(onion));
    EXPECT_EQ(digest(capture), wantCapture) << name << ": capture";
    EXPECT_EQ(digest(live), wantLive) << name << ": edit view";
    ++poses;
  }
  EXPECT_EQ(poses, 73) << "the table of poses was not read whole";
  shutdownImageStore();
}

}  // namespace
