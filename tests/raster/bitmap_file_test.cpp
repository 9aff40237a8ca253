#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "raster.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class BitmapFile : public testing::Test {
 protected:
  TempFolder folder;
  ImageId image = 0;
  void SetUp() override {
    initImageStore();
    image = createImage(AutoId, 4, 4);
  }
  void TearDown() override { shutdownImageStore(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path), {}));
  }
  std::string at(const std::string& name) const { return (folder.path / name).string(); }
  int save(const std::string& name) { return saveImageAsBitmap(image, at(name).c_str()); }
  std::string content(const std::string& name) const {
    std::ifstream in(folder.path / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

std::string hex(const std::string& bytes) {
  std::string text;
  for (const char c : bytes) text += "0123456789ABCDEF"[(c >> 4) & 15], text += "0123456789ABCDEF"[c & 15];
  return text;
}

TEST_F(BitmapFile, HeadersThenBottomUpRowsOfBlueGreenRedPaddedToFourBytes) {
  const ImageId frame = createImage(AutoId, 5, 2);
  ASSERT_NE(beginDrawing(imageOutput(frame)), 0);
  plot(0, 0, 0x0000FF);  // red, top left
  plot(4, 1, 0x00FF00);  // green, bottom right
  endDrawing();
  ASSERT_EQ(saveImageAsBitmap(frame, at("frame.bmp").c_str()), 1);
  EXPECT_EQ(hex(content("frame.bmp")),
            "424D" "56000000" "00000000" "36000000"  // file header: 86 bytes, pixels at 54
            "28000000" "05000000" "02000000" "0100" "1800" "00000000" "20000000" "00000000" "00000000" "00000000"
            "00000000"                                  // info header: 5 x 2, 24 bits, 32 bytes of pixels
            "000000" "000000" "000000" "000000" "00FF00" "00"   // the bottom row first, padded to 16 bytes
            "0000FF" "000000" "000000" "000000" "000000" "00");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(BitmapFile, TopDownSourcesAreWrittenRowByRowWithoutTheirOwnPadding) {
  const std::uint8_t pixels[2 * 8] = {1, 2, 3, 4, 5, 6, 9, 9, 7, 8, 9, 10, 11, 12, 9, 9};  // the top row first
  ASSERT_EQ(writeBitmapFile(at("rows.bmp").c_str(), pixels, 8, 2, 2, 24, 0, 7, 24), 1);
  EXPECT_EQ(content("rows.bmp").substr(54), (std::string{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(writeBitmapFile(at("rows.bmp").c_str(), pixels, 8, 2, 2, 24, 0, 7, 16), 0);  // 24 bits only
}

// The failures a user can cause are checked through the export's message; these are the rest.
TEST_F(BitmapFile, RefusedSavesLeaveEverythingAsItWas) {
  EXPECT_EQ(saveImageAsBitmap(image, ""), 0);
  EXPECT_EQ(saveImageAsBitmap(image, nullptr), 0);
  EXPECT_EQ(saveImageAsBitmap(0, at("none.bmp").c_str()), 0);
  EXPECT_EQ(saveImage(image, at("png.bmp").c_str(), 1, 7, -1), 0);
  fs::create_symlink("nowhere.bmp", folder.path / "dangling.bmp");
  EXPECT_EQ(save("dangling.bmp"), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(entries(), 1u);  // the link, nothing new
}

TEST_F(BitmapFile, TheLongestNameWorksAndAReplacedFileKeepsModeOwnerAndLink) {
  const std::string longest(255, 'b');
  ASSERT_EQ(save(longest), 1);
  ASSERT_EQ(save(longest), 1);  // replacing it works as well
  EXPECT_EQ(fs::file_size(folder.path / longest), 102u);
  std::ofstream(folder.path / "private.bmp") << "old";
  fs::permissions(folder.path / "private.bmp", fs::perms::owner_read | fs::perms::owner_write);
  const bool mayGiveAway = ::geteuid() == 0 && ::chown(at("private.bmp").c_str(), 0, 4321) == 0;
  ASSERT_EQ(save("private.bmp"), 1);
  EXPECT_EQ(fs::status(folder.path / "private.bmp").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  struct stat owner {};
  ::stat(at("private.bmp").c_str(), &owner);
  if (mayGiveAway) {
    EXPECT_EQ(std::make_pair(owner.st_uid, owner.st_gid), std::make_pair(0u, 4321u));
  }
  fs::create_directory(folder.path / "real");
  std::ofstream(folder.path / "real" / "frame.bmp") << "old";
  fs::create_symlink("real/frame.bmp", folder.path / "link.bmp");
  ASSERT_EQ(save("link.bmp"), 1);
  EXPECT_TRUE(fs::is_symlink(folder.path / "link.bmp"));
  EXPECT_EQ(fs::file_size(folder.path / "real" / "frame.bmp"), 102u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), {}), 1);  // nothing left beside it
  EXPECT_EQ(entries(), 4u);
}

}  // namespace
