#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "raster.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | b[at + i];
  return value;
}

class BitmapFile : public testing::Test {
 protected:
  TempFolder folder;
  void SetUp() override { initImageStore(); }
  void TearDown() override { shutdownImageStore(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path), {}));
  }
  std::string at(const char* name) const { return (folder.path / name).string(); }
  std::string content(const char* name) const {
    std::ifstream in(folder.path / name);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(BitmapFile, AnEmptyFrameGivesTheHeadersAndZeroPixels) {
  const ImageId image = createImage(AutoId, 400, 400);
  ASSERT_EQ(saveImageAsBitmap(image, at("empty.bmp").c_str()), 1);
  const auto b = fileBytes(at("empty.bmp"));
  ASSERT_EQ(b.size(), 480054u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  const std::pair<std::size_t, std::uint32_t> fields[] = {{2, 480054}, {6, 0},  {10, 54}, {14, 40}, {18, 400},
                                                          {22, 400},   {30, 0}, {34, 480000}, {38, 0}, {42, 0},
                                                          {46, 0},     {50, 0}};
  for (const auto& [offset, value] : fields) EXPECT_EQ(le(b, offset, 4), value) << offset;
  EXPECT_EQ(le(b, 26, 2), 1u);
  EXPECT_EQ(le(b, 28, 2), 24u);
  for (std::size_t i = 54; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
  EXPECT_EQ(entries(), 1u);  // no temporary file left beside it
}

TEST_F(BitmapFile, PixelsLieBottomUpInBlueGreenRedAndRowsArePadded) {
  const ImageId image = createImage(AutoId, 400, 400);
  ASSERT_NE(beginDrawing(imageOutput(image)), 0);
  plot(0, 0, 0x0000FF);
  plot(399, 399, 0x00FF00);
  endDrawing();
  ASSERT_EQ(saveImageAsBitmap(image, at("corners.bmp").c_str()), 1);
  const auto b = fileBytes(at("corners.bmp"));
  EXPECT_EQ(le(b, 54 + 399 * 1200, 3), 0xFF0000u);  // top left: the bytes 00 00 FF
  EXPECT_EQ(le(b, 54 + 399 * 3, 3), 0x00FF00u);

  for (int width : {1, 5}) {
    const ImageId narrow = createImage(AutoId, width, 2);
    ASSERT_NE(beginDrawing(imageOutput(narrow)), 0);
    fillRectangle(0, 0, width, 2, 0xFFFFFF);
    endDrawing();
    ASSERT_EQ(saveImageAsBitmap(narrow, at("narrow.bmp").c_str()), 1);
    const auto n = fileBytes(at("narrow.bmp"));
    const std::size_t rowBytes = width == 1 ? 4 : 16;
    ASSERT_EQ(n.size(), 54 + 2 * rowBytes);
    for (std::size_t i = 0; i < 2 * rowBytes; ++i)
      EXPECT_EQ(n[54 + i], i % rowBytes < std::size_t(width) * 3 ? 0xFF : 0x00) << width << " " << i;
  }
}

TEST_F(BitmapFile, TopDownSourcesAreWrittenRowByRow) {
  const std::uint8_t pixels[2 * 8] = {1, 2, 3, 4, 5, 6, 9, 9,  // top row, then the source's own padding
                                      7, 8, 9, 10, 11, 12, 9, 9};
  ASSERT_EQ(writeBitmapFile(at("rows.bmp").c_str(), pixels, 8, 2, 2, 24, 0, 7, 24), 1);
  const auto b = fileBytes(at("rows.bmp"));
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 54, b.end()),
            (std::vector<std::uint8_t>{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(writeBitmapFile(at("rows.bmp").c_str(), pixels, 8, 2, 2, 24, 0, 7, 16), 0);
  EXPECT_EQ(writeBitmapFile(at("rows.bmp").c_str(), pixels, 8, 2, 0, 24, 0, 7, 24), 1);
  EXPECT_EQ(fileBytes(at("rows.bmp")).size(), 54u);
}

TEST_F(BitmapFile, RefusedAndFailedSavesLeaveEverythingAsItWas) {
  const ImageId image = createImage(AutoId, 4, 4);
  EXPECT_EQ(saveImageAsBitmap(image, ""), 0);
  EXPECT_EQ(saveImageAsBitmap(image, nullptr), 0);
  EXPECT_EQ(saveImageAsBitmap(0, at("none.bmp").c_str()), 0);
  EXPECT_EQ(saveImage(image, at("png.bmp").c_str(), 1, 7, -1), 0);
  EXPECT_EQ(saveImageAsBitmap(image, at("missing/x.bmp").c_str()), 0);
  EXPECT_EQ(entries(), 0u);
  fs::create_directory(folder.path / "taken");
  EXPECT_EQ(saveImageAsBitmap(image, at("taken").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(folder.path / "taken"));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(BitmapFile, ASaveReplacesTheOldFileOnlyWhenItIsComplete) {
  const ImageId image = createImage(AutoId, 400, 400);
  std::ofstream(folder.path / "frame.bmp") << "old content";
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;  // the headers go through, the pixels do not
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = saveImageAsBitmap(image, at("frame.bmp").c_str());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(content("frame.bmp"), "old content");
  EXPECT_EQ(entries(), 1u);
  ASSERT_EQ(saveImageAsBitmap(image, at("frame.bmp").c_str()), 1);
  EXPECT_EQ(fs::file_size(folder.path / "frame.bmp"), 480054u);
  EXPECT_EQ(entries(), 1u);
}

}  // namespace

namespace {

TEST_F(BitmapFile, EveryLegalNameIsWrittenAndALongerOneFailsCleanly) {
  const ImageId image = createImage(AutoId, 4, 4);
  const std::string longest(255, 'b');
  ASSERT_EQ(saveImageAsBitmap(image, at(longest.c_str()).c_str()), 1);
  EXPECT_EQ(fs::file_size(folder.path / longest), 102u);
  ASSERT_EQ(saveImageAsBitmap(image, at(longest.c_str()).c_str()), 1);  // replacing it works as well
  EXPECT_EQ(saveImageAsBitmap(image, at((longest + "b").c_str()).c_str()), 0);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(BitmapFile, AReplacedFileKeepsItsModeAndALinkStaysALink) {
  const ImageId image = createImage(AutoId, 4, 4);
  std::ofstream(folder.path / "private.bmp") << "old";
  fs::permissions(folder.path / "private.bmp", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(saveImageAsBitmap(image, at("private.bmp").c_str()), 1);
  EXPECT_EQ(fs::status(folder.path / "private.bmp").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::file_size(folder.path / "private.bmp"), 102u);

  fs::create_directory(folder.path / "real");
  std::ofstream(folder.path / "real" / "frame.bmp") << "old";
  fs::create_symlink("real/frame.bmp", folder.path / "link.bmp");
  ASSERT_EQ(saveImageAsBitmap(image, at("link.bmp").c_str()), 1);
  EXPECT_TRUE(fs::is_symlink(folder.path / "link.bmp"));
  EXPECT_EQ(fs::file_size(folder.path / "real" / "frame.bmp"), 102u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), {}), 1);  // nothing left beside it
}

TEST_F(BitmapFile, ADanglingLinkOrALoopFailsAndStaysAsItWas) {
  const ImageId image = createImage(AutoId, 4, 4);
  fs::create_symlink("nowhere.bmp", folder.path / "dangling.bmp");
  fs::create_symlink("loop-b", folder.path / "loop-a");
  fs::create_symlink("loop-a", folder.path / "loop-b");
  EXPECT_EQ(saveImageAsBitmap(image, at("dangling.bmp").c_str()), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(saveImageAsBitmap(image, at("loop-a").c_str()), 0);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(entries(), 3u);
  EXPECT_FALSE(fs::exists(folder.path / "nowhere.bmp"));
}

TEST_F(BitmapFile, ABatchWritesWhatItCanAndLeavesNoNewFileUncommitted) {
  const ImageId image = createImage(AutoId, 4, 4);
  std::ofstream(folder.path / "a.bmp") << "old";
  {
    FileBatch abandoned;
    ASSERT_TRUE(stageBitmap(abandoned, image, at("a.bmp").c_str()));
    ASSERT_TRUE(stageBitmap(abandoned, image, at("b.bmp").c_str()));
  }
  EXPECT_EQ(content("a.bmp"), "old");
  EXPECT_EQ(entries(), 1u);

  FileBatch batch;
  EXPECT_TRUE(stageBitmap(batch, image, at("a.bmp").c_str()));
  EXPECT_FALSE(stageBitmap(batch, image, at("missing/b.bmp").c_str()));
  EXPECT_TRUE(stageBitmap(batch, image, at("c.bmp").c_str()));
  EXPECT_EQ(content("a.bmp"), "old");  // nothing replaced before the commit
  EXPECT_FALSE(commitFiles(batch));
  EXPECT_EQ(batch.files[1].error, ENOENT);
  EXPECT_EQ(fs::file_size(folder.path / "a.bmp"), 102u);
  EXPECT_EQ(fs::file_size(folder.path / "c.bmp"), 102u);
  EXPECT_EQ(entries(), 2u);
}

}  // namespace
