// Main-loop passes, the mirror and whole exports of the running editor's parts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

#include "app.h"
#include "ui_internal.h"

namespace fs = std::filesystem;

namespace {

// A varied pose for each frame, captured and, unless the frames are to stay raw, packed as the
// loop packs them after the pass of the capture.
void capture(Session& session, int i, bool pack = true) {
  session.figure[0].angle = 100 + 10 * (i % 37);
  session.figure[2].angle = 150 + 7 * (i % 29);
  session.figure[8].angle = 170 + (i % 21);
  dragUpdate(session.figure, 8, 200 + i % 50, 300);
  captureFrame(session);
  if (pack) session.frames.packOlderFrames();
}

struct Editor {
  AppState app;
  Editor(int frames, bool pack = true) {
    startUp(app);
    for (int i = 0; i < frames; ++i) capture(app.session, i, pack);
    while (waitEvent(0) != 0) {
    }
  }
  ~Editor() { shutDown(); }
};

// A pass of a drag: the motion reaches the canvas, the wait hands it over, then the drag update,
// the edit view with onion skin and the blit. The pointer moves between two places, so every
// pass draws a new pose. The peer asks the platform for the pointer twice a pass besides, as the
// build before did (a round trip each to an X server).
void dragPasses(benchmark::State& state, bool askingThePlatform) {
  Editor editor(3);
  QWidget* canvas = controlWidget(layout::canvas);
  const QPointF places[2] = {QPointF(300, 200), QPointF(120, 220)};
  editor.app.dragSegment = 8;
  int pass = 0;
  for (auto _ : state) {
    const QPointF at = places[++pass % 2];
    QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(canvas, &move);
    if (askingThePlatform) {
      benchmark::DoNotOptimize(canvas->mapFromGlobal(QCursor::pos()).x());
      benchmark::DoNotOptimize(canvas->mapFromGlobal(QCursor::pos()).y());
    }
    handleEvent(editor.app, waitEvent(0));
    updateView(editor.app);
    confirmQuit(editor.app);
  }
}

void DragPass_ThreeFrames(benchmark::State& state) { dragPasses(state, false); }
void DragPass_ThreeFrames_AskingThePlatformTwice(benchmark::State& state) { dragPasses(state, true); }

// A step that advances and draws: a negative rate advances on every step. The loop prepares
// the next frame after each step, outside the step that shows it; the second figure is the two.
void previewSteps(benchmark::State& state, bool withPreparing) {
  Editor editor(100);
  Session& session = editor.app.session;
  enterPreview(session);
  static_cast<QLineEdit*>(controlWidget(layout::rateEdit))->setText("-1");
  session.playing = true;
  for (auto _ : state) {
    previewStep(session);
    if (withPreparing) {
      prepareNextFrame(session);
    } else {
      state.PauseTiming();
      prepareNextFrame(session);
      state.ResumeTiming();
    }
  }
}

void PreviewStep_100PackedFrames(benchmark::State& state) { previewSteps(state, false); }
// As the build before packing measured it: three frames, which stay expanded.
void PreviewStep_ThreeFrames(benchmark::State& state) {
  Editor editor(3);
  enterPreview(editor.app.session);
  static_cast<QLineEdit*>(controlWidget(layout::rateEdit))->setText("-1");
  editor.app.session.playing = true;
  for (auto _ : state) previewStep(editor.app.session);
}
void PreviewStepAndPreparingTheNext_100PackedFrames(benchmark::State& state) { previewSteps(state, true); }

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
void exportFrames(benchmark::State& state, int frames, bool packed = true) {
  Editor editor(frames, packed);
  TempFolder folder;
  const std::string base = (folder.path / "walk").string();
  for (auto _ : state)
    if (exportSeriesTo(editor.app.session, base) != ExportResult::Completed) state.SkipWithError("export failed");
}

void Export100Frames_Ours(benchmark::State& state) { exportFrames(state, 100); }
// The peer: the same export of frames kept as raw rasters.
void Export100Frames_RawFrames(benchmark::State& state) { exportFrames(state, 100, false); }
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

long long statusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  return 0;
}

// Resident memory per captured frame, packed and (the peer) raw, over 2000 varied poses; what
// New gives back against the size at start-up; and what an export of the 2000 adds to the peak.
void MemoryPerFrame_2000Frames(benchmark::State& state) {
  constexpr int frames = 2000;
  for (auto _ : state) {
    for (const bool packed : {true, false}) {
      Editor editor(0);
      const double start = residentMegabytes();
      for (int i = 0; i < frames; ++i) capture(editor.app.session, i, packed);
      const double full = residentMegabytes();
      state.counters[packed ? "per_frame_kB" : "raw_per_frame_kB"] = (full - start) * 1e3 / frames;
      if (!packed) break;
      newSeries(editor.app.session);
      state.counters["after_new_minus_start_MB"] = residentMegabytes() - start;
      for (int i = 0; i < frames; ++i) capture(editor.app.session, i);
      TempFolder folder;
      std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
      const long long before = statusKilobytes("VmRSS:");
      if (exportSeriesTo(editor.app.session, (folder.path / "walk").string()) != ExportResult::Completed)
        state.SkipWithError("export failed");
      state.counters["export_adds_to_peak_MB"] = static_cast<double>(statusKilobytes("VmHWM:") - before) / 1e3;
    }
  }
}

BENCHMARK(DragPass_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(DragPass_ThreeFrames_AskingThePlatformTwice)->Unit(benchmark::kMicrosecond);
BENCHMARK(PreviewStep_ThreeFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(PreviewStep_100PackedFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(PreviewStepAndPreparingTheNext_100PackedFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(Mirror_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Mirror_QImageMirrored)->Unit(benchmark::kMicrosecond);
BENCHMARK(Export100Frames_Ours)->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_RawFrames)->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_Limit_RawWrite)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export100Frames_Limit_RawWriteAndOneFlush)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Export1000Frames_Ours)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(MemoryPerFrame_2000Frames)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
