// The rendered pixels, pinned: today's renderer was checked byte for byte against an
// independent reference, so a changed pixel anywhere, for any pose, is a fault.
#include <gtest/gtest.h>

#include <vector>

#include "figure.h"

namespace {

// A drag held until the pose settles, as the main loop runs it: to (x, y), or to the
// Segment's start moved by (x, y).
struct Drag {
  int segment, x, y;
  bool fromStart = true;
};

struct Pose {
  const char* name;
  std::vector<Drag> drags;
  std::uint64_t capture, live;  // FNV-1a of the capture and of the edit view with an onion frame
};

std::uint64_t digest(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (int i = 0; i < record->stride * record->height; ++i) hash = (hash ^ record->pixels[i]) * 0x100000001B3u;
  return hash;
}

void render(Figure& figure, ImageId image, bool withHandles, NativeHandle onion) {
  renderFigure(figure, {[](std::intptr_t id) { return imageOutput(id); }, image}, withHandles, onion);
}

void pose(Figure& figure, const std::vector<Drag>& drags, ImageId scratch) {
  resetPose(figure);
  render(figure, scratch, false, 0);
  for (const Drag& d : drags) {
    const int x = d.fromStart ? figure[d.segment].x + d.x : d.x;
    const int y = d.fromStart ? figure[d.segment].y + d.y : d.y;
    for (int pass = 0; pass < 3; ++pass) {
      dragUpdate(figure, d.segment, x, y);
      render(figure, scratch, true, 0);
    }
  }
}

// Each Segment into each quadrant; a forearm, a shin and the head (odd lengths) at 30 + 60k degrees, where their
// end vectors round at .5; bones past every edge; the upper arms stretched and shortened.
const Pose poses[] = {
    {"initial", {}, 0xE09BC465CF6A0D60u, 0x197490A04A39B78Eu},
    {"0 north-east", {{0, 40, -40}}, 0xF847A9768B1F8C1Au, 0x2AAE16E3C48350F9u},
    {"0 south-east", {{0, 40, 40}}, 0x2B048ACF03EB34F3u, 0x8EB418578BC04FF6u},
    {"0 south-west", {{0, -40, 40}}, 0xBD3C9C152DBCBD9Eu, 0x4D7BF1A36D2E3A5Fu},
    {"0 north-west", {{0, -40, -40}}, 0xA33C950E19C39E5Cu, 0xEF3D0E65383446EAu},
    {"1 north-east", {{1, 40, -40}}, 0x92652A4B4AFABA0Bu, 0x6ABE028F35039ADBu},
    {"1 south-east", {{1, 40, 40}}, 0xDE0396B818B46A93u, 0x81B1B7D563F597AFu},
    {"1 south-west", {{1, -40, 40}}, 0x5994AD14AEAFAE74u, 0x7D0C12F0554CBD53u},
    {"1 north-west", {{1, -40, -40}}, 0xDA2B696AF13633D0u, 0xD6C348DD6CC574C0u},
    {"2 north-east", {{2, 40, -40}}, 0x3AA9D6435043670Eu, 0xFE76E323CD0365C6u},
    {"2 south-east", {{2, 40, 40}}, 0x77005C37735872F2u, 0x6062D8DBD38B6861u},
    {"2 south-west", {{2, -40, 40}}, 0x74FB2E1C26CB0933u, 0x3D5197B61BCE966Au},
    {"2 north-west", {{2, -40, -40}}, 0xC4D35C13B88F2B5Au, 0x1B52843CCEBBCCEDu},
    {"3 north-east", {{3, 40, -40}}, 0x9E66E861439E78D2u, 0x11CAD046B4A12C3Eu},
    {"3 south-east", {{3, 40, 40}}, 0x24347AB2957E4CDCu, 0x7EAE66E354BC9860u},
    {"3 south-west", {{3, -40, 40}}, 0x57DD6182D2805FEBu, 0xEEA9353AA2042977u},
    {"3 north-west", {{3, -40, -40}}, 0xAEF72AF321B8A829u, 0xA3EA757AF4C4F1CFu},
    {"4 north-east", {{4, 40, -40}}, 0xD2BA805DBE37C5D9u, 0xC93FE535ECF90501u},
    {"4 south-east", {{4, 40, 40}}, 0x09E08FA2655BD59Fu, 0x114845973151AFAFu},
    {"4 south-west", {{4, -40, 40}}, 0x32247659C6875EA0u, 0xA97A6D12F56E6973u},
    {"4 north-west", {{4, -40, -40}}, 0x5B220E28E007B0F1u, 0x27E57E682FB6961Bu},
    {"5 north-east", {{5, 40, -40}}, 0x994016A362334A38u, 0x386B0B4928ABC23Au},
    {"5 south-east", {{5, 40, 40}}, 0x7419BC4FCAF28FCCu, 0x1AB9F65DB47BC0D2u},
    {"5 south-west", {{5, -40, 40}}, 0x27EC97973B38563Eu, 0x4B99F621B6112A00u},
    {"5 north-west", {{5, -40, -40}}, 0x2754DBA7A5EAF442u, 0xCDA9C2B9243EC249u},
    {"6 north-east", {{6, 40, -40}}, 0x44E4489B766CA937u, 0xBE6292EC55986272u},
    {"6 south-east", {{6, 40, 40}}, 0xE6453B096FF39078u, 0x4F0566CFBB88B013u},
    {"6 south-west", {{6, -40, 40}}, 0x9BD445060EB632F7u, 0x5C4FB08AA11E32D1u},
    {"6 north-west", {{6, -40, -40}}, 0x84AB973B353CF5ABu, 0x54568EE410E685E4u},
    {"7 north-east", {{7, 40, -40}}, 0xED715A309CC0C8AAu, 0x6F116BBBEA5ABF24u},
    {"7 south-east", {{7, 40, 40}}, 0x763DE5C977361B48u, 0x79425CAC0EBACF40u},
    {"7 south-west", {{7, -40, 40}}, 0xAFC14E28C9B6C382u, 0xA48CCFEC921A0342u},
    {"7 north-west", {{7, -40, -40}}, 0x15F2E83D5D7D6330u, 0x9E041C290B332236u},
    {"8 north-east", {{8, 40, -40}}, 0x8C2904BD24C4CFADu, 0xFD954827EB740906u},
    {"8 south-east", {{8, 40, 40}}, 0xAD60BAA4C84F482Eu, 0xEE02B64160E71BFCu},
    {"8 south-west", {{8, -40, 40}}, 0x4BFE7A4D3191E07Eu, 0x346245291E83BC7Bu},
    {"8 north-west", {{8, -40, -40}}, 0xC3CB7452FAB4AA6Du, 0x33A798ACE812B8E9u},
    {"9 north-east", {{9, 40, -40}}, 0xCB604867C5F2B6A6u, 0x5FE17126A26C61A8u},
    {"9 south-east", {{9, 40, 40}}, 0x773C62298DA26457u, 0x8B77EEA3B2E1FB35u},
    {"9 south-west", {{9, -40, 40}}, 0x96C970163E5D3B6Fu, 0x978DBB9041EB4BE6u},
    {"9 north-west", {{9, -40, -40}}, 0xE2193C2D10296666u, 0xAA071A2A0DDE2CC5u},
    {"10 north-east", {{10, 40, -40}}, 0xB76768D31015EA31u, 0x67BDDCB210F7DFA3u},
    {"10 south-east", {{10, 40, 40}}, 0xAE7171D1E4821663u, 0x718CDE4099322680u},
    {"10 south-west", {{10, -40, 40}}, 0x4F4BBFC9EBA3F1A7u, 0x08E154FD8925A3C9u},
    {"10 north-west", {{10, -40, -40}}, 0x844E62FE30981591u, 0xFA180222EE4DC0FFu},
    {"1 at 30 degrees", {{1, 50, -87}}, 0xEA5C0322EE1E261Fu, 0xA4633DF2F928141Bu},
    {"1 at 90 degrees", {{1, 100, 0}}, 0x61CCC62AC054617Eu, 0x1EC6E4ADCF3A6C11u},
    {"1 at 150 degrees", {{1, 50, 87}}, 0x6CD4D94949A91058u, 0xFCAFCDB4F8D0BA6Au},
    {"1 at 210 degrees", {{1, -50, 87}}, 0xC3057E294F8C8758u, 0x6B1052B270C81697u},
    {"1 at 270 degrees", {{1, -100, 0}}, 0x29CB8E1427AD0150u, 0x83C7CB8B927A0138u},
    {"1 at 330 degrees", {{1, -50, -87}}, 0x57A40278BA9046E4u, 0xE998EAB1852B2DC0u},
    {"5 at 30 degrees", {{5, 50, -87}}, 0x585CCEABB2BB139Cu, 0xDD48C317B5AADEB2u},
    {"5 at 90 degrees", {{5, 100, 0}}, 0xE9879E66511BEE38u, 0xA5545280C3003E3Au},
    {"5 at 150 degrees", {{5, 50, 87}}, 0x09B324ED8C346280u, 0x35FE97979873DD64u},
    {"5 at 210 degrees", {{5, -50, 87}}, 0x4BC1AF03365888EEu, 0x1CE22362011CAED2u},
    {"5 at 270 degrees", {{5, -100, 0}}, 0x485FDD17316C23BBu, 0xAAE6E0E272102D5Au},
    {"5 at 330 degrees", {{5, -50, -87}}, 0x0CB36B5CD4923FEBu, 0x5D964CE54E29A2E1u},
    {"10 at 30 degrees", {{10, 50, -87}}, 0x4FD6F5A9E519AD96u, 0x701604A85E9CABE4u},
    {"10 at 90 degrees", {{10, 100, 0}}, 0xC9467E8D00E5BCFBu, 0x1A105C3892A217FFu},
    {"10 at 150 degrees", {{10, 50, 87}}, 0xF59FA65E196670CDu, 0x5CCDAF7C2AB1425Fu},
    {"10 at 210 degrees", {{10, -50, 87}}, 0x8FED47F1EB49C624u, 0x3256307F16C1DBF4u},
    {"10 at 270 degrees", {{10, -100, 0}}, 0xE3FED280DF03C26Fu, 0xCF0EF1F4FE4DB26Au},
    {"10 at 330 degrees", {{10, -50, -87}}, 0xA8C23A3F4C84B1EEu, 0xCC4C8726D11EC716u},
    {"left arm past the left edge", {{9, 0, 230, false}, {0, 0, 230, false}, {1, 0, 230, false}}, 0x21AFC2D277FE489Bu, 0x7A3B5160CBF552B2u},
    {"right arm past the left edge", {{9, 0, 230, false}, {2, 0, 200, false}, {3, 0, 200, false}}, 0xA49EB668092729E2u, 0xCC0D0D041273ADA9u},
    {"head past the left edge", {{9, 0, 230, false}, {10, 0, 230, false}}, 0xD7333AB7B70FC54Au, 0x6D9281652150C4B4u},
    {"left leg past the right edge", {{8, 399, 100, false}, {4, 399, 100, false}, {5, 399, 100, false}}, 0xB160EDE244F5C2D0u, 0x4AAC24101529F67Bu},
    {"right leg past the right edge", {{8, 399, 100, false}, {6, 399, 160, false}, {7, 399, 160, false}}, 0xE74EC6B8F9CFDC4Du, 0x9FCB43F5C8D80573u},
    {"forearm past the bottom edge", {{9, 200, 399, false}, {0, 200, 399, false}, {1, 200, 399, false}}, 0xBC27660211AF3361u, 0x217FFC621F436805u},
    {"hip past the top edge", {{8, 200, 0, false}}, 0x5D6E30F4BD3E662Eu, 0x83FFD64B0FD89496u},
    {"left upper arm stretched", {{0, -80, 60}}, 0x5C96C1FF8AC272F0u, 0xF0479712258257A2u},
    {"left upper arm between", {{0, -30, 30}}, 0x6A6DCE884EB5E44Cu, 0x7383BFF66CA6E57Du},
    {"right upper arm shortened", {{2, 5, 5}}, 0x5896F302B53E1EC0u, 0x369755C94E3D6E9Du},
};

TEST(PinnedRender, EveryPoseDrawsTheReferencePixels) {
  initImageStore();
  const ImageId capture = createImage(AutoId, 400, 400), live = createImage(AutoId, 400, 400);
  const ImageId onion = createImage(AutoId, 400, 400);
  Figure figure{};
  pose(figure, {}, onion);
  render(figure, onion, false, 0);
  for (const Pose& p : poses) {
    pose(figure, p.drags, live);
    render(figure, capture, false, 0);
    render(figure, live, true, imageHandle(onion));
    EXPECT_EQ(digest(capture), p.capture) << p.name << ": capture";
    EXPECT_EQ(digest(live), p.live) << p.name << ": edit view";
  }
  shutdownImageStore();
}

}  // namespace
