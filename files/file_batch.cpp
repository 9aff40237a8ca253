// Files that replace their targets all together or not at all: each is written in its
// target's folder as a new file, all are flushed, and only then are they renamed over their
// targets, with the folders flushed after the renames. Everything after a folder's first
// file works on the open folder itself, so a folder moved meanwhile keeps nothing behind.
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>

#include "files_ops.h"

namespace {

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool failFile(StagedFile& file) {
  file.error = errno ? errno : EIO;
  return false;
}

bool failFolder(BatchFolder& folder) {
  folder.error = errno ? errno : EIO;
  return false;
}

const BatchFolder& folderRecord(const FileBatch& batch, int fd) {
  return *std::find_if(batch.folders.begin(), batch.folders.end(), [fd](const BatchFolder& f) { return f.fd == fd; });
}

// Local disk file systems, whose syncfs writes everything of theirs. On FUSE (NTFS and exFAT
// sticks, sshfs) and network file systems it may return having flushed nothing at all.
bool flushReachesDisk(int folder) {
  struct statfs info {};
  if (::fstatfs(folder, &info) != 0) return false;
  switch (static_cast<std::uint32_t>(info.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
    case TMPFS_MAGIC: return true;
    default: return false;
  }
}

// The folder's descriptor, opened and swept on its first file; -1 with errno.
int openFolder(FileBatch& batch, const std::string& path) {
  for (const BatchFolder& folder : batch.folders)
    if (folder.path == path) return folder.fd;
  const int fd = retried([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  struct stat info {};
  if (fd < 0 || retried([&] { return ::fstat(fd, &info); }) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  batch.folders.push_back({path, fd, info.st_dev, info.st_ino, flushReachesDisk(fd)});
  sweepStaleTemporaries(fd);
  return fd;
}

// The file a path names: through a symlink, the file it points to. Only a regular file, or
// nothing yet, may stand there; anything else fails with what it is in the entry.
bool resolveTarget(FileBatch& batch, const std::string& path, StagedFile& file) {
  file.folder = openFolder(batch, folderOf(path));
  file.name = nameOf(path);
  struct stat info {};
  if (file.folder < 0) return false;
  if (retried([&] { return ::fstatat(file.folder, file.name.c_str(), &info, AT_SYMLINK_NOFOLLOW); }) != 0)
    return errno == ENOENT;
  if (S_ISLNK(info.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    while (!real && errno == EINTR) real = ::realpath(path.c_str(), nullptr);
    if (!real) {
      if (errno == ENOENT) file.inTheWay = S_IFLNK;
      return false;
    }
    const std::string target = real;
    std::free(real);
    file.folder = openFolder(batch, folderOf(target));
    file.name = nameOf(target);
    if (file.folder < 0 || retried([&] { return ::fstatat(file.folder, file.name.c_str(), &info, 0); }) != 0) return false;
  }
  if (S_ISREG(info.st_mode)) return true;
  file.inTheWay = info.st_mode & S_IFMT;
  errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
  return false;
}

// Two names that lead to one file (a link to another target) would leave one of them unwritten.
bool isFirstNameOfItsFile(FileBatch& batch, StagedFile& file) {
  const BatchFolder& folder = folderRecord(batch, file.folder);
  const std::string key = std::to_string(folder.device) + ":" + std::to_string(folder.inode) + "/" + file.name;
  const auto [at, added] = batch.targets.emplace(key, static_cast<int>(batch.files.size() - 1));
  if (added) return true;
  file.sameTargetAs = at->second;
  errno = EEXIST;
  return false;
}

bool mayOverrideOwner() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  return ::syscall(SYS_capget, &header, data) == 0 && (data[0].effective & (1u << CAP_FOWNER)) != 0;
}

// What would make the rename over an existing target fail, found before anything changes: the
// immutable and append-only flags, and a sticky folder where neither the file nor the folder
// is ours.
bool replaceable(StagedFile& file) {
  struct statx target {}, folder {};
  if (retried([&] { return ::statx(file.folder, file.name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_UID, &target); }) != 0)
    return errno == ENOENT;
  if (retried([&] { return ::statx(file.folder, "", AT_EMPTY_PATH, STATX_UID | STATX_MODE, &folder); }) != 0) return false;
  const uid_t self = ::geteuid();
  if (target.stx_attributes & STATX_ATTR_IMMUTABLE) file.guard = StagedFile::Guard::Immutable;
  else if ((target.stx_attributes | folder.stx_attributes) & STATX_ATTR_APPEND) file.guard = StagedFile::Guard::AppendOnly;
  else if ((folder.stx_mode & S_ISVTX) && target.stx_uid != self && folder.stx_uid != self && !mayOverrideOwner())
    file.guard = StagedFile::Guard::StickyFolder;
  if (file.guard == StagedFile::Guard::None) return true;
  errno = EPERM;
  return false;
}

// An unnamed file where the file system offers one, so that a crash leaves nothing behind.
int createNewFile(StagedFile& file) {
  const int fd = retried([&] { return ::openat(file.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  for (int attempt = 0; attempt < 16; ++attempt) {
    file.temporary = temporaryName();
    const int named = retried([&] {
      return ::openat(file.folder, file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    });
    if (named >= 0 || errno != EEXIST) {
      if (named < 0) file.temporary.clear();
      return named;
    }
  }
  file.temporary.clear();
  return -1;
}

// The replaced file's permission bits, and its owner where the process may set it.
bool keepOwnerAndMode(const StagedFile& file) {
  struct stat old {}, made {};
  if (retried([&] { return ::fstatat(file.folder, file.name.c_str(), &old, 0); }) != 0) return errno == ENOENT;
  if (retried([&] { return ::fstat(file.fd, &made); }) != 0) return false;
  const bool sameOwner = old.st_uid == made.st_uid && old.st_gid == made.st_gid;
  if (!sameOwner && retried([&] { return ::fchown(file.fd, old.st_uid, old.st_gid); }) != 0 && errno != EPERM) return false;
  return (old.st_mode & 07777) == (made.st_mode & 07777) || retried([&] { return ::fchmod(file.fd, old.st_mode & 07777); }) == 0;
}

// Gives an unnamed file a temporary name in its folder, ready for the rename.
bool nameFile(StagedFile& file) {
  if (!file.temporary.empty()) return true;
  const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
  for (int attempt = 0; attempt < 16; ++attempt) {
    file.temporary = temporaryName();
    if (retried([&] { return ::linkat(AT_FDCWD, self.c_str(), file.folder, file.temporary.c_str(), AT_SYMLINK_FOLLOW); }) == 0)
      return true;
    // Without /proc, privileged processes can still link the descriptor itself.
    if (errno == ENOENT &&
        retried([&] { return ::linkat(file.fd, "", file.folder, file.temporary.c_str(), AT_EMPTY_PATH); }) == 0)
      return true;
    if (errno != EEXIST) break;
  }
  file.temporary.clear();
  return failFile(file);
}

void closeFile(StagedFile& file) {
  if (file.fd >= 0) ::close(file.fd);
  file.fd = -1;
}

// How many new files a batch keeps open: a sixteenth of the open-file limit, so that the
// program keeps descriptors to spare; the rest wait named and closed.
std::size_t openFileBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  return static_cast<std::size_t>(std::clamp<rlim_t>(limit.rlim_cur / 16, 1, 1 << 16));
}

// Names and closes the open files once the budget is spent, so that any number fits.
void makeRoom(FileBatch& batch) {
  if (batch.openLimit == 0) batch.openLimit = openFileBudget();
  if (batch.files.size() - batch.firstOpen < batch.openLimit) return;
  for (std::size_t i = batch.firstOpen; i < batch.files.size(); ++i) {
    StagedFile& file = batch.files[i];
    if (file.fd >= 0 && !file.error) nameFile(file);
    closeFile(file);
  }
  batch.firstOpen = batch.files.size();
}

// A temporary put aside named and closed, opened again.
int openTemporary(const StagedFile& file) {
  return retried([&] { return ::openat(file.folder, file.temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
}

bool staged(const StagedFile& file) { return !file.error && (file.fd >= 0 || !file.temporary.empty()); }

// A file put aside named and closed is opened again for its flush.
bool flushFile(StagedFile& file) {
  const int fd = file.fd >= 0 ? file.fd : openTemporary(file);
  const bool flushed = fd >= 0 && retried([fd] { return ::fsync(fd); }) == 0;
  if (!flushed) failFile(file);
  if (fd >= 0 && fd != file.fd) ::close(fd);
  return flushed;
}

// One flush for each file system where that reaches the disk, cheaper than one for each of the
// export's many files; elsewhere each file's own, with a look at the stop between two.
bool flushAll(FileBatch& batch, const std::atomic<bool>& stop) {
  std::set<std::uint64_t> flushed;
  for (BatchFolder& folder : batch.folders)
    if (folder.flushReachesDisk && flushed.insert(folder.device).second &&
        retried([&folder] { return ::syncfs(folder.fd); }) != 0)
      return failFolder(folder);
  return std::all_of(batch.files.begin(), batch.files.end(), [&batch, &stop](StagedFile& file) {
    return !stop && (folderRecord(batch, file.folder).flushReachesDisk || flushFile(file));
  });
}

}  // namespace

int openStagedFile(FileBatch& batch, const char* path) {
  makeRoom(batch);
  if (!path || !*path) {
    addFailedFile(batch, "", EINVAL);
    return -1;
  }
  StagedFile& file = batch.files.emplace_back();
  file.path = path;
  errno = 0;
  if (resolveTarget(batch, path, file) && isFirstNameOfItsFile(batch, file) && replaceable(file))
    file.fd = createNewFile(file);
  if (file.fd < 0 || !keepOwnerAndMode(file)) {
    failFile(file);
    discardFile(file);
    return -1;
  }
  return file.fd;
}

void addFailedFile(FileBatch& batch, const char* path, int error) {
  StagedFile& file = batch.files.emplace_back();
  file.path = path;
  file.error = error;
}

// The name goes while the file is open. A FUSE file system keeps a file whose name is removed
// while it is open under a hidden name and removes that at its release; a name removed just
// after the close can race the release, and the hidden file stays for good.
void discardFile(StagedFile& file) {
  if (!file.temporary.empty()) {
    const int held = file.fd >= 0 ? -1 : openTemporary(file);
    retried([&] { return ::unlinkat(file.folder, file.temporary.c_str(), 0); });
    if (held >= 0) ::close(held);
  }
  file.temporary.clear();
  closeFile(file);
}

bool readyFiles(FileBatch& batch, const std::atomic<bool>& stop) {
  batch.ready = std::all_of(batch.files.begin(), batch.files.end(), staged) && flushAll(batch, stop) &&
                std::all_of(batch.files.begin(), batch.files.end(), nameFile);
  if (!batch.ready) discardFiles(batch);
  return batch.ready;
}

bool commitFiles(FileBatch& batch) {
  static const std::atomic<bool> never{false};
  if (!batch.ready && !readyFiles(batch, never)) return false;
  // A target may have been made immutable or append-only while the flush took its time.
  if (!std::all_of(batch.files.begin(), batch.files.end(), [](StagedFile& file) { return replaceable(file) || failFile(file); })) {
    discardFiles(batch);
    return false;
  }
  bool renaming = true;
  for (StagedFile& file : batch.files) {
    if (renaming && retried([&file] { return ::renameat(file.folder, file.temporary.c_str(), file.folder, file.name.c_str()); }) == 0) {
      file.temporary.clear();
      file.committed = true;
    } else if (renaming) {
      renaming = failFile(file);
    }
    discardFile(file);
  }
  for (BatchFolder& folder : batch.folders) {
    const bool renamedInto = std::any_of(batch.files.begin(), batch.files.end(),
                                         [&folder](const StagedFile& f) { return f.committed && f.folder == folder.fd; });
    if (renamedInto && retried([&folder] { return ::fsync(folder.fd); }) != 0) failFolder(folder);
  }
  return std::none_of(batch.files.begin(), batch.files.end(), [](const StagedFile& f) { return f.error != 0; }) &&
         std::none_of(batch.folders.begin(), batch.folders.end(), [](const BatchFolder& f) { return f.error != 0; });
}

void discardFiles(FileBatch& batch) {
  for (StagedFile& file : batch.files) discardFile(file);
}

void endBatch(FileBatch& batch) {
  discardFiles(batch);
  for (BatchFolder& folder : batch.folders) ::close(folder.fd);
  batch.folders.clear();
}
