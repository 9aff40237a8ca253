// The memory reserve: address space held back from start-up on and given up before the room
// runs out, or when an allocation fails, so that whatever runs next (the question, a message,
// the save dialog, an export) still finds room and the user can save. It is mapped without
// access, so it costs no memory, only address space, which is what a limit on a process counts.
// It is taken back in steps once the room is there again.
#include <sys/mman.h>

#include <array>
#include <atomic>
#include <new>

#include "raster.h"

namespace {

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

void holdMemoryReserve() {
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
