// A real X11 desktop for the process-level tests: an Xvfb display of its own, a window
// manager, the built program as a child process, and input through xdotool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

using Seconds = std::chrono::duration<double>;

// Polls the condition until it holds or the deadline passes; false on the deadline.
bool waitUntil(const std::function<bool()>& condition, Seconds deadline);

// How long a step may take: longer under the sanitizers.
Seconds patience();

// What a command printed, and whether it ended with exit code 0.
struct CommandResult {
  bool ok = false;
  std::string out;
};

// A child process, ended (SIGKILL) with its owner unless it has exited.
class Child {
 public:
  Child() = default;
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int keepOpenFd = -1);
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  ~Child();
  pid_t pid() const { return pid_; }
  bool running();
  // The wait status once it has ended within the deadline, else -1.
  int waitForExit(Seconds deadline);
  void kill();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

class Desktop {
 public:
  Desktop();  // an Xvfb display and a window manager, waited for until they answer
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  const std::string& display() const { return display_; }
  // The environment of a program started on this desktop.
  std::vector<std::string> environment() const;
  CommandResult run(const std::vector<std::string>& argv) const;
  CommandResult xdotool(const std::vector<std::string>& args) const;
  // The visible top-level windows whose title matches the pattern.
  std::vector<std::string> windows(const std::string& titlePattern) const;
  // A menu that opened over the main window: its id once it shows, "" after the deadline.
  std::string popup(const std::string& mainWindow, Seconds deadline = patience()) const;
  // The window's pixels as 0x00RRGGBB, row by row from the top.
  std::vector<std::uint32_t> grab(const std::string& window, int x, int y, int width, int height) const;

 private:
  std::string display_;
  TempFolder runtimeDir_;  // the session's private XDG_RUNTIME_DIR
  Child server_;
  Child windowManager_;
};
