# The editor natively on Wayland: the window as sway knows it, a drag and a right click from a
# virtual pointer, keys from a virtual keyboard (wtype), and the question a close request asks.
import json

from conftest import BINARY, Program, fnv1a, output, sway_windows, wait_until
from wayland_pointer import BUTTON_LEFT, BUTTON_RIGHT, VirtualPointer

APP_ID = "org.limbrik.animator"


def test_a_drag_and_keys_pose_capture_and_save_as_on_x11_and_a_close_request_asks(sway, tmp_path):
    pointer = VirtualPointer(sway)  # before the editor, whose seat then has a pointer from the start
    program = Program([BINARY], env=dict(sway, XDG_STATE_HOME=str(tmp_path / "state")))
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
            if wait_until(lambda: any(j.stat().st_size > 12 for j in tmp_path.glob("state/limbrik/*")), 2):  # a frame
                break
        at(200, 230)  # the hip handle, dragged as in the X11 road, released and followed at once by a capture
        pointer.button(BUTTON_LEFT, True)
        at(250, 215)
        at(300, 200)
        pointer.button(BUTTON_LEFT, False)
        right_click(50, 50)
        # A new virtual keyboard, then a pause in which Qt takes its key map.
        assert output("wtype", "-s", "300", "-M", "shift", "-k", "s", "-m", "shift", env=sway) is not None
        assert output("swaymsg", f"[app_id={APP_ID}] kill", env=sway) is not None
        assert wait_until(lambda: window_named("Limbrik Editor")), "no question"
        assert output("wtype", "-s", "300", "-M", "alt", "-k", "j", "-m", "alt", env=sway) is not None
        assert wait_until(lambda: (window_named("Speichern unter") or {}).get("focused")), "no save dialog"
        assert output("wtype", "-s", "300", str(tmp_path / "walk"), "-k", "Return", env=sway) is not None
        program.ends_with_zero()
    finally:
        program.stop()
        pointer.close()
    frames = [path.read_bytes() for path in sorted(tmp_path.glob("walk*l.bmp"), key=lambda p: int(p.name[4:-5]))]
    assert frames[-1] == frames[-2], "the right click and Umschalt+S captured different poses"
    assert fnv1a(frames[-1][54:]) == 0xAD60BAA4C84F482E  # the X11 road's frame: the pinned pose "8 south-east"
