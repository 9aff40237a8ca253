// A real X11 desktop for the process-level tests: an Xvfb display of its own with a window
// manager, programs started on it as child processes, and input through xdotool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_folder.h"

using Seconds = std::chrono::duration<double>;

// Polls the condition until it holds or the deadline passes; false on the deadline.
bool waitUntil(const std::function<bool()>& condition, Seconds deadline);
// How long a step may take: longer under the sanitizers.
Seconds patience();

// A child process, killed with its owner unless it has exited; it also dies with the test.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv, int keepOpenFd = -1);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool running();
  // The wait status once it has ended within the deadline, else -1.
  int waitForExit(Seconds deadline);

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Starting it points this process's DISPLAY at it, so every program started later runs there.
class Desktop {
 public:
  Desktop();
  // Runs a command to its end: what it printed, and whether it exited with 0.
  std::pair<bool, std::string> run(const std::vector<std::string>& argv) const;
  bool xdotool(const std::vector<std::string>& args) const;
  // The visible windows whose title matches, newest last.
  std::vector<std::string> windows(const std::string& titlePattern) const;
  // A menu open over the main window: its id once it shows, "" after the deadline.
  std::string popup(const std::string& mainWindow, Seconds deadline = patience()) const;
  int windowHeight(const std::string& window) const;
  // The window's pixels as 0x00RRGGBB, row by row from the top.
  std::vector<std::uint32_t> grab(const std::string& window, int x, int y, int width, int height) const;

 private:
  TempFolder runtimeDir_;  // the session's private XDG_RUNTIME_DIR
  std::unique_ptr<Child> server_, windowManager_;
};
