# The editor natively on Wayland: the window as sway knows it, a key from a virtual keyboard
# (wtype) and the question a close request asks. The X11 roads drive the rest.
from conftest import BINARY, Program, output, sway_windows, wait_until

APP_ID = "org.limbrik.animator"


def test_the_window_names_its_desktop_entry_and_a_close_request_asks(sway):
    program = Program([BINARY], env=sway)
    try:
        def editor_window():
            return next((w for w in sway_windows(sway) if w.get("app_id") == APP_ID), None)
        assert wait_until(editor_window, 60), f"no window of {APP_ID}"
        window = editor_window()
        assert (window["name"], window["shell"]) == ("Limbrik Animator", "xdg_shell")
        assert (window["geometry"]["width"], window["geometry"]["height"]) == (400, 420)
        # A new virtual keyboard, then a pause in which Qt takes its key map.
        assert output("wtype", "-s", "300", "-M", "shift", "-k", "s", "-m", "shift", env=sway) is not None
        assert output("swaymsg", f"[app_id={APP_ID}] kill", env=sway) is not None
        assert wait_until(lambda: any(w.get("name") == "Limbrik Editor" for w in sway_windows(sway))), "no question"
        assert output("wtype", "-s", "300", "-M", "alt", "-k", "n", "-m", "alt", env=sway) is not None
        program.ends_with_zero()
    finally:
        program.stop()
