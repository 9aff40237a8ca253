// The edit view and the capture render, beside the same scene drawn by QPainter.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstring>

#include "figure.h"

namespace {

struct Scene {
  Figure figure{};
  ImageId target = 0;
  ImageId onion = 0;
  Scene() {
    initImageStore();
    resetPose(figure);
    target = createImage(400, 400);
    onion = createImage(400, 400);
    renderFigure(figure, {open, onion}, false, 0);
    figure[0].angle = 120;  // the live pose differs from the onion frame
  }
  ~Scene() { shutdownImageStore(); }
  static DrawSurface* open(std::intptr_t id) { return imageOutput(id); }
};

void EditView_Ours(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    renderFigure(scene.figure, {Scene::open, scene.target}, true, imageHandle(scene.onion));
    benchmark::ClobberMemory();
  }
}

void Capture_Ours(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    renderFigure(scene.figure, {Scene::open, scene.target}, false, 0);
    benchmark::ClobberMemory();
  }
}

// The same scene with QPainter: background, onion at 80/255, bones as filled quads,
// caps and head as discs, handles as boxes; antialiasing off.
void paintScene(QImage& image, const QImage* onion, const Figure& figure, bool handles) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(0, 0, 400, 400, Qt::white);
  if (onion) {
    p.setOpacity(80 / 255.0);
    p.drawImage(0, 0, *onion);
    p.setOpacity(1);
  }
  p.setPen(Qt::NoPen);
  for (int i = 10; i >= 0; --i) {
    const Segment& s = figure[i];
    const double a = s.angle * 3.14159265358979 / 180;
    const QPointF start(s.x, s.y), end(s.x + std::sin(a) * s.length, s.y - std::cos(a) * s.length);
    const QPointF side(std::cos(a) * 3, std::sin(a) * 3);
    const QColor color(0x30 + i, 0x30, 0x30);
    p.setBrush(color);
    const QPointF quad[4] = {start - side, start + side, end + side, end - side};
    p.drawPolygon(quad, 4);
    p.drawEllipse(end, 3, 3);
    if (i == 10) {
      const QPointF head(s.x + std::sin(a) * 40, s.y - std::cos(a) * 40);
      p.drawEllipse(head, 28, 28);
      p.setBrush(Qt::white);
      p.drawEllipse(head, 23, 23);
    }
  }
  if (!handles) return;
  for (const Segment& s : figure) p.fillRect(QRectF(s.x + s.dx - 5, s.y + s.dy - 5, 10, 10), QColor(0x10, 0xFF, 0x10));
}

template <QImage::Format format>
void EditView_QPainter(benchmark::State& state) {
  Scene scene;
  QImage image(400, 400, format), onion(400, 400, format);
  onion.fill(Qt::white);
  paintScene(onion, nullptr, scene.figure, false);
  for (auto _ : state) {
    paintScene(image, &onion, scene.figure, true);
    benchmark::ClobberMemory();
  }
}

template <QImage::Format format>
void Capture_QPainter(benchmark::State& state) {
  Scene scene;
  QImage image(400, 400, format);
  for (auto _ : state) {
    paintScene(image, nullptr, scene.figure, false);
    benchmark::ClobberMemory();
  }
}

// The floor of a naive edit view: clear every byte, then one blend pass over them.
void EditView_Limit_MemsetAndBlend(benchmark::State& state) {
  std::vector<std::uint8_t> target(480000), onion(480000, 0x30);
  for (auto _ : state) {
    std::memset(target.data(), 0xFF, target.size());
    std::uint8_t* __restrict t = target.data();
    const std::uint8_t* __restrict o = onion.data();
    for (std::size_t i = 0; i < target.size(); ++i) {
      const auto v = static_cast<std::uint16_t>(t[i] * 175 + o[i] * 80);
      t[i] = static_cast<std::uint8_t>((v + 1 + (v >> 8)) >> 8);
    }
    benchmark::ClobberMemory();
  }
}

BENCHMARK(EditView_Ours);
BENCHMARK(EditView_QPainter<QImage::Format_RGB32>)->Name("EditView_QPainter_RGB32");
BENCHMARK(EditView_QPainter<QImage::Format_BGR888>)->Name("EditView_QPainter_BGR888");
BENCHMARK(EditView_Limit_MemsetAndBlend);
BENCHMARK(Capture_Ours);
BENCHMARK(Capture_QPainter<QImage::Format_RGB32>)->Name("Capture_QPainter_RGB32");
BENCHMARK(Capture_QPainter<QImage::Format_BGR888>)->Name("Capture_QPainter_BGR888");

}  // namespace
