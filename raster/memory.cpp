// Memory is a resource that runs out, and no shortage may end the editor while frames are
// unsaved. Its rules, all kept here:
// - The room is what this process may still take before the tightest of its limits: the
//   address space (RLIMIT_AS, which prlimit can change while it runs), the memory of its own
//   cgroup, and the system's commit limit when overcommit is strict.
// - A reserve of address space is held from the start on, mapped without access, so that it
//   costs no memory, only what a limit counts. It is given up before the room runs out (the
//   watch, which the window layer calls before Qt handles a key or a button: the menu, the
//   dialogs and the shortcuts allocate inside Qt) and whenever an allocation fails (operator
//   new's handler; a raster's mapping, a zstd context are tried again after it), so that the
//   warning, the save dialog and an export still find room. It is taken back in steps once
//   the room is there again.
// - A command that finds no memory even so ends, and nothing else does: withinMemory catches
//   it, every frame is kept, and the shortage is warned of once, if it still lasts.
// - The heap: large blocks get mappings of their own and go back when freed, all threads share
//   one heap (a thread's own reserves 64 MB of address space), and a series' many small packed
//   frames give their pages back when they go.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
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

constexpr std::size_t chunkSize = 8u << 20;
std::array<std::atomic<void*>, memoryReserveSize / chunkSize> chunks{};
std::atomic<bool> whole{false};          // every chunk held
std::atomic<bool> shortageBegan{false};  // the reserve stopped being whole since the last look

void onAllocationFailure() {
  if (!releaseMemoryReserve()) throw std::bad_alloc();  // the allocation is tried again, now with the room
}

// Maps the missing chunks while the room allows, each leaving at least the margin.
void takeBack(long long room) {
  bool all = true;
  for (std::atomic<void*>& chunk : chunks) {
    if (chunk.load()) continue;
    const bool fits = room - static_cast<long long>(chunkSize) >= memoryMargin;
    void* at = fits ? ::mmap(nullptr, chunkSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0) : MAP_FAILED;
    if (at == MAP_FAILED) {
      all = false;
      continue;
    }
    chunk = at;
    room -= static_cast<long long>(chunkSize);
  }
  whole = all;
}

}  // namespace

long long memoryRoom() { return std::min({addressSpaceRoom(), cgroupRoom(), commitRoom()}); }

void holdMemoryReserve() {
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // zstd's working memory, a packing's scratch
  ::mallopt(M_ARENA_MAX, 1);  // the save dialog alone starts three threads
  std::set_new_handler(onAllocationFailure);
  takeBack(memoryRoom());
}

bool releaseMemoryReserve() {
  bool released = false;
  for (std::atomic<void*>& chunk : chunks) {
    if (void* at = chunk.exchange(nullptr)) {
      ::munmap(at, chunkSize);
      released = true;
    }
  }
  if (released && whole.exchange(false)) shortageBegan = true;
  return released;
}

void watchMemory() {
  if (memoryRoom() < memoryMargin) releaseMemoryReserve();
  if (!whole) takeBack(memoryRoom());
}

bool memoryShortageToReport() {
  if (!shortageBegan.exchange(false)) return false;
  watchMemory();  // a shortage that is over by now, its reserve taken back whole, is not reported
  return !whole;
}

void giveMemoryBack() { ::malloc_trim(0); }
