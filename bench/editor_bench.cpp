// Main-loop passes, the mirror and whole exports of the running editor's parts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCursor>
#include <QImage>
#include <QLineEdit>
#include <chrono>
#include <cstdio>
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

// A step that advances and draws: a negative rate advances on every step.
void PreviewStep_ThreeFrames(benchmark::State& state) {
  Editor editor(3);
  enterPreview(editor.app.session);
  static_cast<QLineEdit*>(controlWidget(layout::rateEdit))->setText("-1");
  editor.app.session.playing = true;
  for (auto _ : state) previewStep(editor.app.session);
}

// The share of one core that the editor's real loop, with its 2 ms waits, takes over a few seconds.
double loopCpuShare(Editor& editor) {
  const double cpu = cpuSeconds();
  const auto wall = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - wall < std::chrono::seconds(3)) {
    handleEvent(editor.app, waitEvent(2));
    updateView(editor.app);
    confirmQuit(editor.app);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - wall;
  return (cpuSeconds() - cpu) / elapsed.count();
}

// Idle in edit mode, then the preview paused and playing at 25 frames a second.
void LoopCpuShare_IdleEditPausedPlaying(benchmark::State& state) {
  Editor editor(3);
  for (auto _ : state) {
    state.counters["idle_edit"] = loopCpuShare(editor);
    enterPreview(editor.app.session);
    state.counters["preview_paused"] = loopCpuShare(editor);
    setControlState(layout::playButton, 1);
    playButtonCommand(editor.app.session);
    state.counters["preview_playing_25fps"] = loopCpuShare(editor);
    leavePreview(editor.app.session);
  }
}

ImageId patternFrame() {
  const ImageId image = createImage(400, 400);
  beginDrawing(imageOutput(image));
  for (int y = 0; y < 400; y += 7) fillRectangle(0, y, 400, 3, static_cast<Color>(y * 0x010203));
  endDrawing();
  return image;
}

void Mirror_Ours(benchmark::State& state) {
  initImageStore();
  const ImageId source = patternFrame(), mirror = createImage(400, 400);
  for (auto _ : state) benchmark::DoNotOptimize(mirrorImage(source, mirror));
  shutdownImageStore();
}

void Mirror_QImageMirrored(benchmark::State& state) {
  QImage picture(400, 400, QImage::Format_BGR888);
  picture.fill(Qt::gray);
  for (auto _ : state) benchmark::DoNotOptimize(picture.mirrored(true, false));
}

// The export without its dialog, over files it wrote before: flushed and renamed.
void exportFrames(benchmark::State& state, int frames) {
  Editor editor(0);
  for (int i = 0; i < frames; ++i) captureFrame(editor.app.session);
  TempFolder folder;
  const std::string base = (folder.path / "walk").string();
  for (auto _ : state)
    if (exportSeriesTo(editor.app.session, base) != ExportResult::Completed) state.SkipWithError("export failed");
}

void Export100Frames_Ours(benchmark::State& state) { exportFrames(state, 100); }
void Export1000Frames_Ours(benchmark::State& state) { exportFrames(state, 1000); }

// The same 200 files' bytes written in place, neither renamed nor (unless asked) flushed.
void rawWrites(benchmark::State& state, bool flushOnce) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes(480054, 0);
  for (auto _ : state) {
    int fd = -1;
    for (int i = 0; i < 200; ++i) {
      if (fd >= 0) ::close(fd);
      fd = ::open((folder.path / ("walk" + std::to_string(i))).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    }
    if (flushOnce) ::syncfs(fd);
    ::close(fd);
  }
}

void Export100Frames_Limit_RawWrite(benchmark::State& state) { rawWrites(state, false); }
// The floor of any durable export: the same writes and one flush of their file system.
void Export100Frames_Limit_RawWriteAndOneFlush(benchmark::State& state) { rawWrites(state, true); }

double residentMegabytes() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// Memory per captured frame beside its floor, the 480000 bytes of its raster, and what New
// gives back: the resident size after New beside the size at start-up.
void MemoryPerFrame_2000FramesThenNew(benchmark::State& state) {
  constexpr int frames = 2000;
  for (auto _ : state) {
    Editor editor(0);
    const double start = residentMegabytes();
    for (int i = 0; i < frames; ++i) captureFrame(editor.app.session);
    const double full = residentMegabytes();
    newSeries(editor.app.session);
    const double afterNew = residentMegabytes();
    state.counters["rss_start_MB"] = start;
    state.counters["rss_2000_frames_MB"] = full;
    state.counters["per_frame_vs_raster"] = (full - start) * 1e6 / frames / 480000.0;
    state.counters["rss_after_new_MB"] = afterNew;
    state.counters["after_new_minus_start_MB"] = afterNew - start;
  }
}

BENCHMARK(EditPass_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(PreviewStep_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoopCpuShare_IdleEditPausedPlaying)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Mirror_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Mirror_QImageMirrored)->Unit(benchmark::kMicrosecond);
BENCHMARK(Export100Frames_Ours)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_Limit_RawWrite)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_Limit_RawWriteAndOneFlush)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export1000Frames_Ours)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(MemoryPerFrame_2000FramesThenNew)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
