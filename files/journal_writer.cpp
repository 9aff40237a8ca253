// The editor's own journal: each record goes to the file with one write, so that a crash of
// the editor loses none; a worker flushes it to the disk at once, so that a power cut loses at
// most the last second, without the editor's loop ever waiting for the disk or waking for it.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "files_ops.h"

namespace {

// Only the first failure counts: it says why.
bool recordFailure(JournalFlusher& flusher, int error) {
  int none = 0;
  flusher.error.compare_exchange_strong(none, error ? error : EIO);
  return false;
}

void flushWhenAsked(JournalFlusher& flusher, int fd, int folder) {
  std::unique_lock<std::mutex> held(flusher.lock);
  for (;;) {
    flusher.wake.wait(held, [&] { return flusher.dataPending || flusher.folderPending || flusher.stopping; });
    const bool data = flusher.dataPending, name = flusher.folderPending;
    if (!data && !name) return;
    flusher.dataPending = flusher.folderPending = false;
    held.unlock();
    int failed = 0;
    if (data && retried([fd] { return ::fdatasync(fd); }) != 0) failed = errno;
    if (name && retried([folder] { return ::fsync(folder); }) != 0) failed = errno;
    if (failed) recordFailure(flusher, failed);
    held.lock();
  }
}

void askForFlush(Journal& journal) {
  {
    const std::lock_guard<std::mutex> held(journal.flusher->lock);
    journal.flusher->dataPending = true;
  }
  journal.flusher->wake.notify_one();
}


}  // namespace

bool writeAll(int fd, iovec* parts, int count) {
  while (count > 0) {
    const ssize_t n = retried([&] { return ::writev(fd, parts, count); });
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    auto left = static_cast<std::size_t>(n);
    for (; count > 0 && left >= parts->iov_len; ++parts, --count) left -= parts->iov_len;
    if (count > 0) {
      parts->iov_base = static_cast<std::uint8_t*>(parts->iov_base) + left;
      parts->iov_len -= left;
    }
  }
  return true;
}

bool startFlusher(Journal& journal, bool newFile) {
  journal.flusher.reset(new (std::nothrow) JournalFlusher());
  if (!journal.flusher) {
    errno = ENOMEM;
    return false;
  }
  // A new file's header and its name reach the disk before any capture relies on them.
  journal.flusher->dataPending = journal.flusher->folderPending = newFile;
  try {
    journal.flusher->thread = std::thread(flushWhenAsked, std::ref(*journal.flusher), journal.fd, journal.folder);
  } catch (const std::system_error&) {
    journal.flusher.reset();
    errno = EAGAIN;
    return false;
  }
  return true;
}

void stopFlusher(Journal& journal, bool flushFirst) {
  if (!journal.flusher) return;
  {
    const std::lock_guard<std::mutex> held(journal.flusher->lock);
    journal.flusher->stopping = true;
    if (!flushFirst) journal.flusher->dataPending = journal.flusher->folderPending = false;
  }
  journal.flusher->wake.notify_one();
  journal.flusher->thread.join();
  journal.flusher.reset();
}

bool appendRecord(Journal& journal, const std::uint8_t* bytes, std::size_t size) {
  if (!journal.flusher || journal.flusher->error.load() != 0) return false;
  if (size == 0 || size > 0xFFFFFFFFu) return recordFailure(*journal.flusher, EINVAL);
  std::uint8_t length[4];
  for (int i = 0; i < 4; ++i) length[i] = static_cast<std::uint8_t>(size >> (8 * i));
  iovec parts[2] = {{length, sizeof length}, {const_cast<std::uint8_t*>(bytes), size}};
  try {
    journal.recordStarts.push_back(journal.end);
  } catch (const std::bad_alloc&) {
    return recordFailure(*journal.flusher, ENOMEM);
  }
  if (!writeAll(journal.fd, parts, 2)) {
    const int error = errno;
    journal.recordStarts.pop_back();
    // A torn record would end the journal there for a reader anyway; cut, it leaves the file whole.
    retried([&] { return ::ftruncate(journal.fd, static_cast<off_t>(journal.end)); });
    return recordFailure(*journal.flusher, error);
  }
  journal.end += size + 4;
  askForFlush(journal);
  return true;
}

bool keepRecords(Journal& journal, std::size_t records) {
  if (!journal.flusher || records > journal.recordStarts.size()) return false;
  const bool failed = journal.flusher->error.load() != 0;
  if (records > 0 && failed) return false;  // what it holds after a failure is not known
  if (records == journal.recordStarts.size() && !failed) return true;
  const std::uint64_t at = records == 0 ? journalHeaderSize : journal.recordStarts[records];
  if (retried([&] { return ::ftruncate(journal.fd, static_cast<off_t>(at)); }) != 0) return recordFailure(*journal.flusher, errno);
  if (records == 0) journal.flusher->error.store(0);
  journal.end = at;
  journal.recordStarts.resize(records);
  askForFlush(journal);
  return true;
}

int journalError(const Journal& journal) { return journal.flusher ? journal.flusher->error.load() : 0; }
