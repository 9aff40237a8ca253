#include "e2e/desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

// Reads what the descriptor delivers until it closes or the deadline passes.
std::string readAll(int fd, Seconds deadline) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + deadline;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

std::string firstLine(int fd, Seconds deadline) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + deadline;
  char c;
  while (std::chrono::steady_clock::now() < end && text.find('\n') == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if (::read(fd, &c, 1) != 1) break;
    text += c;
  }
  return text;
}

std::vector<std::string> inheritedEnvironment() {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) result.emplace_back(*e);
  return result;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int keepOpenFd) {
  std::vector<std::string> args = argv, env = environment;
  std::vector<char*> argp = pointers(args), envp = pointers(env);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Dies with the test, so that a crashed or timed-out run leaves nothing behind.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0 && ::getenv("LIMBRIK_E2E_VERBOSE") == nullptr) ::dup2(quiet, STDOUT_FILENO);
    if (keepOpenFd >= 0) ::fcntl(keepOpenFd, F_SETFD, 0);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
}

Child::Child(Child&& other) noexcept : pid_(other.pid_), status_(other.status_) { other.pid_ = -1; }

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    kill();
    pid_ = other.pid_;
    status_ = other.status_;
    other.pid_ = -1;
  }
  return *this;
}

Child::~Child() { kill(); }

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

void Child::kill() {
  if (pid_ > 0 && running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
  pid_ = -1;
}

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

Desktop::Desktop() {
  // Xvfb picks a free display itself and names it on this pipe.
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  server_ = Child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   "-noreset"},
                  inheritedEnvironment(), fds[1]);
  ::close(fds[1]);
  std::string number = firstLine(fds[0], Seconds(20));
  ::close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start");
  number.pop_back();  // the newline
  display_ = ':';
  display_ += number;
  windowManager_ = Child({"openbox", "--sm-disable"}, environment());
  if (!waitUntil([this] { return run({"wmctrl", "-m"}).ok; }, Seconds(20)))
    throw std::runtime_error("the window manager did not start");
}

Desktop::~Desktop() {
  windowManager_.kill();
  server_.kill();
}

std::vector<std::string> Desktop::environment() const {
  std::vector<std::string> env;
  for (const std::string& e : inheritedEnvironment())
    if (e.rfind("DISPLAY=", 0) != 0 && e.rfind("QT_QPA_PLATFORM=", 0) != 0 && e.rfind("XDG_RUNTIME_DIR=", 0) != 0)
      env.push_back(e);
  env.push_back("DISPLAY=" + display_);
  env.push_back("QT_QPA_PLATFORM=xcb");
  env.push_back("XDG_RUNTIME_DIR=" + runtimeDir_.path.string());
  return env;
}

CommandResult Desktop::run(const std::vector<std::string>& argv) const {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  std::vector<std::string> args = argv, env = environment();
  std::vector<char*> argp = pointers(args), envp = pointers(env);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0 && ::getenv("LIMBRIK_E2E_VERBOSE") == nullptr) ::dup2(quiet, STDERR_FILENO);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  CommandResult result;
  result.out = readAll(fds[0], Seconds(20));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

CommandResult Desktop::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv);
}

std::vector<std::string> Desktop::windows(const std::string& titlePattern) const {
  std::istringstream lines(xdotool({"search", "--onlyvisible", "--name", titlePattern}).out);
  std::vector<std::string> ids;
  for (std::string id; std::getline(lines, id);)
    if (!id.empty()) ids.push_back(id);
  return ids;
}

std::vector<std::uint32_t> Desktop::grab(const std::string& window, int x, int y, int width, int height) const {
  const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(display_.c_str()), XCloseDisplay);
  if (!connection) return {};
  XImage* image = XGetImage(connection.get(), std::stoul(window), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<std::uint32_t> pixels;
  pixels.reserve(static_cast<std::size_t>(width) * height);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFFu);
  XDestroyImage(image);
  return pixels;
}

std::string Desktop::popup(const std::string& mainWindow, Seconds deadline) const {
  std::string found;
  // Qt names an untitled popup after the program.
  const auto look = [&] {
    std::istringstream lines(xdotool({"search", "--onlyvisible", "--classname", "^limbrik$"}).out);
    for (std::string id; std::getline(lines, id);)
      if (!id.empty() && id != mainWindow && xdotool({"getwindowname", id}).out == "limbrik\n") found = id;
    return !found.empty();
  };
  if (!look()) waitUntil(look, deadline);
  return found;
}
