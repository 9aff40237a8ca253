// A replaced file keeps what the user set on it: its permission bits, its owner and the link
// that named it.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/raster_test.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using BitmapFile = RasterTest;

TEST_F(BitmapFile, AReplacedFileKeepsModeOwnerAndLink) {
  const TempFolder folder;
  const auto save = [&folder](ImageId image, const std::string& name) {
    FileBatch batch;
    return stageBitmap(batch, image, (folder.path / name).c_str()) && commitFiles(batch);
  };
  const ImageId image = createImage(4, 4);
  std::ofstream(folder.path / "private.bmp") << "old";
  fs::permissions(folder.path / "private.bmp", fs::perms::owner_read | fs::perms::owner_write);
  const bool mayGiveAway = ::geteuid() == 0 && ::chown((folder.path / "private.bmp").c_str(), 0, 4321) == 0;
  ASSERT_TRUE(save(image, "private.bmp"));
  EXPECT_EQ(fs::status(folder.path / "private.bmp").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  struct stat owner {};
  ::stat((folder.path / "private.bmp").c_str(), &owner);
  if (mayGiveAway) {
    EXPECT_EQ(std::make_pair(owner.st_uid, owner.st_gid), std::make_pair(0u, 4321u));
  }
  fs::create_directory(folder.path / "real");
  std::ofstream(folder.path / "real" / "frame.bmp") << "old";
  fs::create_symlink("real/frame.bmp", folder.path / "link.bmp");
  ASSERT_TRUE(save(image, "link.bmp"));
  EXPECT_TRUE(fs::is_symlink(folder.path / "link.bmp"));
  EXPECT_EQ(fs::file_size(folder.path / "real" / "frame.bmp"), 102u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path / "real"), {}), 1);  // nothing left beside it
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), {}), 3);
}

}  // namespace
