# The built limbrik as its own process: on an Xvfb display of the suite's own with openbox,
# driven by real X input and read back from the screen; on a headless sway of its own.
import json
import os
import pathlib
import shutil
import signal
import subprocess
import tempfile
import time

import pytest
from Xlib import X, display as xdisplay, error as xerror

BINARY = os.environ["LIMBRIK_BINARY"]
PATIENCE = float(os.environ.get("LIMBRIK_PATIENCE", "15"))  # seconds a step may take
NOBODY = 65534


def fnv1a(data):
    digest = 0xCBF29CE484222325
    for byte in data:
        digest = (digest ^ byte) * 0x100000001B3 & 0xFFFFFFFFFFFFFFFF
    return digest


def wait_until(condition, deadline=PATIENCE):
    end = time.monotonic() + deadline
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.02)
    return True


# What a command printed, or None when it failed.
def output(*argv, env=None):
    done = subprocess.run(argv, capture_output=True, text=True, env=env)
    return done.stdout if done.returncode == 0 else None


# A child process, killed at the end of its test unless it has ended by itself.
class Program:
    def __init__(self, argv, env=None, **options):
        self.process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, **options)

    def signal(self, number):
        self.process.send_signal(number)

    def ends_with_zero(self):
        assert wait_until(lambda: self.process.poll() is not None), "still running"
        assert self.process.returncode == 0, f"ended with {self.process.returncode}"

    def stop(self):
        self.process.kill()
        self.process.wait()


@pytest.fixture(scope="session")
def runtime_dirs():  # a session's XDG_RUNTIME_DIR each, in /tmp itself, where sway run as nobody reaches it
    made = []
    yield lambda: made.append(pathlib.Path(tempfile.mkdtemp(prefix="limbrik-run-"))) or made[-1]
    for folder in made:
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="session")
def x11(runtime_dirs):  # an Xvfb display with a window manager: the environment for programs on it
    read, write = os.pipe()
    server = Program(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                      "-noreset"], pass_fds=[write])
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    assert number, "Xvfb did not start"
    env = dict(os.environ, DISPLAY=":" + number, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=str(runtime_dirs()),
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    # A session bus of the suite's own, where a screen reader's bus starts on demand.
    bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                         capture_output=True, text=True, env=env).stdout.split()
    env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
    # Without openbox's bindings (an empty section, not a missing one, which means the defaults):
    # its click binding grabs the pointer and freezes it until the manager lets the press through,
    # and a manager that comes late on a loaded machine has the server report every frozen event
    # where the pointer has gone since, as no program can tell.
    config = runtime_dirs() / "rc.xml"
    config.write_text('<openbox_config xmlns="http://openbox.org/3.4/rc"><focus><focusNew>yes</focusNew></focus>'
                      '<mouse></mouse><keyboard></keyboard></openbox_config>\n')
    manager = Program(["openbox", "--sm-disable", "--config-file", str(config)], env=env)
    assert wait_until(lambda: subprocess.run(["wmctrl", "-m"], env=env, capture_output=True).returncode == 0)
    os.environ.update(DISPLAY=env["DISPLAY"], DBUS_SESSION_BUS_ADDRESS=bus[0])  # for the tools in the tests
    yield env
    manager.stop()
    os.kill(int(bus[1]), signal.SIGTERM)
    server.stop()


# The editor on the X11 display: its window, input through xdotool, the screen through Xlib.
class Editor:  # each test's journals in a folder of its own, beside its files
    def __init__(self, env, folder, *args, wrapper=(), cwd=None, answer_at_start=None):
        self.state = folder.parent / f"{folder.name}-state"
        self.program = Program([*wrapper, BINARY, *args], env=dict(env, XDG_STATE_HOME=str(self.state)), cwd=cwd)
        self.folder = folder
        self.screen = xdisplay.Display()
        self.window = self.shown("Limbrik Animator", deadline=60)  # a first start may wait on a cold disk
        if answer_at_start:  # the question about a killed editor's frames
            self.question(answer_at_start)
            self.gone("Limbrik Editor")
        assert wait_until(lambda: len(set(self.canvas())) > 1), "the canvas shows nothing"

    def __enter__(self):
        return self

    def __exit__(self, *exception):  # killed unless it has ended by itself
        self.program.stop()
        self.screen.close()

    def xdo(self, *args):
        assert output("xdotool", *map(str, args)) is not None, args

    def key(self, keys):
        self.xdo("key", "--clearmodifiers", keys)

    def point(self, x, y):  # canvas coordinates: the menu bar takes the window's top 20 pixels
        return ["mousemove", "--window", self.window, x, y + 20]

    def click(self, x, y, button=1):
        self.xdo(*self.point(x, y), "click", button)

    # As a fast hand drags: pressed on a handle, moved, released and moved on at once, in one go.
    def drag(self, from_xy, to_xy, *then):
        middle = ((from_xy[0] + to_xy[0]) // 2, (from_xy[1] + to_xy[1]) // 2)
        self.xdo(*self.point(*from_xy), "mousedown", 1, *self.point(*middle), *self.point(*to_xy), "mouseup", 1, *then)

    def x_window(self, window=None):
        return self.screen.create_resource_object("window", int(window or self.window))

    # The canvas as blue, green, red bytes, top row first; empty while the window is gone.
    def canvas(self):
        try:
            raw = self.x_window().get_image(0, 20, 400, 400, X.ZPixmap, 0xFFFFFFFF).data
        except xerror.XError:
            return b""
        bgr = bytearray(len(raw) // 4 * 3)
        for channel in range(3):
            bgr[channel::3] = raw[channel::4]
        return bytes(bgr)

    # The canvas once it has shown the same picture for a fifth of a second.
    def settled(self):
        seen = [self.canvas()]
        assert wait_until(lambda: seen.append(self.canvas()) or seen[-10:] == [seen[-1]] * 10), "it does not settle"
        return seen[-1]

    def visible(self, title, option="--name"):
        found = output("xdotool", "search", "--onlyvisible", option, f"^{title}$") or ""
        return found.split()

    # Waits for a window of this title and gives it the keyboard.
    def shown(self, title, deadline=PATIENCE):
        assert wait_until(lambda: self.visible(title), deadline), f'no window "{title}"'
        window = self.visible(title)[-1]
        output("xdotool", "windowactivate", "--sync", window)
        return window

    # Whether a window shows what it drew: one whose program does not paint stays one colour.
    def painted(self, window):
        geometry = self.x_window(window).get_geometry()
        return len(set(self.x_window(window).get_image(0, 0, geometry.width, geometry.height, X.ZPixmap,
                                                      0xFFFFFFFF).data)) > 2

    def mapped(self, window):  # this one window, however other windows come and go meanwhile
        try:
            return self.x_window(window).get_attributes().map_state == X.IsViewable
        except xerror.XError:
            return False

    def gone(self, title):
        assert wait_until(lambda: not self.visible(title)), f'"{title}" stays'

    def height(self, window=None):
        return self.x_window(window).get_geometry().height

    # The menu open over the window: Qt names an untitled popup after the program.
    def popup(self):
        found = []
        wait_until(lambda: found.extend(w for w in self.visible("limbrik", "--classname")
                                        if w != self.window and output("xdotool", "getwindowname", w) == "limbrik\n")
                   or found)
        return found[0] if found else None

    def close_box(self):  # as the window manager sends it: WM_DELETE_WINDOW
        assert output("wmctrl", "-i", "-c", self.window) is not None

    def question(self, answer):
        self.shown("Limbrik Editor")
        self.key(answer)

    def save_as(self, base, last_file):
        self.shown("Speichern unter")
        self.xdo("type", "--delay", 20, base)
        self.key("Return")
        assert wait_until(lambda: (self.folder / last_file).exists()), last_file

    def files(self):
        return sorted(p.name for p in self.folder.iterdir())


@pytest.fixture
def editor(x11, tmp_path, request):  # a test may name arguments: @pytest.mark.parametrize("editor", [...])
    with Editor(x11, tmp_path, *getattr(request, "param", [])) as started:
        yield started


@pytest.fixture(scope="session")
def sway(runtime_dirs):  # a headless sway; it refuses root, so a root suite runs it as nobody
    runtime_dir = runtime_dirs()
    root = os.geteuid() == 0
    if root:
        os.chown(runtime_dir, NOBODY, NOBODY)
    # No borders or title bars: a title bar that comes and goes while the window settles moves it.
    (runtime_dir / "config").write_text("xwayland disable\ndefault_border none\ndefault_floating_border none\n")
    env = dict(os.environ, XDG_RUNTIME_DIR=str(runtime_dir), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
               WLR_RENDERER="pixman", QT_QPA_PLATFORM="wayland", XDG_STATE_HOME=str(runtime_dir / "state"))
    env.pop("DISPLAY", None)
    if "ASAN_OPTIONS" in env:  # Mesa's leak under Qt's Wayland buffers is named only in a full stack
        env["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"
    argv = ["sway", "-c", str(runtime_dir / "config")]
    if root:
        argv = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"] + argv
    compositor = Program(argv, env=env)

    def socket(prefix):
        return next((p for p in runtime_dir.iterdir() if p.is_socket() and p.name.startswith(prefix)), None)
    assert wait_until(lambda: socket("wayland-") and socket("sway-ipc.")), "sway did not start"
    env.update(WAYLAND_DISPLAY=socket("wayland-").name, SWAYSOCK=str(socket("sway-ipc.")))
    yield env
    compositor.stop()


def sway_windows(env):  # every window in sway's tree, as sway describes it
    def windows(node):
        return [node] * bool(node.get("shell")) + [w for n in node.get("nodes", []) + node.get("floating_nodes", [])
                                                   for w in windows(n)]
    return windows(json.loads(output("swaymsg", "-t", "get_tree", "-r", env=env) or "{}"))
