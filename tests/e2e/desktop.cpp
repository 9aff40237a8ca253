#include "e2e/desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

bool waitUntil(const std::function<bool()>& condition, Seconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

Seconds patience() {
#if defined(__SANITIZE_ADDRESS__)
  return Seconds(40);
#else
  return Seconds(15);
#endif
}

Child::Child(const std::vector<std::string>& argv, int keepOpenFd) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed or timed-out test leaves nothing behind
    if (::getppid() != parent) ::_exit(127);
    if (keepOpenFd >= 0) ::fcntl(keepOpenFd, F_SETFD, 0);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, STDOUT_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
}

Child::~Child() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
}

bool Child::running() {
  if (pid_ <= 0 || status_ != -1) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  return status_ == -1;
}

int Child::waitForExit(Seconds deadline) {
  waitUntil([this] { return !running(); }, deadline);
  return status_;
}

Desktop::Desktop() {
  // Xvfb picks a free display itself and names it on this pipe.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  server_ = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                                             "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                                    fds[1]);
  ::close(fds[1]);
  std::string number;
  char c = 0;
  pollfd ready{fds[0], POLLIN, 0};
  while (::poll(&ready, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start");
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  ::setenv("XDG_RUNTIME_DIR", runtimeDir_.path.c_str(), 1);
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone mid-grab is no reason to exit
  windowManager_ = std::make_unique<Child>(std::vector<std::string>{"openbox", "--sm-disable"});
  if (!waitUntil([this] { return run({"wmctrl", "-m"}).first; }, Seconds(20)))
    throw std::runtime_error("the window manager did not start");
}

std::pair<bool, std::string> Desktop::run(const std::vector<std::string>& argv) const {
  std::string command;
  for (const std::string& a : argv) {
    command += " '";
    for (const char c : a) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  FILE* out = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!out) return {false, {}};
  std::string text;
  char buffer[256];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
  return {::pclose(out) == 0, text};
}

bool Desktop::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv).first;
}

std::vector<std::string> Desktop::windows(const std::string& titlePattern) const {
  std::istringstream lines(run({"xdotool", "search", "--onlyvisible", "--name", titlePattern}).second);
  std::vector<std::string> ids;
  for (std::string id; std::getline(lines, id);) ids.push_back(id);
  return ids;
}

std::string Desktop::popup(const std::string& mainWindow, Seconds deadline) const {
  std::string found;
  // Qt names an untitled popup after the program.
  const auto look = [&] {
    std::istringstream lines(run({"xdotool", "search", "--onlyvisible", "--classname", "^limbrik$"}).second);
    for (std::string id; std::getline(lines, id);)
      if (id != mainWindow && run({"xdotool", "getwindowname", id}).second == "limbrik\n") found = id;
    return !found.empty();
  };
  if (!look()) waitUntil(look, deadline);
  return found;
}

int Desktop::windowHeight(const std::string& window) const {
  const std::string out = run({"xdotool", "getwindowgeometry", "--shell", window}).second;
  const std::size_t at = out.find("HEIGHT=");
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + 7));
}

std::vector<std::uint32_t> Desktop::grab(const std::string& window, int x, int y, int width, int height) const {
  const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(nullptr), XCloseDisplay);
  if (!connection) return {};
  XImage* image = XGetImage(connection.get(), std::stoul(window), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<std::uint32_t> pixels;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFFu);
  XDestroyImage(image);
  return pixels;
}
