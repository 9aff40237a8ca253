// The editor's own journal: each record goes to the file with one write, so that a crash of
// the editor loses none; a worker flushes it to the disk at once, so that a power cut loses at
// most the last second, without the editor's loop ever waiting for the disk or waking for it.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "files_ops.h"

namespace {

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
    int none = 0;
    if (failed) flusher.error.compare_exchange_strong(none, failed);
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

bool fail(Journal& journal, int error) {
  int none = 0;
  journal.flusher->error.compare_exchange_strong(none, error ? error : EIO);
  return false;
}

// The record's bytes in one block: its length, little-endian, then the bytes.
std::uint8_t* recordBlock(JournalFlusher& flusher, const std::uint8_t* bytes, std::size_t size) {
  if (flusher.capacity < size + 4) {
    flusher.record.reset(new (std::nothrow) std::uint8_t[size + 4]);
    flusher.capacity = flusher.record ? size + 4 : 0;
    if (!flusher.record) return nullptr;
  }
  std::uint8_t* block = flusher.record.get();
  for (int i = 0; i < 4; ++i) block[i] = static_cast<std::uint8_t>(size >> (8 * i));
  std::memcpy(block + 4, bytes, size);
  return block;
}

}  // namespace

bool startFlusher(Journal& journal, bool folderPending) {
  journal.flusher.reset(new (std::nothrow) JournalFlusher());
  if (!journal.flusher) {
    errno = ENOMEM;
    return false;
  }
  journal.flusher->folderPending = folderPending;
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
  if (size == 0 || size > 0xFFFFFFFFu) return fail(journal, EINVAL);
  const std::uint8_t* block = recordBlock(*journal.flusher, bytes, size);
  if (!block) return fail(journal, ENOMEM);
  for (std::size_t written = 0; written < size + 4;) {
    const ssize_t n = retried([&] { return ::write(journal.fd, block + written, size + 4 - written); });
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      // A torn record would end the journal there for a reader anyway; cut, it leaves the file whole.
      if (retried([&] { return ::ftruncate(journal.fd, static_cast<off_t>(journal.end)); }) != 0) {
      }
      return fail(journal, error);
    }
    written += static_cast<std::size_t>(n);
  }
  journal.end += size + 4;
  askForFlush(journal);
  return true;
}

bool restartJournal(Journal& journal) {
  if (!journal.flusher || journal.flusher->error.load() != 0) return false;
  if (retried([&] { return ::ftruncate(journal.fd, static_cast<off_t>(journalHeaderSize)); }) != 0)
    return fail(journal, errno);
  journal.end = journalHeaderSize;
  askForFlush(journal);
  return true;
}

int journalError(const Journal& journal) { return journal.flusher ? journal.flusher->error.load() : 0; }
