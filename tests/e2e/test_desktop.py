# What a desktop and its user meet beside the roads: the command line's conventions, and a
# screen reader reading and working the editor through the real AT-SPI bus.
import subprocess
import time

from conftest import BINARY, Editor, wait_until


def test_help_and_version_answer_without_a_display_and_unknown_options_are_refused(x11):
    bare = {k: v for k, v in x11.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    answers = {arg: subprocess.run([BINARY, arg], env=x11 if arg == "--bogus" else bare, capture_output=True,
                                   text=True, timeout=30) for arg in ("--help", "--version", "--bogus")}
    assert (answers["--help"].returncode, answers["--help"].stdout.splitlines()[0]) == (0, "Aufruf: limbrik [Optionen]")
    assert (answers["--version"].returncode, answers["--version"].stdout) == (0, "limbrik 1.0\n")
    assert answers["--bogus"].returncode == 2
    assert answers["--bogus"].stderr.startswith("limbrik: unbekannte Option „--bogus“")


def test_a_screen_reader_names_the_frame_and_its_menu_and_plays_the_preview(x11, tmp_path):
    editor = Editor(dict(x11, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"), tmp_path, "-session", "restarted")
    import pyatspi  # after the suite's session bus is set

    def find(root, role, name=None):
        return pyatspi.findDescendant(root, lambda a: a.getRole() == role and name in (None, a.name))
    try:
        def application():
            return next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "limbrik"), None)
        assert wait_until(application), "the editor is not on the accessibility bus"
        frame = find(application(), pyatspi.ROLE_FRAME, "Limbrik Animator")
        assert frame, "the main window is no frame"
        assert find(frame, pyatspi.ROLE_TEXT, "FPS:"), "the frame-rate box is not named by its label"
        items = pyatspi.findAllDescendants(frame, lambda a: a.getRole() == pyatspi.ROLE_MENU_ITEM)
        keys = {item.name: item.queryAction().getKeyBinding(0) for item in items}
        assert set(keys) == {"Datei", "Neu", "Speichern", "Bild Speichern", "Vorschau", "Beenden"}
        assert (keys["Neu"], keys["Bild Speichern"]) == ("Ctrl+N", "Shift+S")
        editor.click(50, 50, 3)
        editor.drag((200, 230), (120, 250))  # two poses, so that playing shows
        editor.click(350, 350, 3)
        editor.key("ctrl+v")
        assert wait_until(lambda: editor.height() == 475), "no preview panel"
        button = find(frame, pyatspi.ROLE_CHECK_BOX, "Play/Pause")  # Qt's role for a button that stays down
        shown = editor.settled()
        button.queryAction().doAction(0)
        assert wait_until(lambda: editor.canvas() != shown), "the toggle action did not start the playback"
        assert button.getState().contains(pyatspi.STATE_CHECKED)
        button.queryAction().doAction(0)
        paused = editor.settled()
        time.sleep(0.3)
        assert editor.canvas() == paused, "still playing"
        assert not button.getState().contains(pyatspi.STATE_CHECKED)
    finally:
        editor.program.stop()
