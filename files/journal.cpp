// A journal's file: claimed from a run that ended without removing it, or made new; read
// removed at a clean end. Only the editor holding its lock touches it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files_ops.h"

namespace {

// "LIMBRIKJ", then the format's version, little-endian.
constexpr std::uint8_t header[journalHeaderSize] = {'L', 'I', 'M', 'B', 'R', 'I', 'K', 'J', 1, 0, 0, 0};
constexpr int openFlags = O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the name still leads to the file that was opened: its owner may have removed it
// between the open and the lock.
bool stillNamed(int folder, const std::string& name, const struct stat& opened) {
  struct stat named {};
  return retried([&] { return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW); }) == 0 &&
         sameFile(named, opened);
}

std::string newJournalName() {
  std::uint8_t random[8] = {};
  if (::getrandom(random, sizeof random, 0) != sizeof random) {
    const auto pid = static_cast<std::uint32_t>(::getpid());
    std::memcpy(random, &pid, sizeof pid);
  }
  char name[64];
  std::snprintf(name, sizeof name, "frames-%02x%02x%02x%02x%02x%02x%02x%02x.journal", random[0], random[1], random[2],
                random[3], random[4], random[5], random[6], random[7]);
  return name;
}

JournalClaim letGo(Journal& journal, JournalClaim claim) {
  closeJournal(journal);
  return claim;
}

}  // namespace

Journal::Journal() = default;
Journal::Journal(Journal&& other) noexcept { *this = std::move(other); }
Journal::~Journal() { closeJournal(*this); }

Journal& Journal::operator=(Journal&& other) noexcept {
  if (this == &other) return *this;
  closeJournal(*this);
  folder = std::exchange(other.folder, -1);
  fd = std::exchange(other.fd, -1);
  name = std::move(other.name);
  end = std::exchange(other.end, 0);
  recordStarts = std::move(other.recordStarts);
  foundSize = other.foundSize;
  lastWritten = other.lastWritten;
  flusher = std::move(other.flusher);  // its worker holds the descriptors' numbers, not the record
  return *this;
}

JournalClaim claimJournal(int folder, const std::string& name, Journal& journal) {
  closeJournal(journal);
  // Without O_NONBLOCK a FIFO would block the open. On a read-only disk its frames can still be read.
  journal.fd = retried([&] { return ::openat(folder, name.c_str(), openFlags | O_NONBLOCK); });
  if (journal.fd < 0 && errno == EROFS)
    journal.fd = retried([&] { return ::openat(folder, name.c_str(), (openFlags & ~O_RDWR) | O_RDONLY | O_NONBLOCK); });
  journal.folder = journal.fd >= 0 ? ::fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
  struct stat info {};
  if (journal.folder < 0 || retried([&] { return ::fstat(journal.fd, &info); }) != 0 || !S_ISREG(info.st_mode) ||
      info.st_uid != ::geteuid())
    return letGo(journal, JournalClaim::NotOurs);
  if (retried([&] { return ::flock(journal.fd, LOCK_EX | LOCK_NB); }) != 0)
    return letGo(journal, errno == EWOULDBLOCK ? JournalClaim::Live : JournalClaim::NotOurs);
  std::uint8_t found[journalHeaderSize];
  if (!stillNamed(folder, name, info)) return letGo(journal, JournalClaim::Live);
  if (!readAll(journal.fd, found, sizeof found, 0) || std::memcmp(found, header, sizeof header) != 0)
    return letGo(journal, JournalClaim::NotOurs);
  journal.name = name;
  journal.foundSize = static_cast<std::uint64_t>(info.st_size);
  journal.lastWritten = info.st_mtim.tv_sec;
  return JournalClaim::Claimed;
}

bool adoptJournal(Journal& journal, std::uint64_t end, std::vector<std::uint64_t> recordStarts) {
  if ((::fcntl(journal.fd, F_GETFL) & O_ACCMODE) == O_RDONLY) {
    errno = EROFS;  // its frames were read from a read-only disk, where it stays as it is
    return false;
  }
  if (retried([&] { return ::ftruncate(journal.fd, static_cast<off_t>(end)); }) != 0 ||
      retried([&] { return ::fchmod(journal.fd, 0600); }) != 0)
    return false;
  journal.end = end;
  journal.recordStarts = std::move(recordStarts);
  return startFlusher(journal, false);
}

bool createJournal(int folder, Journal& journal) {
  closeJournal(journal);
  journal.name = newJournalName();
  journal.fd = retried([&] { return ::openat(folder, journal.name.c_str(), openFlags | O_CREAT | O_EXCL, 0600); });
  if (journal.fd < 0) return false;
  journal.folder = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  errno = 0;
  iovec parts[] = {{const_cast<std::uint8_t*>(header), sizeof header}};
  // Whoever looks at the new file before its header is written leaves it alone.
  const bool made = journal.folder >= 0 && retried([&] { return ::flock(journal.fd, LOCK_EX); }) == 0 &&
                    writeAll(journal.fd, parts, 1) &&
                    startFlusher(journal, true);
  if (!made) {
    const int error = errno ? errno : ENOSPC;
    retried([&] { return ::unlinkat(folder, journal.name.c_str(), 0); });
    closeJournal(journal);
    errno = error;
    return false;
  }
  journal.end = journalHeaderSize;
  return true;
}

bool removeJournal(Journal& journal, bool flushFolder) {
  if (journal.fd < 0) return false;
  stopFlusher(journal, false);
  const bool removed = retried([&] { return ::unlinkat(journal.folder, journal.name.c_str(), 0); }) == 0;
  if (removed && flushFolder) flushJournalFolder(journal.folder);
  closeJournal(journal);
  return removed;
}

void flushJournalFolder(int folder) { retried([folder] { return ::fsync(folder); }); }

void setJournalAside(Journal& journal) {
  if (journal.fd < 0) return;
  const std::string aside = journal.name.substr(0, journal.name.size() - std::strlen(journalSuffix)) + ".unreadable";
  // Where one of that name lies already, the journal stays, to be set aside at another start.
  retried([&] {
    return ::renameat2(journal.folder, journal.name.c_str(), journal.folder, aside.c_str(), RENAME_NOREPLACE);
  });
  closeJournal(journal);
}

void closeJournal(Journal& journal) {
  stopFlusher(journal, true);
  if (journal.fd >= 0) ::close(journal.fd);
  if (journal.folder >= 0) ::close(journal.folder);
  journal.fd = journal.folder = -1;
  journal.name.clear();
  journal.end = 0;
  journal.recordStarts.clear();
}
