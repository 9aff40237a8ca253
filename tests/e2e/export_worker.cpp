// Exports a series of distinct poses under a base path, as the editor's export does, for the
// test that kills it midway. Usage: export_worker BASE FRAMES
#include <cstdlib>
#include <string>

#include "series.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  initImageStore();
  Session session;
  resetPose(session.figure);
  const int frames = std::atoi(argv[2]);
  for (int i = 0; i < frames; ++i) {
    session.figure[0].angle = 100 + 7 * i;
    captureFrame(session);
  }
  const bool done = exportSeriesTo(session, argv[1]) == ExportResult::Completed;
  shutdownImageStore();
  return done ? 0 : 1;
}
