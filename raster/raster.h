// Off-screen 24-bit Images, drawing passes over them and the bitmap file writer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "files.h"

// 0x00BBGGRR: red in the low byte; stored in rasters as the bytes blue, green, red.
using Color = std::uint32_t;
// An Image id, handed out by createImage; 0 names none.
using ImageId = std::intptr_t;
// Names one raster; 0 names none.
using NativeHandle = std::uint32_t;

// Releases pixel memory mapped for one raster alone, so that it goes back to the system.
struct PixelRelease {
  std::size_t size = 0;
  void operator()(std::uint8_t* pixels) const noexcept;
};
using PixelMemory = std::unique_ptr<std::uint8_t[], PixelRelease>;


struct ImageRecord {
  NativeHandle nativeHandle = 0;
  std::int16_t width = 0;
  std::int16_t height = 0;
  std::int32_t stride = 0;
  std::uint32_t revision = 0;  // bumped by every drawing pass that ends on it
  PixelMemory pixels;  // bottom row first; none while the Image is kept packed
  std::unique_ptr<std::uint8_t[]> packed;  // the raster compressed (zstd), once packedImage made it
  std::size_t packedSize = 0;
};

// Bytes per row of a 24-bit raster: 3 x width brought up to a multiple of 4.
std::int32_t rowStride(std::int32_t width);
// The bytes of a raster of that size, its rows padded to four bytes.
std::size_t rasterBytes(std::int32_t width, std::int32_t height);

void initImageStore();
void shutdownImageStore();
// A new black 24-bit Image; 0 when none could be made.
ImageId createImage(std::int32_t width, std::int32_t height);
NativeHandle imageHandle(ImageId image);
ImageRecord* lookupImage(ImageId id);
// Resolves a native handle; none for 0 or a handle whose Image is gone.
ImageRecord* lookupHandle(NativeHandle handle);
void releaseImage(ImageId id);
// Keeps an Image that is no longer drawn on compressed: its raster goes, and is expanded into a
// small cache whenever its pixels are read. False, with the raster kept, without memory for it.
bool packImage(ImageId id);
// The Image packed now, with its raster kept until packImage lets it go: one zstd frame that
// carries its size and checksum, as a journal keeps a frame. Empty without memory.
using PackedBytes = ByteSpan;
PackedBytes packedImage(ImageId id);
// The most bytes packedImage gives for a raster of that size.
std::size_t packedBound(std::int32_t width, std::int32_t height);
// Whether each packed frame is whole: one zstd frame that expands, checksum and all, to exactly
// a width x height raster, and never into more; damaged where its bytes are at fault; unchecked
// where memory ran out. The frames are checked on every processor at once. Without expanding,
// only a frame's structure is read: its declared size, its checksum flag, its blocks spanning
// exactly its bytes; a byte damaged inside a block passes that.
using FrameCheck = RecordCheck;
void checkPackedFrames(const PackedBytes* frames, std::size_t count, std::int32_t width, std::int32_t height,
                       FrameCheck* verdicts, bool expand = true);
// An Image kept packed, from a frame found whole; 0 without memory.
ImageId adoptPackedFrame(const PackedBytes& frame, std::int32_t width, std::int32_t height);
// The Image's pixels, bottom row first: its raster, or a packed Image's expansion, which stays
// valid until two other packed Images have been expanded; null without memory to expand it.
const std::uint8_t* imagePixels(const ImageRecord& record);
// Number of Images the store holds now.
std::size_t liveImageCount();

// Memory's rules (memory.cpp states them): the room, the reserve held for a shortage, the
// heap's policy, and what a command does when memory runs out.
// Room, in bytes, that this process may still take before the tightest limit on its memory.
// Very large without any limit.
long long memoryRoom();
// What the save dialog, the menu, a message and an export need at once, with room to spare.
constexpr long long memoryMargin = 40ll << 20;
constexpr std::size_t memoryReserveSize = 48u << 20;
// Sets the heap's policy and takes the reserve, as far as the room allows; a failing
// allocation then gives it up.
void holdMemoryReserve();
// Gives the reserve up, from any thread; whether there was any to give.
bool releaseMemoryReserve();
// Gives the reserve up when less than the margin is left, and takes it back in steps once the
// room is there again.
void watchMemory();
// Whether a shortage began since the last call and still lasts when asked: the reserve stopped
// being whole, given up by the watch or by an allocation that failed. Once for each shortage.
bool memoryShortageToReport();
// Runs a command that may find no memory: false when it did, which ends the command and
// nothing else, the reserve given up so that the warning finds room.
template <class Command>
bool withinMemory(Command command) {
  try {
    command();
    return true;
  } catch (const std::bad_alloc&) {
    releaseMemoryReserve();
    return false;
  }
}
// Gives the heap's free pages back to the system: after many small blocks went at once.
void giveMemoryBack();

// Writes the Image as an uncompressed 24-bit bitmap file of the batch: headers, then its rows
// bottom-up as they lie in memory. False with the error in the new entry.
bool stageBitmap(FileBatch& batch, ImageId image, const char* path);

struct DrawSurface;
using FinishingStep = void (*)(DrawSurface& surface, int drew);

struct DrawTarget {
  std::uint8_t* pixels = nullptr;  // first byte of the first row in memory
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t stride = 0;
  FinishingStep finish = nullptr;
  std::intptr_t owner = 0;  // what the finishing step needs: an Image id or a control id
};

// A span still to explore: row y - dy over left..right is filled, row y is next.
struct FloodSpan {
  std::int32_t y, left, right, dy;
};

struct SurfaceOps;

struct DrawSurface {
  const SurfaceOps* ops = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  Color color = 0;
  std::vector<FloodSpan> floodSpans;  // kept for the next fill of the pass
  std::uint8_t* pixels = nullptr;
  std::int32_t stride = 0;
  std::uint8_t red = 0, green = 0, blue = 0;
  FinishingStep finish = nullptr;
  std::intptr_t owner = 0;
};

// The table a surface chooses once from its target's bytes per pixel: every target here
// has three.
struct SurfaceOps {
  void (*setColor)(DrawSurface&, Color);
  void (*fillRectangle)(DrawSurface&, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
  void (*fillEllipse)(DrawSurface&, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
  void (*floodFill)(DrawSurface&, std::int32_t, std::int32_t);
  void (*drawLine)(DrawSurface&, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
  void (*plotColor)(DrawSurface&, std::int32_t, std::int32_t, Color);
  Color (*readPixel)(const DrawSurface&, std::int32_t, std::int32_t);
  void (*drawImage)(DrawSurface&, const ImageRecord&, std::int32_t, std::int32_t, std::int32_t);
};

// Opening a surface while another is open ends the earlier one first.
DrawSurface* openSurface(const DrawTarget& target);
DrawSurface* imageOutput(ImageId image);
std::intptr_t beginDrawing(DrawSurface* surface);
void endDrawing();

// Primitives act on the current surface; with none open they do nothing.
void fillRectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Color color);
void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Color color);
void fillCircle(std::int32_t x, std::int32_t y, std::int32_t radius, Color color);
// Fills the region around (x, y) that an outline of the colour encloses with that colour;
// a seed on the outline fills nothing.
void floodFill(std::int32_t x, std::int32_t y, Color color);
// Outside the target plot writes nothing and read gives 0.
void plot(std::int32_t x, std::int32_t y, Color color);
Color readPixel(std::int32_t x, std::int32_t y);
void drawImage(NativeHandle image, std::int32_t x, std::int32_t y);
void drawImageBlended(NativeHandle image, std::int32_t x, std::int32_t y, std::int32_t alpha);
