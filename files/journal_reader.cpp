// The one reader of a journal's records: it tells the clean end, a torn tail and a damaged
// record apart, as docs/journal-format.md describes them, and owns its cursor.
#include <new>

#include "files_ops.h"

namespace {

constexpr std::size_t lengthSize = 4;

// The length of the record at an offset; 0 for a torn length, and for one of 0 or beyond the bound.
std::size_t recordLength(const Journal& journal, std::uint64_t at, std::size_t bound) {
  std::uint8_t length[lengthSize];
  if (!readAll(journal.fd, length, sizeof length, at)) return 0;
  const std::size_t size = length[0] | length[1] << 8 | length[2] << 16 | std::size_t{length[3]} << 24;
  return size <= bound ? size : 0;
}

}  // namespace

bool readAll(int fd, std::uint8_t* into, std::size_t size, std::uint64_t at) {
  while (size > 0) {
    const ssize_t n = retried([&] { return ::pread(fd, into, size, static_cast<off_t>(at)); });
    if (n <= 0) return false;
    into += n;
    size -= static_cast<std::size_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool startReading(JournalReader& reader, std::size_t bound) {
  reader.bound = bound;
  reader.buffer.reset(new (std::nothrow) std::uint8_t[bound]);
  return reader.buffer != nullptr;
}

JournalRead readRecords(const Journal& journal, JournalReader& reader, const PayloadCheck& check) {
  reader.payloads.clear();
  reader.starts.clear();
  std::size_t used = 0;
  JournalRead read = JournalRead::More;
  while (reader.at + lengthSize <= journal.foundSize) {
    const std::size_t length = recordLength(journal, reader.at, reader.bound);
    if (length > reader.bound - used) break;  // the next batch's
    std::uint8_t* payload = reader.buffer.get() + used;
    if (length == 0 || !readAll(journal.fd, payload, length, reader.at + lengthSize)) {
      read = JournalRead::TornTail;
      break;
    }
    reader.payloads.push_back({payload, length});
    reader.starts.push_back(reader.at);
    used += length;
    reader.at += lengthSize + length;
  }
  if (read == JournalRead::More && reader.at + lengthSize > journal.foundSize)
    read = reader.at == journal.foundSize ? JournalRead::End : JournalRead::TornTail;
  reader.verdicts.resize(reader.payloads.size());
  check(reader.payloads.data(), reader.payloads.size(), reader.verdicts.data());
  return read;
}
