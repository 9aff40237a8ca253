// The idle event wait, and showing the canvas beside a plain widget's repaint.
#include <benchmark/benchmark.h>

#include <QPainter>
#include <QTest>
#include <QWidget>

#include "ui_internal.h"

namespace {

void openEditorWindow() {
  openWindow(0, 400, 420, "Limbrik Animator");
  createMenuBar(0, 0);
  addMenuTitle("Datei");
  addMenuItem(0, "Neu\tStrg+N");
  canvasControl(0, 0, 0, 400, 400);
  if (!QTest::qWaitForWindowExposed(windowRecord(0)->widget)) std::abort();
}

void IdleWait2ms(benchmark::State& state) {
  openEditorWindow();
  while (waitEvent(0) != 0) {
  }
  for (auto _ : state) benchmark::DoNotOptimize(waitEvent(2));
  state.counters["passes_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  closeAllWindows();
}

void CanvasBlit_Ours(benchmark::State& state) {
  openEditorWindow();
  for (auto _ : state) {
    beginDrawing(canvasOutput(0));
    endDrawing();
  }
  closeAllWindows();
}

class PictureWidget : public QWidget {
 public:
  explicit PictureWidget(QImage::Format format) : picture_(400, 400, format) {
    picture_.fill(Qt::white);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture_); }

 private:
  QImage picture_;
};

template <QImage::Format format>
void CanvasBlit_QWidgetRepaint(benchmark::State& state) {
  QWidget window;
  window.setFixedSize(400, 420);
  auto* picture = new PictureWidget(format);
  picture->setParent(&window);
  picture->setGeometry(0, 20, 400, 400);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not shown");
  for (auto _ : state) picture->repaint();
}

BENCHMARK(IdleWait2ms)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(CanvasBlit_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(CanvasBlit_QWidgetRepaint<QImage::Format_BGR888>)->Name("CanvasBlit_QWidgetRepaint_BGR888")->Unit(benchmark::kMicrosecond);
BENCHMARK(CanvasBlit_QWidgetRepaint<QImage::Format_RGB32>)->Name("CanvasBlit_QWidgetRepaint_RGB32")->Unit(benchmark::kMicrosecond);

}  // namespace
