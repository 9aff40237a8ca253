#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "raster.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

class BitmapFile : public testing::Test {
 protected:
  fs::path folder;
  void SetUp() override {
    initImageStore();
    char name[] = "/tmp/limbrik-bmp-XXXXXX";
    folder = ::mkdtemp(name);
  }
  void TearDown() override {
    shutdownImageStore();
    fs::remove_all(folder);
  }
  std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }
  void writeOld(const fs::path& path) { std::ofstream(path) << "old content"; }
};

TEST_F(BitmapFile, EmptyImageGivesTheHeadersAndZeroPixels) {
  const ImageId image = createImage(AutoId, 400, 400);
  const fs::path path = folder / "empty.bmp";
  ASSERT_EQ(saveImageAsBitmap(image, path.c_str()), 1);
  const auto b = fileBytes(path);
  ASSERT_EQ(b.size(), 480054u);
  EXPECT_EQ(b[0], 0x42);
  EXPECT_EQ(b[1], 0x4D);
  EXPECT_EQ(le32(b, 2), 480054u);
  EXPECT_EQ(le32(b, 6), 0u);
  EXPECT_EQ(le32(b, 10), 54u);
  EXPECT_EQ(le32(b, 14), 40u);
  EXPECT_EQ(le32(b, 18), 400u);
  EXPECT_EQ(le32(b, 22), 400u);
  EXPECT_EQ(b[26] | b[27] << 8, 1);
  EXPECT_EQ(b[28] | b[29] << 8, 24);
  EXPECT_EQ(le32(b, 30), 0u);
  EXPECT_EQ(le32(b, 34), 480000u);
  for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(le32(b, at), 0u);
  for (std::size_t at = 54; at < b.size(); ++at) ASSERT_EQ(b[at], 0) << at;
  EXPECT_EQ(entries(), 1u);  // no temporary file left beside it
}

TEST_F(BitmapFile, PixelsLieBottomUpInBlueGreenRed) {
  const ImageId image = createImage(AutoId, 400, 400);
  ASSERT_NE(beginDrawing(imageOutput(image)), 0);
  plot(0, 0, 0x0000FF);
  plot(399, 399, 0x00FF00);
  endDrawing();
  const fs::path path = folder / "corners.bmp";
  ASSERT_EQ(saveImageAsBitmap(image, path.c_str()), 1);
  const auto b = fileBytes(path);
  const std::size_t topLeft = 54 + 399 * 1200, bottomRight = 54 + 399 * 3;
  EXPECT_EQ(b[topLeft], 0x00);
  EXPECT_EQ(b[topLeft + 1], 0x00);
  EXPECT_EQ(b[topLeft + 2], 0xFF);
  EXPECT_EQ(b[bottomRight + 1], 0xFF);
}

TEST_F(BitmapFile, NarrowRowsArePaddedWithZeros) {
  for (int width : {1, 5}) {
    const ImageId image = createImage(AutoId, width, 2);
    ASSERT_NE(beginDrawing(imageOutput(image)), 0);
    fillRectangle(0, 0, width, 2, 0xFFFFFF);
    endDrawing();
    const fs::path path = folder / (std::to_string(width) + "w.bmp");
    ASSERT_EQ(saveImageAsBitmap(image, path.c_str()), 1);
    const auto b = fileBytes(path);
    const std::size_t rowBytes = width == 1 ? 4 : 16;
    ASSERT_EQ(b.size(), 54 + 2 * rowBytes);
    EXPECT_EQ(le32(b, 34), 2 * rowBytes);
    for (std::size_t row = 0; row < 2; ++row)
      for (std::size_t i = 0; i < rowBytes; ++i)
        EXPECT_EQ(b[54 + row * rowBytes + i], i < std::size_t(width) * 3 ? 0xFF : 0x00);
  }
}

TEST_F(BitmapFile, TopDownSourcesAreWrittenRowByRow) {
  const std::uint8_t pixels[2 * 8] = {1, 2, 3, 4, 5, 6, 9, 9,  // top row, then padding of the source
                                      7, 8, 9, 10, 11, 12, 9, 9};
  const fs::path path = folder / "rows.bmp";
  ASSERT_EQ(writeBitmapFile(path.c_str(), pixels, 8, 2, 2, 24, 0, 7, 24), 1);
  const auto b = fileBytes(path);
  ASSERT_EQ(b.size(), 54u + 16u);
  const std::vector<std::uint8_t> rows(b.begin() + 54, b.end());
  EXPECT_EQ(rows, (std::vector<std::uint8_t>{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(writeBitmapFile(path.c_str(), pixels, 8, 2, 2, 24, 0, 7, 16), 0);
  EXPECT_EQ(writeBitmapFile(path.c_str(), pixels, 8, 2, 0, 24, 0, 7, 24), 1);
  EXPECT_EQ(fileBytes(path).size(), 54u);
}

TEST_F(BitmapFile, RefusedSavesTouchNothing) {
  const ImageId image = createImage(AutoId, 4, 4);
  EXPECT_EQ(saveImageAsBitmap(image, ""), 0);
  EXPECT_EQ(saveImageAsBitmap(image, nullptr), 0);
  EXPECT_EQ(saveImageAsBitmap(0, (folder / "none.bmp").c_str()), 0);
  EXPECT_EQ(saveImage(image, (folder / "png.bmp").c_str(), 1, 7, -1), 0);
  EXPECT_EQ(saveImageAsBitmap(image, (folder / "missing" / "x.bmp").c_str()), 0);
  EXPECT_EQ(entries(), 0u);
}

TEST_F(BitmapFile, SavingOverAnExistingFileReplacesIt) {
  const ImageId image = createImage(AutoId, 400, 400);
  const fs::path path = folder / "frame.bmp";
  writeOld(path);
  ASSERT_EQ(saveImageAsBitmap(image, path.c_str()), 1);
  EXPECT_EQ(fs::file_size(path), 480054u);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(BitmapFile, AFolderInTheWayFailsAndStays) {
  const ImageId image = createImage(AutoId, 4, 4);
  const fs::path path = folder / "taken";
  fs::create_directory(path);
  EXPECT_EQ(saveImageAsBitmap(image, path.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(BitmapFile, AWriteThatFailsPartwayKeepsTheOldFile) {
  const ImageId image = createImage(AutoId, 400, 400);
  const fs::path path = folder / "frame.bmp";
  writeOld(path);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;  // the header goes through, the pixels do not
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = saveImageAsBitmap(image, path.c_str());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 0);
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "old content");
  EXPECT_EQ(entries(), 1u);
}

}  // namespace
