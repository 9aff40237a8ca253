// The store of Images, one slot each. Ids and handles carry the slot's generation, so a
// released or made-up value is answered "no Image" in O(1) instead of being followed.
#include <sys/mman.h>

#include <new>

#include "raster_ops.h"

namespace {

constexpr std::uint64_t indexBits = 20;  // a million Images at once; a handle keeps 12 bits of generation
constexpr std::uint64_t indexMask = (std::uint64_t{1} << indexBits) - 1;

struct Slot {
  std::unique_ptr<ImageRecord> record;
  std::uint32_t generation = 0;
};

struct Store {
  std::vector<Slot> slots;
  std::vector<std::uint32_t> free;
  std::size_t live = 0;
};

Store& store() {
  static Store instance;
  return instance;
}

// Index plus one, so that no Image has the id or handle 0.
ImageId idOf(std::uint32_t index, std::uint32_t generation) {
  return static_cast<ImageId>(std::uint64_t{generation} << 32 | (index + 1));
}

NativeHandle handleOf(std::uint32_t index, std::uint32_t generation) {
  return static_cast<NativeHandle>((generation & 0xFFFu) << indexBits | (index + 1));
}

Slot* slotOf(std::uint64_t index, std::uint32_t generation, std::uint32_t generationMask) {
  Store& s = store();
  if (index >= s.slots.size()) return nullptr;
  Slot& slot = s.slots[index];
  return slot.record && (slot.generation & generationMask) == generation ? &slot : nullptr;
}

Slot* slotOfId(ImageId id) {
  const auto raw = static_cast<std::uint64_t>(id);
  if ((raw & 0xFFFFFFFFu) == 0 || (raw & 0xFFFFFFFFu) > indexMask) return nullptr;
  return slotOf((raw & indexMask) - 1, static_cast<std::uint32_t>(raw >> 32), 0xFFFFFFFFu);
}

// Makes the black raster in an empty record; false when there is no memory for it.
bool makeRaster(ImageRecord& record, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return false;
  PixelMemory pixels = allocatePixels(rasterBytes(width, height));
  if (!pixels) return false;
  record.width = static_cast<std::int16_t>(width);
  record.height = static_cast<std::int16_t>(height);
  record.stride = rowStride(width);
  record.pixels = std::move(pixels);
  return true;
}

}  // namespace

// A mapping of its own rather than the heap: freed heap blocks of this size stay with the
// process, so a released series would keep its memory.
PixelMemory allocatePixels(std::size_t size) {
  const auto map = [size] { return ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0); };
  void* at = map();
  if (at == MAP_FAILED && releaseMemoryReserve()) at = map();  // the reserve is for this
  if (at == MAP_FAILED) return PixelMemory(nullptr, PixelRelease{});
  return PixelMemory(static_cast<std::uint8_t*>(at), PixelRelease{size});  // zero-filled, so black
}

void PixelRelease::operator()(std::uint8_t* pixels) const noexcept { ::munmap(pixels, size); }

std::int32_t rowStride(std::int32_t width) { return ((3 * width + 3) / 4) * 4; }

std::size_t rasterBytes(std::int32_t width, std::int32_t height) {
  return static_cast<std::size_t>(rowStride(width)) * static_cast<std::size_t>(height);
}

void initImageStore() {
  shutdownImageStore();
  store() = Store{};
}

void shutdownImageStore() {
  Store& s = store();
  for (std::uint32_t i = 0; i < s.slots.size(); ++i)
    if (s.slots[i].record) releaseImage(idOf(i, s.slots[i].generation));
}

ImageId createImage(std::int32_t width, std::int32_t height) {
  std::unique_ptr<ImageRecord> record(new (std::nothrow) ImageRecord());
  if (!record || !makeRaster(*record, width, height)) return 0;
  return storeImage(std::move(record));
}

ImageId storeImage(std::unique_ptr<ImageRecord> record) {
  Store& s = store();
  std::uint32_t index;
  try {
    if (!s.free.empty()) {
      index = s.free.back();
      s.free.pop_back();
    } else {
      if (s.slots.size() >= indexMask) return 0;
      index = static_cast<std::uint32_t>(s.slots.size());
      s.slots.emplace_back();
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  Slot& slot = s.slots[index];
  record->nativeHandle = handleOf(index, slot.generation);
  slot.record = std::move(record);
  ++s.live;
  return idOf(index, slot.generation);
}

ImageRecord* lookupImage(ImageId id) {
  const Slot* slot = slotOfId(id);
  return slot ? slot->record.get() : nullptr;
}

ImageRecord* lookupHandle(NativeHandle handle) {
  if ((handle & indexMask) == 0) return nullptr;
  const Slot* slot = slotOf((handle & indexMask) - 1, handle >> indexBits, 0xFFFu);
  return slot ? slot->record.get() : nullptr;
}

NativeHandle imageHandle(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  return record ? record->nativeHandle : 0;
}

void releaseImage(ImageId id) {
  Slot* slot = slotOfId(id);
  if (!slot) return;
  Store& s = store();
  forgetExpansion(*slot->record);
  slot->record.reset();
  ++slot->generation;
  s.free.push_back(static_cast<std::uint32_t>(slot - s.slots.data()));
  --s.live;
}

std::size_t liveImageCount() { return store().live; }
