// The 24-bit bitmap file, written so that a failed save never costs the old file.
#include "raster.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

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

// write(2) may stop short (a signal, a file-size limit); only a complete write counts.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool writeRows(int fd, const std::uint8_t* pixels, std::int32_t sourceStride, std::int32_t width,
               std::int32_t height, std::int32_t rowFlags, std::size_t rowBytes) {
  std::vector<std::uint8_t> row(rowBytes, 0);
  const auto pixelBytes = static_cast<std::size_t>(width) * 3;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t memoryRow = (rowFlags & SourceBottomUp) ? i : height - 1 - i;
    std::memcpy(row.data(), pixels + static_cast<std::ptrdiff_t>(memoryRow) * sourceStride, pixelBytes);
    if (!writeAll(fd, row.data(), rowBytes)) return false;
  }
  return true;
}

bool stagePixels(FileBatch& batch, const char* path, const std::uint8_t* pixels, std::int32_t sourceStride,
                 std::int32_t width, std::int32_t height, std::int32_t sourceDepth, std::int32_t rowFlags,
                 std::int32_t outputDepth) {
  const bool usable = outputDepth == 24 && sourceDepth == 24 && pixels && width >= 0 && height >= 0 &&
                      width <= 32767 && height <= 32767;
  const auto rowBytes = static_cast<std::size_t>(rowStride(width, 24));
  const std::size_t dataSize = rowBytes * static_cast<std::size_t>(height);
  if (!usable || dataSize > 0xFFFFFFFFu - fileHeaderSize - infoHeaderSize) {
    batch.files.emplace_back().error = EINVAL;
    return false;
  }
  const int fd = openStagedFile(batch, path);
  if (fd < 0) return false;
  const auto head = headers(width, height, static_cast<std::uint32_t>(dataSize));
  errno = 0;
  bool ok = writeAll(fd, head.data(), head.size());
  if (ok && (rowFlags & SourceBottomUp) && static_cast<std::size_t>(sourceStride) == rowBytes) {
    ok = writeAll(fd, pixels, dataSize);
  } else if (ok) {
    ok = writeRows(fd, pixels, sourceStride, width, height, rowFlags, rowBytes);
  }
  if (ok) return true;
  StagedFile& file = batch.files.back();
  file.error = errno ? errno : EIO;
  discardFile(file);
  return false;
}

}  // namespace

int writeBitmapFile(const char* path, const std::uint8_t* pixels, std::int32_t sourceStride, std::int32_t width,
                    std::int32_t height, std::int32_t sourceDepth, std::int32_t rowFlags, std::int32_t /*option*/,
                    std::int32_t outputDepth) {
  FileBatch batch;
  const bool ok = stagePixels(batch, path, pixels, sourceStride, width, height, sourceDepth, rowFlags, outputDepth) &&
                  commitFiles(batch);
  errno = batch.files.back().error;
  return ok ? 1 : 0;
}

bool stageBitmap(FileBatch& batch, ImageId image, const char* path) {
  const ImageRecord* record = lookupImage(image);
  if (!record || !record->pixels) {
    batch.files.emplace_back().error = EINVAL;
    return false;
  }
  return stagePixels(batch, path, record->pixels.get(), record->stride, record->width, record->height,
                     record->depth, SourceBottomUp, record->saveDepth);
}

int saveImage(ImageId image, const char* path, std::int32_t format, std::int32_t option, std::int32_t depth) {
  const ImageRecord* record = lookupImage(image);
  errno = EINVAL;
  if (!record || !record->pixels || format != 0) return 0;  // no other encoder is registered
  if (depth == -1) depth = record->saveDepth;
  return writeBitmapFile(path, record->pixels.get(), record->stride, record->width, record->height,
                         record->depth, SourceBottomUp, option, depth);
}

int saveImageAsBitmap(ImageId image, const char* path) { return saveImage(image, path, 0, 7, -1); }
