# The editor natively on Wayland: the window as sway knows it, a drag and a right click from a
# virtual pointer, keys from a virtual keyboard (wtype), and the question a close request asks.
# The captured frames are read back from the editor's journal.
import json
import subprocess

from conftest import BINARY, Program, fnv1a, output, sway_windows, wait_until
from wayland_pointer import BUTTON_LEFT, BUTTON_RIGHT, VirtualPointer

APP_ID = "org.limbrik.animator"


def journaled(state):  # the pictures in the editor's journal: after its header, each a length and a zstd frame
    pictures = []
    for journal in state.glob("limbrik/*.journal"):
        data, at = journal.read_bytes(), 12
        while at + 4 <= len(data):
            end = at + 4 + int.from_bytes(data[at:at + 4], "little")
            pictures.append(subprocess.run(["zstd", "-d", "-c"], input=data[at + 4:end], capture_output=True).stdout)
            at = end
    return pictures


def test_a_drag_and_keys_pose_and_capture_as_on_x11_and_a_close_request_asks(sway, tmp_path):
    state = tmp_path / "state"
    pointer = VirtualPointer(sway)  # before the editor, whose seat then has a pointer from the start
    program = Program([BINARY], env=dict(sway, XDG_STATE_HOME=str(state)))
    try:
        def window_named(name, key="name"):
            return next((w for w in sway_windows(sway) if w.get(key) == name), None)
        assert wait_until(lambda: window_named(APP_ID, "app_id"), 60), f"no window of {APP_ID}"
        window = window_named(APP_ID, "app_id")
        assert (window["name"], window["shell"]) == ("Limbrik Animator", "xdg_shell")
        assert (window["geometry"]["width"], window["geometry"]["height"]) == (400, 420)
        layout = next(o["rect"] for o in json.loads(output("swaymsg", "-t", "get_outputs", "-r", env=sway)))
        extent = (layout["width"], layout["height"])
        left, top = window["rect"]["x"] + window["window_rect"]["x"], window["rect"]["y"] + window["window_rect"]["y"] + 20

        def at(x, y):  # canvas coordinates: the menu bar takes the window's top 20 pixels
            pointer.at(left + x, top + y, extent)
        def right_click(x, y):
            at(x, y)
            pointer.button(BUTTON_RIGHT, True)
            pointer.button(BUTTON_RIGHT, False)
            pointer.round_trip()
        # Until the editor has a frame from the pointer, its window may still be settling under it.
        for x in range(20, 200, 40):
            right_click(x, 100)
            if wait_until(lambda: journaled(state), 2):
                break
        first = len(journaled(state))
        at(200, 230)  # the hip handle, dragged as in the X11 road, released and followed at once by a capture
        pointer.button(BUTTON_LEFT, True)
        at(250, 215)
        at(300, 200)
        pointer.button(BUTTON_LEFT, False)
        right_click(50, 50)
        pointer.at(0, 0, extent)  # off the window for the keyboard's part
        pointer.round_trip()
        # A new virtual keyboard, then a pause in which Qt takes its key map.
        assert output("wtype", "-s", "300", "-M", "shift", "-k", "s", "-m", "shift", env=sway) is not None
        assert wait_until(lambda: len(journaled(state)) == first + 2), "the captures did not come"
        pictures = journaled(state)
        assert pictures[-1] == pictures[-2], "the right click and Umschalt+S captured different poses"
        assert fnv1a(pictures[-1]) == 0xAD60BAA4C84F482E  # the X11 road's frame: the pinned pose "8 south-east"
        assert output("swaymsg", f"[app_id={APP_ID}] kill", env=sway) is not None
        assert wait_until(lambda: window_named("Limbrik Editor")), "no question"
        assert output("wtype", "-s", "300", "-M", "alt", "-k", "n", "-m", "alt", env=sway) is not None
        program.ends_with_zero()
        assert journaled(state) == [], "the journal stays after Nein"
    finally:
        program.stop()
        pointer.close()
