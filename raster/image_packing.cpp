// Images kept compressed. A frame of a stick figure is mostly white and packs to about a
// three-hundredth of its raster with zstd's fastest level; whoever reads one gets it expanded
// into a small cache of rasters, the most recently read kept.
#include <zstd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "raster_ops.h"

namespace {

struct Expansion {
  const ImageRecord* owner = nullptr;
  PixelMemory raster;
  std::uint64_t lastRead = 0;
};

// Three: the frame shown, the one prepared next, and the one an export reads.
struct ExpansionCache {
  std::array<Expansion, 3> slots;
  std::uint64_t reads = 0;
  ZSTD_DCtx* context = nullptr;  // kept while any slot is, so that an expansion makes none
};

ExpansionCache cache;

std::size_t rasterSize(const ImageRecord& record) { return rasterBytes(record.width, record.height); }

// Kept from one capture to the next: made anew, its tables would cost a capture more than the
// packing itself.
struct PackingContext {
  ZSTD_CCtx* context = nullptr;
  ~PackingContext() { ZSTD_freeCCtx(context); }
};

PackingContext packing;

bool packingContext() {
  if (packing.context) return true;
  packing.context = ZSTD_createCCtx();
  if (!packing.context && releaseMemoryReserve()) packing.context = ZSTD_createCCtx();
  if (!packing.context) return false;
  ZSTD_CCtx_setParameter(packing.context, ZSTD_c_compressionLevel, 1);
  ZSTD_CCtx_setParameter(packing.context, ZSTD_c_checksumFlag, 1);
  return true;
}

// One frame at zstd's fastest level, with the raster's size and a checksum of it, so that
// bytes read back from a disk prove what they expand to.
bool compress(ImageRecord& record) {
  const std::size_t size = rasterSize(record), bound = ZSTD_compressBound(size);
  PixelMemory scratch = allocatePixels(bound);  // only the pages written become resident
  if (!scratch || !packingContext()) return false;
  const std::size_t packedSize = ZSTD_compress2(packing.context, scratch.get(), bound, record.pixels.get(), size);
  if (ZSTD_isError(packedSize)) return false;
  std::unique_ptr<std::uint8_t[]> packed(new (std::nothrow) std::uint8_t[packedSize]);
  if (!packed) return false;
  std::memcpy(packed.get(), scratch.get(), packedSize);
  record.packed = std::move(packed);
  record.packedSize = packedSize;
  return true;
}

}  // namespace

PackedBytes packedImage(ImageId id) {
  ImageRecord* record = lookupImage(id);
  if (!record || (!record->packed && (!record->pixels || !compress(*record)))) return {};
  return {record->packed.get(), record->packedSize};
}

bool packImage(ImageId id) {
  ImageRecord* record = lookupImage(id);
  if (!record || !record->pixels) return record != nullptr;
  if (!record->packed && !compress(*record)) return false;
  record->pixels.reset();
  return true;
}

std::size_t packedBound(std::int32_t width, std::int32_t height) {
  return ZSTD_compressBound(rasterBytes(width, height));
}

const std::uint8_t* imagePixels(const ImageRecord& record) {
  if (record.pixels) return record.pixels.get();
  for (Expansion& slot : cache.slots) {
    if (slot.owner != &record) continue;
    slot.lastRead = ++cache.reads;
    return slot.raster.get();
  }
  Expansion& slot = *std::min_element(cache.slots.begin(), cache.slots.end(),
                                      [](const Expansion& a, const Expansion& b) { return a.lastRead < b.lastRead; });
  const std::size_t size = rasterSize(record);
  slot.owner = nullptr;
  if (!slot.raster || slot.raster.get_deleter().size != size) slot.raster = allocatePixels(size);
  if (!cache.context) cache.context = ZSTD_createDCtx();
  if (!cache.context && releaseMemoryReserve()) cache.context = ZSTD_createDCtx();
  if (!slot.raster || !cache.context ||
      ZSTD_decompressDCtx(cache.context, slot.raster.get(), size, record.packed.get(), record.packedSize) != size) {
    slot = Expansion{};
    return nullptr;
  }
  slot.owner = &record;
  slot.lastRead = ++cache.reads;
  return slot.raster.get();
}

void forgetExpansion(const ImageRecord& record) {
  for (Expansion& slot : cache.slots)
    if (slot.owner == &record) slot = Expansion{};
  if (std::none_of(cache.slots.begin(), cache.slots.end(), [](const Expansion& slot) { return slot.owner; })) {
    ZSTD_freeDCtx(cache.context);
    cache.context = nullptr;
  }
}
