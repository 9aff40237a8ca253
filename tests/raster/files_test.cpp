// Files as the export writes them: a replaced file keeps its permission bits, its owner and
// the link that named it; and a batch killed with SIGKILL at random moments, under an
// open-file limit that makes most of its files wait named, leaves every name with its old
// file or the complete new one, and the next batch into the folder removes what it left.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "raster_ops.h"
#include "support/bytes.h"
#include "support/fuse_mount.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(BitmapFile, AReplacedFileKeepsModeOwnerAndLinkAndItsFolderWhereverItWent) {
  const TempFolder folder;
  initImageStore();
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
  FileBatch batch;  // a folder renamed while its files are written: they land where it went
  ASSERT_TRUE(stageBitmap(batch, createImage(8, 8), (folder.path / "real" / "frame.bmp").c_str()));
  fs::rename(folder.path / "real", folder.path / "moved");
  ASSERT_TRUE(commitFiles(batch));
  EXPECT_EQ(fs::file_size(folder.path / "moved" / "frame.bmp"), 246u);
  EXPECT_FALSE(fs::exists(folder.path / "real"));
  shutdownImageStore();
}

// On FUSE a flush of the file system reaches nothing: once the batch is ready, every new file
// must be whole on the disk itself, as the file system's own image shows.
TEST(FileBatch, ReadyFilesAreOnTheDiskOfAFuseFileSystem) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting through FUSE needs root";
  const TempFolder folder;
  const FuseMount mount(folder.path, "1M");
  ASSERT_TRUE(mount.mounted);
  initImageStore();
  FileBatch batch;
  for (const char* name : {"a.bmp", "b.bmp"}) ASSERT_TRUE(stageBitmap(batch, createImage(4, 4), (mount.at / name).c_str()));
  ASSERT_TRUE(readyFiles(batch, std::atomic<bool>{false}));
  for (const StagedFile& file : batch.files) EXPECT_EQ(mount.sizeOnDisk(file.temporary), 102) << file.temporary;
  endBatch(batch);
  shutdownImageStore();
}

constexpr int files = 40;

pid_t startBatch(const fs::path& folder) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a batch that never ends dies with a test that gave up on it
  const rlimit low{48, 48};  // three new files open at a time
  ::setrlimit(RLIMIT_NOFILE, &low);
  initImageStore();
  FileBatch batch;
  for (int i = 0; i < files; ++i) {
    const ImageId image = createImage(200, 200);
    beginDrawing(imageOutput(image));
    fillRectangle(i, i, 50, 50, 0x102030u * static_cast<Color>(i + 1));
    endDrawing();
    if (!stageBitmap(batch, image, (folder / ("frame" + std::to_string(i) + ".bmp")).c_str())) ::_exit(1);
  }
  ::_exit(commitFiles(batch) ? 0 : 1);
}

int waitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// Without /proc no PID namespace is told apart from another, so a temporary named as one of
// this process's own may be another namespace's live one: it is never proven dead.
TEST(FileBatchKilled, WithoutProcNoTemporaryCountsAsOwnedByAnEndedProcess) {
  if (::geteuid() != 0) GTEST_SKIP() << "hiding /proc needs root";
  const TempFolder folder;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::umount2("/proc", MNT_DETACH) != 0)
      ::_exit(2);
    const std::string own = temporaryName();  // .limbrik-<machine>-<boot>-<process>-<counter>.tmp
    const fs::path lookalike = folder.path / (own.substr(0, 27) + "7ffffffe" + own.substr(35));
    std::ofstream(lookalike) << "another namespace's, being written";
    initImageStore();
    FileBatch batch;  // its first file sweeps the folder
    ::_exit(stageBitmap(batch, createImage(4, 4), (folder.path / "a.bmp").c_str()) && fs::exists(lookalike) ? 0 : 1);
  }
  EXPECT_EQ(waitFor(child), 0);
}

TEST(FileBatchKilled, EveryNameHoldsTheOldOrTheCompleteNewFile) {
  const TempFolder reference;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(waitFor(startBatch(reference.path)), 0);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  const auto fresh = folderState(reference.path);
  ASSERT_EQ(fresh.size(), std::size_t{files});
  std::mt19937 random(20261207);
  std::uniform_int_distribution<long long> moment(0, took.count() * 6 / 5);
  int leftovers = 0;
  for (int run = 0; run < 15; ++run) {
    const TempFolder folder;
    for (const auto& [name, what] : fresh) std::ofstream(folder.path / name) << "old";
    const auto old = folderState(folder.path);
    const pid_t pid = startBatch(folder.path);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(pid, SIGKILL);
    waitFor(pid);
    for (const auto& [name, what] : folderState(folder.path)) {
      if (fresh.count(name)) {
        EXPECT_TRUE(what == fresh.at(name) || what == old.at(name)) << name << ", run " << run;
      } else {
        EXPECT_EQ(name.rfind(".limbrik-", 0), 0u) << name;
        ++leftovers;
      }
    }
    ASSERT_EQ(waitFor(startBatch(folder.path)), 0);
    EXPECT_EQ(folderState(folder.path), fresh) << "run " << run;
  }
  EXPECT_GT(leftovers, 0) << "no kill left a temporary for the next batch to remove";
}

}  // namespace
