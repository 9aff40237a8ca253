// Ends a test binary whose current test runs past its deadline, naming the test, so that a
// loop that stops turning fails within seconds instead of at ctest's limit.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

// The watching thread touches nothing of gtest's: it may outlive the test program's statics.
inline void watchEveryTest(std::chrono::seconds limit) {
  using Clock = std::chrono::steady_clock;
  static std::atomic<Clock::time_point> started{};  // of the running test; none between tests
  static char name[256] = {};
  struct Listener : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override {
      std::snprintf(name, sizeof name, "%s.%s", test.test_suite_name(), test.name());
      started = Clock::now();
    }
    void OnTestEnd(const testing::TestInfo&) override { started = Clock::time_point{}; }
  };
  testing::UnitTest::GetInstance()->listeners().Append(new Listener);
  std::thread([limit] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const Clock::time_point since = started;
      if (since == Clock::time_point{} || Clock::now() - since <= limit) continue;
      std::fprintf(stderr, "\nwatchdog: %s did not finish within %lld s\n", name, static_cast<long long>(limit.count()));
      ::_exit(3);
    }
  }).detach();
}
