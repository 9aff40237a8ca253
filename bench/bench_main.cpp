// Benchmarks that touch widgets need the Qt application; the harness picks the platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "ui.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  startWindowServices();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  stopWindowServices();
  return 0;
}
