// The file-system protocols: files that replace their targets all together or not at all,
// and the journal that keeps captured frames through a crash. Bytes and names only.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A folder of a batch, held open from its first file on, so that the batch works in the
// folder itself wherever it is moved meanwhile.
struct BatchFolder {
  std::string path;  // as first named
  int fd = -1;
  std::uint64_t device = 0, inode = 0;
  bool flushReachesDisk = false;  // one flush of its file system writes every file of it
  int error = 0;  // errno of a flush of the folder or its file system that failed
};

// A new file that replaces its target only when its batch is committed. It lies in the
// target's folder (through a symlink, in the folder of the file the link names) and keeps the
// target's permissions; until the commit the old file is untouched. It stays open and unnamed
// where the file system can make unnamed files, until the batch needs the descriptor back:
// then it gets a temporary name that tells the machine and the process that made it, and is closed.
struct StagedFile {
  std::string path;       // the target as the caller named it
  int folder = -1;        // the batch's descriptor of the target's folder
  std::string name;       // the target's name in that folder
  std::string temporary;  // its name there once it has one
  int fd = -1;
  int error = 0;  // errno of its failure; 0 while it is fine
  // What stands at the target name when it is not a regular file (S_IFDIR, S_IFIFO, ...);
  // S_IFLNK for a link to nothing.
  std::uint32_t inTheWay = 0;
  bool overSizeLimit = false;  // EFBIG from the process's file-size limit, not the file system's
  // What forbids replacing the target although it could be written: the rename would fail.
  enum class Guard : std::uint8_t { None, StickyFolder, Immutable, AppendOnly } guard = Guard::None;
  int sameTargetAs = -1;       // an earlier file of the batch whose name leads to the same file
  bool committed = false;
};

struct FileBatch;
// Removes every file of the batch that is not committed.
void discardFiles(FileBatch& batch);
// Discards the files and closes the folders.
void endBatch(FileBatch& batch);

// Files that replace their targets together: all of them, or none while any of them could
// not be staged. What is not committed is removed when the batch ends.
struct FileBatch {
  std::vector<StagedFile> files;
  std::vector<BatchFolder> folders;  // each swept of stale temporaries when it is opened
  std::map<std::string, int> targets;  // each target file (folder device:inode/name) and its entry
  std::size_t firstOpen = 0;  // the files before it are named and closed
  std::size_t openLimit = 0;  // 0 until the first file asks for it
  bool ready = false;         // flushed and named: only the renames are left
  FileBatch() = default;
  FileBatch(const FileBatch&) = delete;
  FileBatch& operator=(const FileBatch&) = delete;
  ~FileBatch() { endBatch(*this); }
};

// Adds an entry for path and opens its new file: the descriptor, or -1 with the error in the entry.
int openStagedFile(FileBatch& batch, const char* path);
// Adds an entry for a file that failed before it could be opened.
void addFailedFile(FileBatch& batch, const char* path, int error);
// Flushes the new files (once for each file system whose flush is known to reach its disk, else
// each file itself, until stop is set) and names each in its folder, ready for the renames;
// false, with every file discarded, unless every file was staged, flushed and named. It may
// block for as long as the disk takes, and touches nothing but the batch.
bool readyFiles(FileBatch& batch, const std::atomic<bool>& stop);
// Readies the batch if that is still to do, checks again that every target may be replaced (a
// slow flush gives time to protect one), renames each file over its target, then flushes each
// folder. A rename that fails stops the commit there, so the files before it are new and the
// rest old. False when any file or folder failed.
bool commitFiles(FileBatch& batch);
void discardFile(StagedFile& file);

// Writes the parts in their order, however many calls the file takes (a signal, a file-size
// limit may stop one short); false with errno, ENOSPC where the file took nothing.
bool writeAll(int fd, iovec* parts, int count);

// A new name for a temporary file: one that a later sweep on this machine recognises.
std::string temporaryName();
// Removes the temporaries in the folder that this user's processes on this machine left and
// that no running process can still be writing.
void sweepStaleTemporaries(int folder);
// The start of a small file of /proc or /sys, empty without one.
std::string smallFile(const char* path);

// The journal: one file of frames, appended to as they are captured, owned by one running
// editor under an exclusive lock for its whole run, so that a killed editor's frames can be
// offered back. Its format, and what a reader does with each part of it: docs/journal-format.md.
struct JournalFlusher;
struct Journal {
  int folder = -1;  // its own descriptor of the journals' folder
  int fd = -1;
  std::string name;
  std::uint64_t end = 0;  // where the next record goes: after the records written
  std::vector<std::uint64_t> recordStarts;  // of the records that hold the series' frames, in order
  std::uint64_t foundSize = 0;  // as it was found
  std::int64_t lastWritten = 0;  // seconds since the epoch, as it was found
  std::unique_ptr<JournalFlusher> flusher;  // while it is this editor's own
  Journal();
  Journal(Journal&& other) noexcept;
  Journal& operator=(Journal&& other) noexcept;
  ~Journal();
};

constexpr std::uint64_t journalHeaderSize = 12;
// The journals' folder, $XDG_STATE_HOME/limbrik (~/.local/state/limbrik), made private to this
// user where it is missing: its descriptor, or -1 with errno.
int openJournalFolder();
std::string journalFolderPath();
// The journals in the folder, the most recently written first.
std::vector<std::string> journalNames(int folder);
enum class JournalClaim : std::uint8_t { Claimed, Live, NotOurs };
// Takes the lock of a journal that no running editor holds and reads its header: Live while an
// editor holds it, NotOurs for anything else (another user's, not a regular file, another
// format or version), which is left as it is.
JournalClaim claimJournal(int folder, const std::string& name, Journal& journal);
// A claimed journal read from its header on, a batch of records at a time (as many as a buffer
// of the largest payload's size holds), each payload judged by the caller's check: whole,
// damaged (a sound record whose payload is not: stepped over), or unjudged for want of memory.
struct ByteSpan {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
};
enum class RecordCheck : std::uint8_t { Whole, Damaged, NoMemory };
using PayloadCheck = std::function<void(const ByteSpan* payloads, std::size_t count, RecordCheck* verdicts)>;
struct JournalReader {
  std::uint64_t at = journalHeaderSize;  // where the next record starts: after every record read
  std::size_t bound = 0;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::vector<ByteSpan> payloads;  // of the batch read last, with their verdicts and starts
  std::vector<RecordCheck> verdicts;
  std::vector<std::uint64_t> starts;
};
// What follows the batch read: more records, the clean end of the file, or a torn tail (a
// length or payload the file's end cuts short, or a length of 0 or beyond the bound), where
// the journal's readable part ends.
enum class JournalRead : std::uint8_t { More, End, TornTail };
// False without memory for the buffer of a payload of at most bound bytes.
bool startReading(JournalReader& reader, std::size_t bound);
JournalRead readRecords(const Journal& journal, JournalReader& reader, const PayloadCheck& check);
// Makes a claimed journal this editor's own, holding the records that start at recordStarts:
// what follows end goes.
bool adoptJournal(Journal& journal, std::uint64_t end, std::vector<std::uint64_t> recordStarts);
// A new journal of this editor's own, empty; false with errno.
bool createJournal(int folder, Journal& journal);
// Appends one record with one write, flushed to the disk within a second by a worker; false
// once the journal cannot keep it.
bool appendRecord(Journal& journal, const std::uint8_t* bytes, std::size_t size);
// Keeps the first records of the series and cuts off what follows them (a frame taken back).
// Emptied, for a new series or to be written anew after a failure, a journal that failed is
// whole again: it forgets the failure. False with the failure recorded.
bool keepRecords(Journal& journal, std::size_t records);
// The errno of the first failure to write or flush this editor's journal since it was last
// emptied; 0 while it works.
int journalError(const Journal& journal);
// Removes the journal, and flushes its folder unless the caller does so once for many (with
// flushJournalFolder); true when it went.
bool removeJournal(Journal& journal, bool flushFolder = true);
void flushJournalFolder(int folder);
// Renames a journal that cannot be read at all, and so is asked about never, to a name no start
// reads again: beside the journals, for a user to look at.
void setJournalAside(Journal& journal);
constexpr char journalSuffix[] = ".journal";
// Closes the journal, which keeps its records; its lock goes with it.
void closeJournal(Journal& journal);
