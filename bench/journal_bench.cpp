// The journal's cost: a capture with it beside one without, an undo and a redo beside the
// capture, the start-up's look for journals, and a killed editor's 100 000 frames asked about and
// restored; the bytes a frame takes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "support/temp_folder.h"

#include "app.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A varied pose for each frame, captured, then packed as the loop's next pass packs the last.
void capture(Session& session, int i) {
  session.figure[0].angle = 100 + 10 * (i % 37);
  session.figure[8].angle = 170 + (i % 21);
  captureFrame(session);
  session.frames.packOlderFrames();
}

// Ja as soon as the question shows, when that was.
void answerYes(Clock::time_point& asked) {
  QTimer::singleShot(0, qApp, [&asked] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return answerYes(asked);
    asked = Clock::now();
    box->button(QMessageBox::Yes)->click();
  });
}

struct Editor {
  TempFolder state;
  AppState app;
  explicit Editor(bool journaled) {
    ::setenv("XDG_STATE_HOME", state.path.c_str(), 1);
    startUp(app);
    if (journaled) startJournal(app.session);
  }
  ~Editor() {
    endJournal(app.session);
    shutDown();
  }
};

void captures(benchmark::State& state, bool journaled) {
  Editor editor(journaled);
  int i = 0;
  for (auto _ : state) capture(editor.app.session, i++);
  if (journaled)
    state.counters["journal_bytes_per_frame"] =
        static_cast<double>(editor.app.session.journal.end - journalHeaderSize) / i;
}

void Capture_Journaled(benchmark::State& state) { captures(state, true); }
void Capture_Peer_WithoutJournal(benchmark::State& state) { captures(state, false); }

// The last of 100 journaled frames taken back and appended again, each beside the capture above.
void undoOrRedo(benchmark::State& state, bool undo) {
  Editor editor(true);
  Session& session = editor.app.session;
  for (int i = 0; i < 100; ++i) capture(session, i);
  for (auto _ : state) {
    if (!undo) {
      state.PauseTiming();
      undoCapture(session);
      state.ResumeTiming();
      redoCapture(session);
    } else {
      undoCapture(session);
      state.PauseTiming();
      redoCapture(session);
      state.ResumeTiming();
    }
  }
}

void Undo_Journaled(benchmark::State& state) { undoOrRedo(state, true); }
void Redo_Journaled(benchmark::State& state) { undoOrRedo(state, false); }

// What the start adds when no journal is left: the folder looked through, the new journal made.
void StartJournal_NoneLeft(benchmark::State& state) {
  Editor editor(false);
  for (auto _ : state) {
    startJournal(editor.app.session);
    state.PauseTiming();
    endJournal(editor.app.session);
    state.ResumeTiming();
  }
}

// A killed editor's journal of 100 000 frames, made of 100 captured ones repeated: the time
// until the question shows beside the two seconds it may take, until Ja restored them, and the
// longest the window went without answering meanwhile.
void Restore_100000Frames(benchmark::State& state) {
  constexpr int frames = 100000, captured = 100;
  constexpr double askWithinMs = 2000;
  Editor editor(true);
  for (int i = 0; i < captured; ++i) capture(editor.app.session, i);
  const fs::path left = editor.state.path / "limbrik" / editor.app.session.journal.name;
  closeJournal(editor.app.session.journal);
  editor.app.session.frames.clear();
  {
    std::ifstream in(left, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string records = all.substr(journalHeaderSize);
    std::ofstream out(editor.state.path / "kept", std::ios::binary);
    out << all.substr(0, journalHeaderSize);
    for (int i = 0; i < frames / captured; ++i) out << records;
  }
  const fs::path kept = editor.state.path / "kept";
  for (auto _ : state) {
    fs::copy_file(kept, left, fs::copy_options::overwrite_existing);
    Session restored;
    Clock::time_point asked, answered = Clock::now();
    double longestUnanswered = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
      const Clock::time_point now = Clock::now();
      longestUnanswered = std::max(longestUnanswered, std::chrono::duration<double, std::milli>(now - answered).count());
      answered = now;
    });
    ticks.start(1);
    answerYes(asked);
    const Clock::time_point start = Clock::now();
    startJournal(restored);
    const Clock::time_point done = Clock::now();
    const double askedAfter = std::chrono::duration<double, std::milli>(asked - start).count();
    state.counters["asked_after_ms"] = askedAfter;
    state.counters["asked_share_of_limit"] = askedAfter / askWithinMs;
    state.counters["restored_after_ms"] = std::chrono::duration<double, std::milli>(done - start).count();
    state.counters["longest_unanswered_ms"] = longestUnanswered;
    if (restored.frames.count() != frames) state.SkipWithError("not every frame came back");
    state.PauseTiming();
    restored.frames.clear();
    closeJournal(restored.journal);
    state.ResumeTiming();
  }
}

}  // namespace

BENCHMARK(Capture_Journaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(Capture_Peer_WithoutJournal)->Unit(benchmark::kMicrosecond);
BENCHMARK(Undo_Journaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(Redo_Journaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(StartJournal_NoneLeft)->Unit(benchmark::kMillisecond);
BENCHMARK(Restore_100000Frames)->Iterations(2)->Unit(benchmark::kMillisecond);
