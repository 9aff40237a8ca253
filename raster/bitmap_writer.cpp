// The 24-bit bitmap file of an Image, staged in a batch so that a failed save never costs
// the old file.
#include "raster_ops.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace {

constexpr std::size_t fileHeaderSize = 14;
constexpr std::size_t infoHeaderSize = 40;

void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value & 0xFFFFu);
  put16(at + 2, value >> 16);
}

std::array<std::uint8_t, fileHeaderSize + infoHeaderSize> headers(std::int32_t width, std::int32_t height,
                                                                  std::uint32_t dataSize) {
  std::array<std::uint8_t, fileHeaderSize + infoHeaderSize> h{};
  h[0] = 'B';
  h[1] = 'M';
  put32(&h[2], static_cast<std::uint32_t>(h.size()) + dataSize);
  put32(&h[10], static_cast<std::uint32_t>(h.size()));
  put32(&h[14], infoHeaderSize);
  put32(&h[18], static_cast<std::uint32_t>(width));
  put32(&h[22], static_cast<std::uint32_t>(height));
  put16(&h[26], 1);
  put16(&h[28], 24);
  put32(&h[34], dataSize);
  return h;
}

// With SIGXFSZ ignored, a write past the process's file-size limit fails with EFBIG, as one
// past the file system's does; only the limit tells them apart.
bool overFileSizeLimit(std::uint64_t size) {
  rlimit limit{};
  return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < size;
}

}  // namespace

bool stageBitmap(FileBatch& batch, ImageId image, const char* path) {
  const ImageRecord* record = lookupImage(image);
  const std::uint8_t* pixels = record ? imagePixels(*record) : nullptr;
  if (!pixels) {
    addFailedFile(batch, path, record ? ENOMEM : EINVAL);  // a packed Image without memory to expand it
    return false;
  }
  // The rows lie bottom-up and padded to four bytes in memory, as the file wants them.
  const auto dataSize = static_cast<std::uint32_t>(rasterBytes(record->width, record->height));
  const int fd = openStagedFile(batch, path);
  if (fd < 0) return false;
  auto head = headers(record->width, record->height, dataSize);
  iovec parts[] = {{head.data(), head.size()}, {const_cast<std::uint8_t*>(pixels), dataSize}};
  errno = 0;
  if (writeAll(fd, parts, 2)) return true;
  StagedFile& file = batch.files.back();
  file.error = errno ? errno : EIO;
  file.overSizeLimit = file.error == EFBIG && overFileSizeLimit(head.size() + dataSize);
  discardFile(file);
  return false;
}
