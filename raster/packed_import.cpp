// Packed frames read back from a disk: each must be one zstd frame that expands, checksum and
// all, to exactly one raster. Checking means expanding, so the frames are checked on every
// processor at once, each with a context and a raster of its own.
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "raster_ops.h"

namespace {

// One whole frame that declares exactly the raster's size and carries a checksum: the fifth
// byte is the frame header's descriptor, whose bit 2 asks for the checksum.
bool framesRaster(const PackedBytes& frame, std::size_t rasterSize) {
  return frame.size > 4 && ZSTD_getFrameContentSize(frame.bytes, frame.size) == rasterSize &&
         (frame.bytes[4] & 0x04) != 0 && ZSTD_findFrameCompressedSize(frame.bytes, frame.size) == frame.size;
}

// What one checker found in its share: where its first failing frame is, and whether memory
// rather than the bytes failed it.
struct Share {
  std::size_t begin = 0, end = 0;
  std::size_t failed = 0;
  bool outOfMemory = false;
};

void checkShare(const PackedBytes* frames, std::size_t rasterSize, Share& share) {
  share.failed = share.end;
  PixelMemory raster = allocatePixels(rasterSize);
  ZSTD_DCtx* context = raster ? ZSTD_createDCtx() : nullptr;
  share.outOfMemory = !context;
  for (std::size_t i = share.begin; context && i < share.end; ++i) {
    const PackedBytes& frame = frames[i];
    if (framesRaster(frame, rasterSize) &&
        ZSTD_decompressDCtx(context, raster.get(), rasterSize, frame.bytes, frame.size) == rasterSize)
      continue;
    share.failed = i;
    break;
  }
  if (share.outOfMemory) share.failed = share.begin;
  ZSTD_freeDCtx(context);
}

}  // namespace

std::size_t wholePackedFrames(const PackedBytes* frames, std::size_t count, std::int32_t width, std::int32_t height,
                              bool& damaged) {
  damaged = false;
  if (count == 0) return 0;
  const std::size_t bytes = rasterBytes(width, height);
  const std::size_t checkers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
  std::vector<Share> shares;
  std::vector<std::thread> threads;
  try {
    shares.resize(std::min(checkers, count));
    threads.reserve(shares.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  for (std::size_t t = 0; t < shares.size(); ++t) shares[t] = {count * t / shares.size(), count * (t + 1) / shares.size()};
  std::size_t started = 1;
  try {
    for (; started < shares.size(); ++started)
      threads.emplace_back(checkShare, frames, bytes, std::ref(shares[started]));
  } catch (const std::system_error&) {
    // No more threads: this one checks the rest.
  }
  checkShare(frames, bytes, shares[0]);
  for (std::size_t t = started; t < shares.size(); ++t) checkShare(frames, bytes, shares[t]);
  for (std::thread& thread : threads) thread.join();
  const auto first = std::find_if(shares.begin(), shares.end(), [](const Share& s) { return s.failed < s.end; });
  damaged = first != shares.end() && !first->outOfMemory;
  return first == shares.end() ? count : first->failed;
}

ImageId adoptPackedFrame(const PackedBytes& frame, std::int32_t width, std::int32_t height) {
  std::unique_ptr<ImageRecord> record(new (std::nothrow) ImageRecord());
  if (!record) return 0;
  record->width = static_cast<std::int16_t>(width);
  record->height = static_cast<std::int16_t>(height);
  record->stride = rowStride(width);
  record->packed.reset(new (std::nothrow) std::uint8_t[frame.size]);
  if (!record->packed) return 0;
  std::memcpy(record->packed.get(), frame.bytes, frame.size);
  record->packedSize = frame.size;
  return storeImage(std::move(record));
}
