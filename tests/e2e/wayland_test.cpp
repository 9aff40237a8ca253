// The built limbrik natively on Wayland: a headless sway compositor of the suite's own, the
// window as sway knows it, a close request with and without frames, keys from a virtual
// keyboard (wtype). The X11 suite drives the roads; this proves the program lives here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "e2e/process.h"

namespace {

const std::string appId = "org.limbrik.animator";

// A window of sway's tree, as its fields read.
struct View {
  std::string name, shell;
  int width = -1, height = -1;
};

class OnWayland : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // sway refuses to run as root: it runs as nobody, in a runtime folder that it owns.
    const bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::chown(runtimeDir.path.c_str(), 65534, 65534), 0);
    }
    ::chmod(runtimeDir.path.c_str(), 0700);
    const fs::path config = runtimeDir.path / "config";
    std::ofstream(config) << "xwayland disable\n";
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.path.c_str(), 1);
    ::setenv("WLR_BACKENDS", "headless", 1);
    ::setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
    ::setenv("WLR_RENDERER", "pixman", 1);
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
#if defined(__SANITIZE_ADDRESS__)
    // Mesa's leak under Qt's Wayland buffer integration is named only in a full stack.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":fast_unwind_on_malloc=0").c_str(), 1);
#endif
    std::vector<std::string> argv{"sway", "-c", config.string()};
    if (root)
      argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    compositor = std::make_unique<Child>(argv);
    ASSERT_TRUE(waitUntil([] { return socketNamed("wayland-") && socketNamed("sway-ipc."); })) << "sway did not start";
    ::setenv("WAYLAND_DISPLAY", socketNamed("wayland-")->filename().c_str(), 1);
    ::setenv("SWAYSOCK", socketNamed("sway-ipc.")->c_str(), 1);
  }
  static void TearDownTestSuite() { compositor.reset(); }

  void SetUp() override {
    program = std::make_unique<Child>(std::vector<std::string>{LIMBRIK_BINARY});
    ASSERT_TRUE(waitUntil([] { return view().has_value(); }, Seconds(60))) << "no window of " << appId;
  }

  static std::optional<fs::path> socketNamed(const std::string& prefix) {
    for (const auto& entry : fs::directory_iterator(runtimeDir.path))
      if (entry.is_socket() && entry.path().filename().string().rfind(prefix, 0) == 0) return entry.path();
    return std::nullopt;
  }
  static std::string tree() { return run({"swaymsg", "-t", "get_tree", "-r"}).value_or(""); }
  // The editor's window: the node around its app_id, from its geometry to its shell.
  static std::optional<View> view() {
    const std::string all = tree();
    const std::size_t at = all.find("\"app_id\": \"" + appId + "\"");
    const std::size_t from = all.rfind("\"geometry\"", at);
    if (at == std::string::npos || from == std::string::npos) return std::nullopt;
    const std::string node = all.substr(from, all.find("\"shell\"", at) + 40 - from);
    const auto field = [&node](const std::string& name) {  // "name": value, a text without its quotes
      const std::size_t key = node.find("\"" + name + "\": ");
      if (key == std::string::npos) return std::string();
      const std::size_t start = key + name.size() + 4, quoted = node[start] == '"';
      return node.substr(start + quoted, node.find_first_of(quoted ? "\"" : ",\n}", start + quoted) - start - quoted);
    };
    return View{field("name"), field("shell"), std::atoi(field("width").c_str()), std::atoi(field("height").c_str())};
  }
  static bool questionShown() { return tree().find("\"name\": \"Limbrik Editor\"") != std::string::npos; }
  static void closeRequest() { ASSERT_TRUE(run({"swaymsg", "[app_id=" + appId + "] kill"})); }
  // Keys from a new virtual keyboard, after a pause in which Qt takes its key map.
  static void keys(const std::string& modifier, const std::string& key) {
    ASSERT_TRUE(run({"wtype", "-s", "300", "-M", modifier, "-k", key, "-m", modifier}));
  }

  static inline TempFolder runtimeDir;
  static inline std::unique_ptr<Child> compositor;
  std::unique_ptr<Child> program;
};

TEST_F(OnWayland, TheWindowNamesItsDesktopEntryAndEndsOnACloseRequest) {
  const View window = *view();
  EXPECT_EQ(window.name, "Limbrik Animator");
  EXPECT_EQ(window.shell, "xdg_shell");
  EXPECT_EQ(std::make_pair(window.width, window.height), std::make_pair(400, 420));
  closeRequest();
  program->endsWithZero();
}

TEST_F(OnWayland, AfterACaptureACloseRequestAsksAndNoEnds) {
  keys("shift", "s");
  closeRequest();
  ASSERT_TRUE(waitUntil(questionShown)) << "no save question";
  keys("alt", "n");
  program->endsWithZero();
}

}  // namespace
