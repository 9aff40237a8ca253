// Packed frames read back from a disk: each must be one zstd frame that expands, checksum and
// all, to exactly one raster. Checking means expanding, so the frames are checked on every
// processor at once, each with a context and a raster of its own; reading a frame's structure
// alone costs next to nothing.
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
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

void checkShare(const PackedBytes* frames, std::size_t begin, std::size_t end, std::size_t rasterSize,
                FrameCheck* verdicts) {
  PixelMemory raster = allocatePixels(rasterSize);
  ZSTD_DCtx* context = raster ? ZSTD_createDCtx() : nullptr;
  for (std::size_t i = begin; i < end; ++i) {
    const PackedBytes& frame = frames[i];
    if (!context) {
      verdicts[i] = FrameCheck::NoMemory;
      continue;
    }
    const bool whole = framesRaster(frame, rasterSize) &&
                       ZSTD_decompressDCtx(context, raster.get(), rasterSize, frame.bytes, frame.size) == rasterSize;
    verdicts[i] = whole ? FrameCheck::Whole : FrameCheck::Damaged;
  }
  ZSTD_freeDCtx(context);
}

}  // namespace

void checkPackedFrames(const PackedBytes* frames, std::size_t count, std::int32_t width, std::int32_t height,
                       FrameCheck* verdicts, bool expand) {
  if (count == 0) return;
  const std::size_t bytes = rasterBytes(width, height);
  if (!expand) {
    for (std::size_t i = 0; i < count; ++i) verdicts[i] = framesRaster(frames[i], bytes) ? FrameCheck::Whole : FrameCheck::Damaged;
    return;
  }
  const std::size_t checkers = std::min(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8), count);
  std::vector<std::thread> threads;
  const auto share = [&](std::size_t t) { checkShare(frames, count * t / checkers, count * (t + 1) / checkers, bytes, verdicts); };
  try {
    threads.reserve(checkers);
    for (std::size_t t = 1; t < checkers; ++t) threads.emplace_back(share, t);
  } catch (const std::exception&) {
    // No more threads, or no room for them: this one checks the rest.
  }
  share(0);
  for (std::size_t t = threads.size() + 1; t < checkers; ++t) share(t);
  for (std::thread& thread : threads) thread.join();
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
