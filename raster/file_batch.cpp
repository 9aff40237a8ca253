// Files that replace their targets all together or not at all: each is written beside its
// target as a new file, all are flushed, and only then are they renamed over their targets,
// with the folders flushed after the renames.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
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

// Short and of one length, so that a target of the longest legal name still has one; the
// process id tells a later export whether its owner still runs.
constexpr char temporaryPattern[] = ".limbrik-%08x-%08x.tmp";
constexpr int temporaryLength = 30;

std::string temporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  char name[32];
  std::snprintf(name, sizeof name, temporaryPattern, static_cast<unsigned>(::getpid()), counter++);
  return folder + name;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// The file a path names: through a symlink, the file it points to. Only a regular file, or
// nothing yet, may stand there; anything else fails with what it is in the entry.
bool resolveTarget(const char* path, StagedFile& file) {
  file.target = path;
  struct stat info {};
  if (::lstat(path, &info) != 0) return errno == ENOENT;  // a missing folder fails at the open
  if (S_ISLNK(info.st_mode)) {
    char* real = ::realpath(path, nullptr);
    if (!real) {
      if (errno == ENOENT) file.inTheWay = S_IFLNK;
      return false;
    }
    file.target = real;
    std::free(real);
    if (::stat(file.target.c_str(), &info) != 0) return false;
  }
  if (S_ISREG(info.st_mode)) return true;
  file.inTheWay = info.st_mode & S_IFMT;
  errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
  return false;
}

// Temporaries that a killed export left in the folder, once their process has ended.
void sweepStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    unsigned pid = 0, count = 0;
    int length = 0;
    if (std::sscanf(entry->d_name, ".limbrik-%8x-%8x.tmp%n", &pid, &count, &length) != 2 ||
        length != temporaryLength || entry->d_name[length] != '\0' || pid == 0 || pid > 0x7FFFFFFFu)
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
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
  return fail(file);
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

void sweepOnce(FileBatch& batch, const std::string& folder) {
  if (std::find(batch.folders.begin(), batch.folders.end(), folder) != batch.folders.end()) return;
  batch.folders.push_back(folder);
  sweepStaleTemporaries(folder);
}

bool staged(const StagedFile& file) { return !file.error && (file.fd >= 0 || !file.temporary.empty()); }

// One flush for each file system, cheaper than one for each of the export's many files.
bool flushAll(FileBatch& batch) {
  std::map<std::uint64_t, bool> flushed;
  for (StagedFile& file : batch.files) {
    if (!flushed.emplace(file.device, true).second) continue;
    const int fd = file.fd >= 0 ? file.fd : ::open(file.temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    if (!ok) fail(file);
    if (fd >= 0 && fd != file.fd) ::close(fd);
    if (!ok) return false;
  }
  return true;
}

void flushFolder(const std::string& folder, StagedFile& reportTo) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) fail(reportTo);
  if (fd >= 0) ::close(fd);
}

}  // namespace

int openStagedFile(FileBatch& batch, const char* path) {
  makeRoom(batch);
  StagedFile& file = batch.files.emplace_back();
  errno = 0;
  if (!path || !*path) {
    file.error = EINVAL;
    return -1;
  }
  if (resolveTarget(path, file)) {
    const std::string folder = folderOf(file.target);
    sweepOnce(batch, folder);
    file.fd = createNewFile(folder, file.temporary);
  }
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
  const bool ready = std::all_of(batch.files.begin(), batch.files.end(), staged) && flushAll(batch) &&
                     std::all_of(batch.files.begin(), batch.files.end(), nameFile);
  if (!ready) {
    discardFiles(batch);
    return false;
  }
  std::map<std::string, StagedFile*> folders;
  bool renaming = true;
  for (StagedFile& file : batch.files) {
    if (renaming && ::rename(file.temporary.c_str(), file.target.c_str()) == 0) {
      file.temporary.clear();
      file.committed = true;
      folders.emplace(folderOf(file.target), &file);
    } else if (renaming) {
      renaming = fail(file);
    }
    discardFile(file);
  }
  for (const auto& [folder, first] : folders) flushFolder(folder, *first);
  return std::none_of(batch.files.begin(), batch.files.end(), [](const StagedFile& f) { return f.error != 0; });
}

void discardFiles(FileBatch& batch) {
  for (StagedFile& file : batch.files) discardFile(file);
}
