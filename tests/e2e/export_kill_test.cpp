// An export killed with SIGKILL at random moments: every name holds its old file or the
// complete new one, nothing half-written is left, and the next export leaves no trace of it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "series.h"
#include "ui.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr int frames = 20;

// The export as the editor runs it, in a process of its own: frames of distinct poses.
pid_t startExport(const fs::path& folder) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // an export that never ends dies with a test that gave up on it
    initImageStore();
    startWindowServices();  // the export shows its busy pointer, and a progress window when slow
    Session session;
    resetPose(session.figure);
    for (int i = 0; i < frames; ++i) {
      session.figure[0].angle = 100 + 7 * i;
      captureFrame(session);
    }
    ::_exit(exportSeriesTo(session, (folder / "walk").string()) == ExportResult::Completed ? 0 : 1);
  }
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::map<std::string, std::string> filesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename()] = {std::istreambuf_iterator<char>(in), {}};
  }
  return files;
}

TEST(ExportKilled, EveryNameHoldsTheOldOrTheCompleteNewFile) {
  const TempFolder reference;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(waitFor(startExport(reference.path)), 0);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  const std::map<std::string, std::string> fresh = filesIn(reference.path);
  ASSERT_EQ(fresh.size(), 2u * frames);
  std::mt19937 random(20261207);
  std::uniform_int_distribution<long long> moment(0, took.count() * 6 / 5);
  for (int run = 0; run < 20; ++run) {
    const TempFolder folder;
    for (const auto& [name, bytes] : fresh) std::ofstream(folder.path / name) << "old " << name;
    const pid_t pid = startExport(folder.path);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(pid, SIGKILL);
    waitFor(pid);
    for (const auto& [name, bytes] : filesIn(folder.path)) {
      if (fresh.count(name)) {
        EXPECT_TRUE(bytes == fresh.at(name) || bytes == "old " + name) << name << ", run " << run;
      } else {
        // A kill between naming the finished files and renaming them leaves them, whole.
        EXPECT_EQ(name.rfind(".limbrik-", 0), 0u) << name;
        EXPECT_EQ(bytes.size(), 480054u) << name;
      }
    }
    ASSERT_EQ(waitFor(startExport(folder.path)), 0);  // the next export clears them away
    EXPECT_EQ(filesIn(folder.path), fresh) << "run " << run;
  }
}

}  // namespace
