// Main-loop passes, the mirror and whole exports of the running editor's parts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCursor>
#include <QImage>
#include <chrono>
#include <filesystem>

#include "support/temp_folder.h"

#include "app.h"
#include "ui_internal.h"

namespace fs = std::filesystem;

namespace {

struct Editor {
  AppState app;
  Editor(int frames) {
    startUp(app);
    for (int i = 0; i < frames; ++i) {
      app.session.figure[0].angle = 100 + 10 * i;
      captureFrame(app.session);
    }
    while (waitEvent(0) != 0) {
    }
  }
  ~Editor() { shutDown(); }
};

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A pass of a drag without its event wait: drag update, the edit view with onion skin,
// the blit. The pointer moves between two places, so every pass draws a new pose.
void EditPass_ThreeFrames(benchmark::State& state) {
  Editor editor(3);
  const QPoint places[2] = {controlWidget(layout::canvas)->mapToGlobal(QPoint(300, 200)),
                            controlWidget(layout::canvas)->mapToGlobal(QPoint(120, 220))};
  editor.app.dragSegment = 8;
  int pass = 0;
  for (auto _ : state) {
    QCursor::setPos(places[++pass % 2]);
    handleEvent(editor.app, 0);
    updateView(editor.app);
    confirmQuit(editor.app);
  }
}

void PreviewStep_ThreeFrames(benchmark::State& state) {
  Editor editor(3);
  enterPreview(editor.app.session);
  editor.app.session.playing = true;
  for (auto _ : state) previewStep(editor.app.session);
}

// The whole program idle in edit mode, its real loop with its 2 ms waits.
void IdleEditLoop_CpuShare(benchmark::State& state) {
  Editor editor(3);
  for (auto _ : state) {
    const double cpu = cpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - wall < std::chrono::milliseconds(500)) {
      handleEvent(editor.app, waitEvent(2));
      updateView(editor.app);
      confirmQuit(editor.app);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - wall;
    state.counters["cpu_share_of_a_core"] = (cpuSeconds() - cpu) / elapsed.count();
  }
}

ImageId patternFrame() {
  const ImageId image = createImage(AutoId, 400, 400);
  beginDrawing(imageOutput(image));
  for (int y = 0; y < 400; y += 7) fillRectangle(0, y, 400, 3, static_cast<Color>(y * 0x010203));
  endDrawing();
  return image;
}

void Mirror_Ours(benchmark::State& state) {
  initImageStore();
  const ImageId source = patternFrame();
  for (auto _ : state) releaseImage(mirrorImage(source));
  shutdownImageStore();
}

void Mirror_QImageMirrored(benchmark::State& state) {
  QImage picture(400, 400, QImage::Format_BGR888);
  picture.fill(Qt::gray);
  for (auto _ : state) benchmark::DoNotOptimize(picture.mirrored(true, false));
}

void Export100Frames_Ours(benchmark::State& state) {
  Editor editor(0);
  for (int i = 0; i < 100; ++i) captureFrame(editor.app.session);
  TempFolder folder;
  const std::string base = (folder.path / "walk").string();
  for (auto _ : state) {
    FrameSeries& series = editor.app.session.frames;
    series.reset();
    // The export's own loop without its dialog: both files of every frame.
    while (const Frame* frame = series.next()) {
      const std::string name = base + integerToText(series.index());
      saveImageAsBitmap(frame->image, (name + "l.bmp").c_str());
      const ImageId mirrored = mirrorImage(frame->image);
      saveImageAsBitmap(mirrored, (name + "r.bmp").c_str());
      releaseImage(mirrored);
    }
  }
}

void Export100Frames_Limit_RawWrite(benchmark::State& state) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes(480054, 0);
  for (auto _ : state) {
    for (int i = 0; i < 200; ++i) {
      const int fd = ::open((folder.path / ("walk" + std::to_string(i))).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
      ::close(fd);
    }
  }
}

BENCHMARK(EditPass_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(PreviewStep_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(IdleEditLoop_CpuShare)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Mirror_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Mirror_QImageMirrored)->Unit(benchmark::kMicrosecond);
BENCHMARK(Export100Frames_Ours)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_Limit_RawWrite)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
