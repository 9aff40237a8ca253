// How much memory this process may still take before the tightest of its limits: the address
// space (RLIMIT_AS, which prlimit can change while it runs), the memory of its own cgroup, and
// the system's commit limit when overcommit is strict.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "raster_ops.h"

namespace {

// The number after a label in a text; -1 without one.
long long numberAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return -1;
  const char* start = text.c_str() + at + label.size();
  char* end = nullptr;
  const long long value = std::strtoll(start, &end, 10);
  return end == start ? -1 : value;
}

// The number a small file starts with; -1 without one ("max" among them).
long long numberInFile(const char* path) { return numberAfter(smallFile(path), ""); }

long long addressSpaceRoom() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return LLONG_MAX;
  const long long pages = numberInFile("/proc/self/statm");
  if (pages < 0) return LLONG_MAX;
  return static_cast<long long>(limit.rlim_cur) - pages * ::sysconf(_SC_PAGESIZE);
}

// The files of this process's own cgroup that give its memory limit and use: those of a v1
// memory controller where there is one, else v2's.
struct CgroupFiles {
  std::string limit, usage;
};

CgroupFiles cgroupFiles() {
  std::string text(1, '\n');  // so that the first line starts after one, as the others do
  text += smallFile("/proc/self/cgroup");
  const auto pathAfter = [&text](const std::string& key) -> std::string {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() - 1;  // the path's leading '/'
    const std::size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  };
  if (const std::string v1 = pathAfter(":memory:/"); !v1.empty())
    return {"/sys/fs/cgroup/memory" + v1 + "/memory.limit_in_bytes", "/sys/fs/cgroup/memory" + v1 + "/memory.usage_in_bytes"};
  if (const std::string v2 = pathAfter("\n0::/"); !v2.empty())
    return {"/sys/fs/cgroup" + v2 + "/memory.max", "/sys/fs/cgroup" + v2 + "/memory.current"};
  return {};
}

long long cgroupRoom() {
  static const CgroupFiles files = cgroupFiles();  // a process does not move itself to another cgroup
  if (files.limit.empty()) return LLONG_MAX;
  const long long limit = numberInFile(files.limit.c_str()), usage = numberInFile(files.usage.c_str());
  return limit < 0 || usage < 0 || limit >= LLONG_MAX / 2 ? LLONG_MAX : limit - usage;
}

long long commitRoom() {
  static const bool strict = numberInFile("/proc/sys/vm/overcommit_memory") == 2;
  if (!strict) return LLONG_MAX;
  const std::string meminfo = smallFile("/proc/meminfo");
  const long long limit = numberAfter(meminfo, "CommitLimit:"), used = numberAfter(meminfo, "Committed_AS:");
  return limit < 0 || used < 0 ? LLONG_MAX : (limit - used) * 1024;
}

}  // namespace

long long memoryRoom() { return std::min({addressSpaceRoom(), cgroupRoom(), commitRoom()}); }
