// Saving one frame safely, beside a raw write of the same bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

#include "raster.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> fileImage() {
  std::vector<std::uint8_t> bytes(480054, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  return bytes;
}

void rawWrite(const fs::path& path, const std::vector<std::uint8_t>& bytes, bool flush) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (::write(fd, bytes.data(), 14) != 14 || ::write(fd, bytes.data() + 14, 40) != 40 ||
      ::write(fd, bytes.data() + 54, 480000) != 480000)
    std::abort();
  if (flush) ::fsync(fd);
  ::close(fd);
}

void SaveBitmap_Ours(benchmark::State& state) {
  TempFolder folder;
  initImageStore();
  const ImageId image = createImage(400, 400);
  const std::string path = (folder.path / "frame.bmp").string();
  for (auto _ : state) {
    FileBatch batch;
    benchmark::DoNotOptimize(stageBitmap(batch, image, path.c_str()) && commitFiles(batch));
  }
  shutdownImageStore();
}

void SaveBitmap_Limit_RawWrite(benchmark::State& state) {
  TempFolder folder;
  const auto bytes = fileImage();
  for (auto _ : state) rawWrite(folder.path / "frame.bmp", bytes, false);
}

void SaveBitmap_RawWriteWithFlush(benchmark::State& state) {
  TempFolder folder;
  const auto bytes = fileImage();
  for (auto _ : state) rawWrite(folder.path / "frame.bmp", bytes, true);
}

BENCHMARK(SaveBitmap_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveBitmap_Limit_RawWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveBitmap_RawWriteWithFlush)->Unit(benchmark::kMicrosecond);

}  // namespace
