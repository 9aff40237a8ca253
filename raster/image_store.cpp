// The store of Images: numbered slots, automatic records and the handle table.
// Automatic ids and handles carry a generation, so a released or made-up value
// is answered "no Image" in O(1) instead of being followed as a pointer.
#include "raster_ops.h"

#include <sys/mman.h>

#include <new>

namespace {

constexpr std::size_t initialCapacity = 16;
constexpr std::size_t growthStep = 16;
constexpr ImageId largestNumber = (ImageId{1} << 30) - 1;
constexpr std::uint64_t autoTag = std::uint64_t{1} << 56;
constexpr std::uint64_t autoIndexBits = 24;
constexpr std::uint64_t autoIndexMask = (std::uint64_t{1} << autoIndexBits) - 1;
constexpr std::uint32_t handleIndexBits = 20;
constexpr std::uint32_t handleIndexMask = (1u << handleIndexBits) - 1;

struct AutoSlot {
  std::unique_ptr<ImageRecord> record;
  std::uint32_t generation = 0;
  std::int32_t newer = -1;  // towards the head of the list
  std::int32_t older = -1;
};

struct HandleSlot {
  ImageRecord* record = nullptr;
  std::uint32_t generation = 0;
};

struct Store {
  std::vector<std::unique_ptr<ImageRecord>> numbered = std::vector<std::unique_ptr<ImageRecord>>(initialCapacity);
  std::vector<AutoSlot> automatic;
  std::vector<std::int32_t> freeAutomatic;
  std::int32_t newest = -1;
  std::int32_t oldest = -1;
  std::vector<HandleSlot> handles;
  std::vector<std::uint32_t> freeHandles;
  std::size_t live = 0;
};

Store& store() {
  static Store instance;
  return instance;
}

ImageId autoIdOf(std::uint32_t index, std::uint32_t generation) {
  return static_cast<ImageId>(autoTag | (std::uint64_t{generation} << autoIndexBits) | index);
}

AutoSlot* autoSlotOf(ImageId id) {
  Store& s = store();
  const auto raw = static_cast<std::uint64_t>(id);
  if ((raw & ~((std::uint64_t{0xFFFFFFFF} << autoIndexBits) | autoIndexMask)) != autoTag) return nullptr;
  const std::uint64_t index = raw & autoIndexMask;
  const auto generation = static_cast<std::uint32_t>(raw >> autoIndexBits);
  if (index >= s.automatic.size()) return nullptr;
  AutoSlot& slot = s.automatic[index];
  if (!slot.record || slot.generation != generation) return nullptr;
  return &slot;
}

NativeHandle registerHandle(ImageRecord* record) {
  Store& s = store();
  std::uint32_t index;
  if (!s.freeHandles.empty()) {
    index = s.freeHandles.back();
    s.freeHandles.pop_back();
  } else {
    if (s.handles.size() >= handleIndexMask) return 0;
    index = static_cast<std::uint32_t>(s.handles.size());
    s.handles.push_back({});
  }
  HandleSlot& slot = s.handles[index];
  slot.record = record;
  return ((slot.generation & 0xFFFu) << handleIndexBits) | (index + 1);
}

void unregisterHandle(NativeHandle handle) {
  Store& s = store();
  const std::uint32_t index = (handle & handleIndexMask) - 1;
  s.handles[index].record = nullptr;
  ++s.handles[index].generation;
  s.freeHandles.push_back(index);
}

// Makes the black raster in an empty record; false when there is no memory for it.
bool makeRaster(ImageRecord& record, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return false;
  const std::int32_t stride = rowStride(width, 24);
  const auto size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  PixelMemory pixels = allocatePixels(size);
  if (!pixels) return false;
  const NativeHandle handle = registerHandle(&record);
  if (handle == 0) return false;
  record.nativeHandle = handle;
  record.width = static_cast<std::int16_t>(width);
  record.height = static_cast<std::int16_t>(height);
  record.depth = 24;
  record.saveDepth = 24;
  record.stride = stride;
  record.revision = 0;
  record.pixels = std::move(pixels);
  ++store().live;
  return true;
}

void emptyRecord(ImageRecord& record) {
  unregisterHandle(record.nativeHandle);
  record = ImageRecord{};
  --store().live;
}

void unlinkAutomatic(std::int32_t index) {
  Store& s = store();
  AutoSlot& slot = s.automatic[index];
  if (slot.newer >= 0) s.automatic[slot.newer].older = slot.older; else s.newest = slot.older;
  if (slot.older >= 0) s.automatic[slot.older].newer = slot.newer; else s.oldest = slot.newer;
  slot.newer = slot.older = -1;
}

ImageId createAutomatic(std::int32_t width, std::int32_t height) {
  Store& s = store();
  std::unique_ptr<ImageRecord> record(new (std::nothrow) ImageRecord());
  if (!record || !makeRaster(*record, width, height)) return 0;
  std::int32_t index;
  if (!s.freeAutomatic.empty()) {
    index = s.freeAutomatic.back();
    s.freeAutomatic.pop_back();
  } else {
    if (s.automatic.size() > autoIndexMask) { emptyRecord(*record); return 0; }
    index = static_cast<std::int32_t>(s.automatic.size());
    s.automatic.emplace_back();
  }
  AutoSlot& slot = s.automatic[index];
  slot.record = std::move(record);
  slot.older = s.newest;
  slot.newer = -1;
  if (s.newest >= 0) s.automatic[s.newest].newer = index; else s.oldest = index;
  s.newest = index;
  return autoIdOf(static_cast<std::uint32_t>(index), slot.generation);
}

ImageId createNumbered(ImageId number, std::int32_t width, std::int32_t height) {
  Store& s = store();
  if (number > largestNumber) return 0;
  const auto n = static_cast<std::size_t>(number);
  if (n >= s.numbered.size()) s.numbered.resize(n + growthStep);
  if (s.numbered[n]) {
    releaseImage(number);
  } else {
    s.numbered[n].reset(new (std::nothrow) ImageRecord());
    if (!s.numbered[n]) return 0;
  }
  if (!makeRaster(*s.numbered[n], width, height)) return 0;
  return static_cast<ImageId>(s.numbered[n]->nativeHandle);
}

}  // namespace

// A mapping of its own rather than the heap: freed heap blocks of this size stay with the
// process, so a released series would keep its memory.
PixelMemory allocatePixels(std::size_t size) {
  void* at = size ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) : MAP_FAILED;
  if (at == MAP_FAILED) return PixelMemory(nullptr, PixelRelease{});
  return PixelMemory(static_cast<std::uint8_t*>(at), PixelRelease{size});  // zero-filled, so black
}

void PixelRelease::operator()(std::uint8_t* pixels) const noexcept { ::munmap(pixels, size); }

std::int32_t rowStride(std::int32_t width, std::int32_t depth) {
  switch (depth) {
    case 1: return ((width + 31) / 32) * 4;
    case 4: return ((width + 7) / 8) * 4;
    case 8: return ((width + 3) / 4) * 4;
    case 15:
    case 16: return ((width + 1) / 2) * 4;
    case 24: return ((3 * width + 3) / 4) * 4;
    default: return width * 4;
  }
}

void initImageStore() {
  shutdownImageStore();
  store() = Store{};
}

void shutdownImageStore() {
  Store& s = store();
  for (std::size_t n = 0; n < s.numbered.size(); ++n) {
    if (s.numbered[n] && s.numbered[n]->nativeHandle != 0) releaseImage(static_cast<ImageId>(n));
  }
  while (s.oldest >= 0) {
    const AutoSlot& slot = s.automatic[s.oldest];
    releaseImage(autoIdOf(static_cast<std::uint32_t>(s.oldest), slot.generation));
  }
}

ImageId createImage(ImageId id, std::int32_t width, std::int32_t height) {
  if (id == AutoId) return createAutomatic(width, height);
  if (id < 0) return 0;
  return createNumbered(id, width, height);
}

ImageRecord* lookupImage(ImageId id) {
  Store& s = store();
  ImageRecord* record = nullptr;
  if (id >= 0 && static_cast<std::size_t>(id) < s.numbered.size()) {
    record = s.numbered[static_cast<std::size_t>(id)].get();
  } else if (AutoSlot* slot = autoSlotOf(id)) {
    record = slot->record.get();
  }
  return record && record->nativeHandle != 0 ? record : nullptr;
}

ImageRecord* lookupHandle(NativeHandle handle) {
  const Store& s = store();
  const std::uint32_t index = (handle & handleIndexMask) - 1;
  if (handle == 0 || index >= s.handles.size()) return nullptr;
  ImageRecord* record = s.handles[index].record;
  return record && record->nativeHandle == handle ? record : nullptr;
}

NativeHandle imageHandle(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  return record ? record->nativeHandle : 0;
}

void releaseImage(ImageId id) {
  if (id == AutoId) return;
  ImageRecord* record = lookupImage(id);
  if (!record) return;
  emptyRecord(*record);
  if (id >= 0 && static_cast<std::size_t>(id) < store().numbered.size()) return;
  Store& s = store();
  const auto index = static_cast<std::int32_t>(static_cast<std::uint64_t>(id) & autoIndexMask);
  unlinkAutomatic(index);
  s.automatic[index].record.reset();
  ++s.automatic[index].generation;
  s.freeAutomatic.push_back(index);
}

std::size_t liveImageCount() { return store().live; }
