// Files that replace their targets all or nothing each: written beside the target as a new
// file, flushed, then renamed over it, with the folder flushed after the rename.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "raster.h"

namespace {

// Short and of one length, so that a target of the longest legal name still has one.
std::string temporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  char name[32];
  std::snprintf(name, sizeof name, ".limbrik-%08x-%08x.tmp", static_cast<unsigned>(::getpid()), counter++);
  return folder + name;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// The file a path names: through a symlink, the file it points to; a dangling link or a
// loop is an error.
bool resolveTarget(const char* path, std::string& target) {
  struct stat link {};
  if (::lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) {
    target = path;
    return true;
  }
  char* real = ::realpath(path, nullptr);
  if (!real) return false;
  target = real;
  std::free(real);
  return true;
}

// An unnamed file where the file system offers one, so that a crash leaves nothing behind.
int createNewFile(const std::string& folder, std::string& temporary) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = temporaryName(folder);
    const int named = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (named >= 0 || errno != EEXIST) {
      if (named < 0) temporary.clear();
      return named;
    }
  }
  temporary.clear();
  return -1;
}

// The replaced file's permission bits, and its owner where the process may set it.
bool keepOwnerAndMode(int fd, const std::string& target) {
  struct stat old {}, made {};
  if (::stat(target.c_str(), &old) != 0) return errno == ENOENT;
  if (::fstat(fd, &made) != 0) return false;
  const bool sameOwner = old.st_uid == made.st_uid && old.st_gid == made.st_gid;
  if (!sameOwner && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) return false;
  return (old.st_mode & 07777) == (made.st_mode & 07777) || ::fchmod(fd, old.st_mode & 07777) == 0;
}

bool fail(StagedFile& file) {
  file.error = errno ? errno : EIO;
  return false;
}

// Gives an unnamed file a temporary name in its folder, ready for the rename.
bool nameFile(StagedFile& file) {
  if (!file.temporary.empty()) return true;
  const std::string folder = folderOf(file.target);
  const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
  for (int attempt = 0; attempt < 16; ++attempt) {
    file.temporary = temporaryName(folder);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    // Without /proc, privileged processes can still link the descriptor itself.
    if (errno == ENOENT && ::linkat(file.fd, "", AT_FDCWD, file.temporary.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EEXIST) break;
  }
  file.temporary.clear();
  return false;
}

void closeFile(StagedFile& file) {
  if (file.fd >= 0) ::close(file.fd);
  file.fd = -1;
}

void flushFolder(const std::string& folder, StagedFile& reportTo) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) fail(reportTo);
  if (fd >= 0) ::close(fd);
}

}  // namespace

int openStagedFile(FileBatch& batch, const char* path) {
  StagedFile& file = batch.files.emplace_back();
  errno = 0;
  if (!path || !*path) {
    file.error = EINVAL;
    return -1;
  }
  if (resolveTarget(path, file.target)) file.fd = createNewFile(folderOf(file.target), file.temporary);
  if (file.fd < 0 || !keepOwnerAndMode(file.fd, file.target)) {
    fail(file);
    discardFile(file);
    return -1;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) == 0) file.device = info.st_dev;
  return file.fd;
}

void discardFile(StagedFile& file) {
  closeFile(file);
  if (!file.temporary.empty()) ::unlink(file.temporary.c_str());
  file.temporary.clear();
}

bool commitFiles(FileBatch& batch) {
  // One flush for each file system, whose failure fails all its files; a file committed
  // alone is flushed alone.
  std::map<std::uint64_t, int> flushes;  // device: errno of its flush, 0 when it held
  for (StagedFile& file : batch.files) {
    if (file.error || file.fd < 0) continue;
    const auto [flush, first] = flushes.try_emplace(file.device, 0);
    const bool alone = batch.files.size() == 1;
    if (first && (alone ? ::fsync(file.fd) : ::syncfs(file.fd)) != 0) flush->second = errno ? errno : EIO;
    file.error = flush->second;
  }
  std::map<std::string, StagedFile*> folders;
  for (StagedFile& file : batch.files) {
    if (!file.error && file.fd >= 0 && nameFile(file) && ::rename(file.temporary.c_str(), file.target.c_str()) == 0) {
      file.temporary.clear();
      file.committed = true;
      folders.emplace(folderOf(file.target), &file);
    } else if (!file.error) {
      fail(file);
    }
    discardFile(file);
  }
  for (const auto& [folder, first] : folders) flushFolder(folder, *first);
  for (const StagedFile& file : batch.files)
    if (file.error) return false;
  return true;
}

void discardFiles(FileBatch& batch) {
  for (StagedFile& file : batch.files) discardFile(file);
}

std::size_t batchCapacity() {
  // Every staged file stays open until its rename; take what the hard limit allows.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 256;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  const rlim_t usable = std::min<rlim_t>(limit.rlim_cur, 1 << 20);
  return static_cast<std::size_t>(usable > 128 ? usable - 64 : usable / 2);
}
