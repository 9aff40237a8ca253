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
  void SetUp() override { initImageStore(); }
  void TearDown() override { shutdownImageStore(); }
  std::string at(const std::string& name) const { return (folder.path / name).string(); }
  static bool save(ImageId image, const std::string& path) {
    FileBatch batch;
    return stageBitmap(batch, image, path.c_str()) && commitFiles(batch);
  }
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
  const ImageId frame = createImage(5, 2);
  ASSERT_NE(beginDrawing(imageOutput(frame)), 0);
  plot(0, 0, 0x0000FF);  // red, top left
  plot(4, 1, 0x00FF00);  // green, bottom right
  endDrawing();
  ASSERT_TRUE(save(frame, at("frame.bmp")));
  EXPECT_EQ(hex(content("frame.bmp")),
            "424D" "56000000" "00000000" "36000000"  // file header: 86 bytes, pixels at 54
            "28000000" "05000000" "02000000" "0100" "1800" "00000000" "20000000" "00000000" "00000000" "00000000"
            "00000000"                                  // info header: 5 x 2, 24 bits, 32 bytes of pixels
            "000000" "000000" "000000" "000000" "00FF00" "00"   // the bottom row first, padded to 16 bytes
            "0000FF" "000000" "000000" "000000" "000000" "00");
  EXPECT_FALSE(save(0, at("none.bmp")));
  EXPECT_FALSE(save(frame, ""));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), {}), 1);
}

TEST_F(BitmapFile, TheLongestNameWorksAndAReplacedFileKeepsModeOwnerAndLink) {
  const ImageId image = createImage(4, 4);
  const std::string longest(255, 'b');
  ASSERT_TRUE(save(image, at(longest)));
  ASSERT_TRUE(save(image, at(longest)));  // replacing it works as well
  EXPECT_EQ(fs::file_size(folder.path / longest), 102u);
  std::ofstream(folder.path / "private.bmp") << "old";
  fs::permissions(folder.path / "private.bmp", fs::perms::owner_read | fs::perms::owner_write);
  const bool mayGiveAway = ::geteuid() == 0 && ::chown(at("private.bmp").c_str(), 0, 4321) == 0;
  ASSERT_TRUE(save(image, at("private.bmp")));
  EXPECT_EQ(fs::status(folder.path / "private.bmp").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  struct stat owner {};
  ::stat(at("private.bmp").c_str(), &owner);
  if (mayGiveAway) {
    EXPECT_EQ(std::make_pair(owner.st_uid, owner.st_gid), std::make_pair(0u, 4321u));
  }
  fs::create_directory(folder.path / "real");
  std::ofstream(folder.path / "real" / "frame.bmp") << "old";
  fs::create_symlink("real/frame.bmp", folder.path / "link.bmp");
  ASSERT_TRUE(save(image, at("link.bmp")));
  EXPECT_TRUE(fs::is_symlink(folder.path / "link.bmp"));
  EXPECT_EQ(fs::file_size(folder.path / "real" / "frame.bmp"), 102u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), {}), 1);  // nothing left beside it
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), {}), 4);
}

}  // namespace
