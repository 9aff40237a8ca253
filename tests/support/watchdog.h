// Ends a test binary whose current test runs past its deadline, naming the test, so that a
// loop that stops turning fails within seconds instead of at ctest's limit.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

class Watchdog : public testing::EmptyTestEventListener {
 public:
  explicit Watchdog(std::chrono::seconds limit) : limit_(limit) {
    std::thread([this] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto started = started_.load();
        if (started != Clock::time_point{} && Clock::now() - started > limit_) {
          std::fprintf(stderr, "\nwatchdog: %s did not finish within %lld s\n", name_, (long long)limit_.count());
          ::_exit(3);
        }
      }
    }).detach();
  }
  void OnTestStart(const testing::TestInfo& test) override {
    std::snprintf(name_, sizeof name_, "%s.%s", test.test_suite_name(), test.name());
    started_ = Clock::now();
  }
  void OnTestEnd(const testing::TestInfo&) override { started_ = Clock::time_point{}; }

 private:
  using Clock = std::chrono::steady_clock;
  std::chrono::seconds limit_;
  std::atomic<Clock::time_point> started_{};
  char name_[256] = {};
};

// Installs the watchdog for every test of the binary.
inline void watchEveryTest(std::chrono::seconds limit) {
  testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(limit));
}
