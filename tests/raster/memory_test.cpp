// The memory reserve and the watch of the room, in a child whose address space is limited as
// prlimit limits the running editor's.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <new>

#include "raster_ops.h"

namespace {

bool limitRoomTo(long long room) {
  long long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlimit limit{static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + room), RLIM_INFINITY};
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// Less room than the margin gives the reserve up with one warning for the shortage, and leaves
// the margin; a picture that finds no room takes what is left of it; room again takes it all
// back, and the next shortage, a failed allocation's, warns again; one that is over before it
// is looked at is not reported.
TEST(MemoryReserve, GivesWayBeforeTheRoomIsGoneAndWarnsOncePerShortage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer maps more address space than any limit can leave";
#endif
  const pid_t child = ::fork();
  if (child == 0) {
    holdMemoryReserve();
    int wrong = 0;
    limitRoomTo(memoryMargin + (1 << 20));
    watchMemory();
    wrong |= memoryShortageToReport() ? 1 : 0;
    limitRoomTo(memoryMargin - (1 << 20));
    watchMemory();
    wrong |= !memoryShortageToReport() || memoryRoom() < memoryMargin ? 2 : 0;
    watchMemory();
    wrong |= memoryShortageToReport() ? 4 : 0;
    limitRoomTo(256 * 1024);
    wrong |= allocatePixels(480000) ? 0 : 8;
    limitRoomTo(memoryReserveSize + memoryMargin + (1 << 20));
    watchMemory();
    std::get_new_handler()();
    limitRoomTo(memoryMargin + (1 << 20));
    wrong |= memoryShortageToReport() ? 0 : 16;
    limitRoomTo(memoryReserveSize + memoryMargin + (1 << 20));
    watchMemory();
    limitRoomTo(memoryMargin - (1 << 20));
    watchMemory();
    limitRoomTo(memoryReserveSize + memoryMargin + (1 << 20));
    wrong |= memoryShortageToReport() ? 32 : 0;
    ::_exit(wrong);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 warned with room, 2 no warning or no room, 4 warned twice, 8 no picture, "
                                       "16 no warning for the next shortage, 32 warned of one that was over";
}

}  // namespace
