// The names of a batch's temporaries and the sweep of those a killed export left. A name tells
// the machine (and PID namespace), its boot and the process that wrote it, so that a folder
// shared over the network never loses another machine's live temporaries; those nobody can
// prove dead go once they are a day old.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "files_ops.h"

namespace {

// .limbrik-<machine>-<boot>-<process>-<counter>.tmp, each field eight lower-case hex digits.
constexpr char prefix[] = ".limbrik-";
constexpr std::size_t prefixLength = sizeof prefix - 1;
constexpr char suffix[] = ".tmp";
constexpr std::size_t fieldCount = 4;
constexpr std::size_t nameLength = prefixLength + fieldCount * 9 - 1 + sizeof suffix - 1;

struct Origin {
  std::uint32_t machine = 0;
  std::uint32_t boot = 0;
  bool namespaceKnown = false;  // without it, no process id here can be compared with one in a name
};

// Longer than any export takes: a temporary left untouched for so long has no writer any more,
// whatever machine or namespace made it.
constexpr std::time_t abandonedAfter = 24 * 60 * 60;

std::string firstLine(const char* path) {
  const std::string text = smallFile(path);
  return text.substr(0, text.find('\n'));
}

std::uint32_t fnv1a32(const std::string& text) {
  std::uint32_t hash = 0x811C9DC5u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x01000193u;
  return hash;
}

// Process ids are only comparable inside one PID namespace of one machine.
Origin thisOrigin() {
  std::string machine = firstLine("/etc/machine-id");
  if (machine.empty()) {
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    machine = host;
  }
  char space[64] = {};
  const bool known = ::readlink("/proc/self/ns/pid", space, sizeof space - 1) > 0;
  return {fnv1a32(machine + space), fnv1a32(firstLine("/proc/sys/kernel/random/boot_id")), known};
}

// Read once for each process: a forked child may live in other namespaces.
const Origin& origin() {
  static Origin value;
  static pid_t readFor = 0;
  if (readFor != ::getpid()) {
    value = thisOrigin();
    readFor = ::getpid();
  }
  return value;
}

std::string nameOf(const std::uint32_t (&fields)[fieldCount]) {
  char name[nameLength + 1];
  std::snprintf(name, sizeof name, "%s%08x-%08x-%08x-%08x%s", prefix, fields[0], fields[1], fields[2], fields[3], suffix);
  return name;
}

// The fields of a name exactly as this program writes it, which writing them gives again;
// false for any other name.
bool readName(const char* name, std::uint32_t (&fields)[fieldCount]) {
  if (std::strlen(name) != nameLength) return false;
  for (std::size_t f = 0; f < fieldCount; ++f) {
    const char* at = name + prefixLength + f * 9;
    fields[f] = 0;
    std::from_chars(at, at + 8, fields[f], 16);
  }
  return nameOf(fields) == name;
}

// A temporary that no export can still be writing: one of this machine, namespace and boot
// whose process has ended, or an abandoned one. Another boot's temporary is not proven dead:
// a clone of this machine may be writing it now.
bool isStale(const std::uint32_t (&fields)[fieldCount], const struct stat& info) {
  if (std::time(nullptr) - info.st_mtime > abandonedAfter) return true;
  const Origin& here = origin();
  if (!here.namespaceKnown || fields[0] != here.machine || fields[1] != here.boot) return false;
  const std::uint32_t pid = fields[2];
  return pid != 0 && pid <= static_cast<std::uint32_t>(INT_MAX) && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
         errno == ESRCH;
}

}  // namespace

std::string smallFile(const char* path) {
  char buffer[4096];
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string temporaryName() {
  static std::atomic<std::uint32_t> counter{0};
  const std::uint32_t fields[fieldCount] = {origin().machine, origin().boot, static_cast<std::uint32_t>(::getpid()), counter++};
  return nameOf(fields);
}

void sweepStaleTemporaries(int folder) {
  DIR* dir = listFolder(folder);
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    std::uint32_t fields[fieldCount];
    struct stat info {};
    if (!readName(entry->d_name, fields) || ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && isStale(fields, info))
      ::unlinkat(folder, entry->d_name, 0);
  }
  ::closedir(dir);
}
