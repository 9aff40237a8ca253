// Processes of the process-level suites: deadlines, children that die with the test, and
// the output of a command.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

// How long a step may take: longer under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
constexpr Seconds patience{40};
#else
constexpr Seconds patience{15};
#endif

// Polls the condition until it holds or the deadline passes; false on the deadline, and at
// once after a failed step of the test, whose later steps cannot tell anything more.
inline bool waitUntil(const std::function<bool()>& condition, Seconds deadline = patience) {
  if (testing::Test::HasFailure()) return false;
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A child process, killed with its owner unless it has exited; it also dies with the test.
class Child {
 public:
  explicit Child(std::vector<std::string> argv, int keepOpenFd = -1) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed or timed-out test leaves nothing behind
    if (::getppid() != parent) ::_exit(127);
    if (keepOpenFd >= 0) ::fcntl(keepOpenFd, F_SETFD, 0);
    ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ~Child() {
    if (running()) ::kill(pid_, SIGKILL), ::waitpid(pid_, &status_, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool running() {
    int status = 0;
    if (status_ == -1 && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return pid_ > 0 && status_ == -1;
  }
  void signal(int number) { ::kill(pid_, number); }
  // It ends by itself within the deadline, with exit status 0.
  void endsWithZero() {
    waitUntil([this] { return !running(); });
    ASSERT_NE(status_, -1) << "still running";
    ASSERT_FALSE(WIFSIGNALED(status_)) << "ended by signal " << WTERMSIG(status_);
    EXPECT_EQ(WEXITSTATUS(status_), 0);
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// What a command printed, or nothing when it did not exit with 0. No argument holds a quote.
inline std::optional<std::string> run(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& a : argv) command += " '" + a + "'";
  FILE* out = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!out) return {};
  std::string text;
  char buffer[256];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
  return ::pclose(out) == 0 ? std::optional(text) : std::nullopt;
}
