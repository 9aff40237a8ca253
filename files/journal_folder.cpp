// Where the journals live: $XDG_STATE_HOME/limbrik, else ~/.local/state/limbrik, private to
// this user, and which of its files are journals.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <tuple>

#include "files_ops.h"

namespace {

constexpr char journalPrefix[] = "frames-";

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  char buffer[4096];
  passwd entry{}, *found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

// A relative XDG_STATE_HOME counts as unset, as the base-directory convention says.
std::string stateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') return state;
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/.local/state";
}

// Makes each missing folder of the path, private to this user; false with errno.
bool makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (retried([&] { return ::mkdir(part.c_str(), 0700); }) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool isJournalName(const char* name) {
  const std::size_t length = std::strlen(name), prefix = sizeof journalPrefix - 1, suffix = sizeof journalSuffix - 1;
  return length > prefix + suffix && std::strncmp(name, journalPrefix, prefix) == 0 &&
         std::strcmp(name + length - suffix, journalSuffix) == 0;
}

}  // namespace

std::string journalFolderPath() {
  const std::string state = stateFolder();
  return state.empty() ? std::string() : state + "/limbrik";
}

int openJournalFolder() {
  const std::string path = journalFolderPath();
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  if (!makeFolders(path)) return -1;
  const int fd = retried([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
  struct stat info {};
  if (fd < 0) {
    // A link where the folder should be is refused as "not a folder": say that it is a link.
    if (errno == ENOTDIR && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) errno = ELOOP;
    return -1;
  }
  if (retried([&] { return ::fstat(fd, &info); }) != 0 || info.st_uid != ::geteuid()) {
    ::close(fd);
    errno = EACCES;  // another user's folder keeps nothing of ours
    return -1;
  }
  if ((info.st_mode & 077) != 0) retried([&] { return ::fchmod(fd, 0700); });
  return fd;
}

std::vector<std::string> journalNames(int folder) {
  std::vector<std::tuple<std::int64_t, long, std::string>> found;
  DIR* dir = listFolder(folder);
  if (!dir) return {};
  while (const dirent* entry = ::readdir(dir)) {
    struct stat info {};
    if (isJournalName(entry->d_name) &&
        retried([&] { return ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW); }) == 0 &&
        S_ISREG(info.st_mode))
      found.emplace_back(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, entry->d_name);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), std::greater<>());
  std::vector<std::string> names;
  for (auto& [seconds, nanoseconds, name] : found) names.push_back(std::move(name));
  return names;
}
