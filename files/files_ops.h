// What the files library's sources share: calls made again after a signal, and the worker
// that flushes an editor's own journal.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "files.h"

struct JournalFlusher {
  std::mutex lock;
  std::condition_variable wake;
  bool dataPending = false;
  bool folderPending = false;
  bool stopping = false;
  std::atomic<int> error{0};
  std::thread thread;
};

// Reads size bytes at an offset, however many calls that takes; false where the file ends first.
bool readAll(int fd, std::uint8_t* into, std::size_t size, std::uint64_t at);

// Starts the worker of a journal that became this editor's own, a new file flushed at once;
// false with errno.
bool startFlusher(Journal& journal, bool newFile);
// Ends the worker, after the flushes asked for unless they are no longer wanted.
void stopFlusher(Journal& journal, bool flushFirst);

// A call that a signal interrupted is made again: a flush held up by a slow disk is where a
// signal is most likely to land.
template <class Call>
auto retried(Call call) {
  decltype(call()) result;
  do result = call();
  while (result == -1 && errno == EINTR);
  return result;
}

// The folder's entries from the first on, through a descriptor of their own so that the
// folder's stays open; null when they cannot be read.
inline DIR* listFolder(int folder) {
  const int own = ::dup(folder);
  if (own < 0) return nullptr;
  DIR* dir = nullptr;
  do dir = ::fdopendir(own);  // which looks at the descriptor first, and may be interrupted there
  while (!dir && errno == EINTR);
  if (!dir) {
    ::close(own);
    return nullptr;
  }
  ::rewinddir(dir);
  return dir;
}
