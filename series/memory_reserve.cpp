// The memory reserve: address space held back from start-up on and given up when an allocation
// fails, so that whatever runs next (the question, a message, the save dialog) still finds room,
// and the user can save. It is mapped without access, so it costs no memory, only address space,
// which is what a limit on a process counts.
#include <sys/mman.h>

#include <new>

#include "series.h"

namespace {

constexpr std::size_t reserveSize = 32u << 20;

void* reserve = nullptr;
bool taken = false;

void onAllocationFailure() {
  if (!reserve) throw std::bad_alloc();
  releaseMemoryReserve();
  taken = true;  // the allocation is tried again, now with the room
}

}  // namespace

void holdMemoryReserve() {
  std::set_new_handler(onAllocationFailure);
  if (reserve) return;
  void* at = ::mmap(nullptr, reserveSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  reserve = at == MAP_FAILED ? nullptr : at;
}

void releaseMemoryReserve() {
  if (reserve) ::munmap(reserve, reserveSize);
  reserve = nullptr;
}

bool memoryReserveTaken() {
  const bool was = taken;
  taken = false;
  return was;
}
