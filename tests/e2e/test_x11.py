# The roads a user takes on X11, each ending with the program's exit status, and the command line.
import os
import pathlib
import platform
import signal
import subprocess
import time

import pytest
from conftest import BINARY, Editor, fnv1a, output, wait_until


def picture(path):  # a 400 x 400 bitmap file's pixels as the screen shows them: top row first
    data = path.read_bytes()
    return b"".join(data[54 + row * 1200:54 + (row + 1) * 1200] for row in reversed(range(400)))


# Every drag is released and followed at once by the next move or click, as a fast hand moves on.
def test_poses_captures_exports_plays_and_quits_from_the_menu(editor):
    editor.drag((200, 230), (300, 200), *editor.point(50, 50), "click", 3)  # the hip: the torso swings about the neck
    editor.drag((185, 214), (150, 250))  # the left hand
    editor.key("shift+s")
    # The right hand captured while held, held off the window, and after its release out there: one pose.
    editor.xdo(*editor.point(215, 214), "mousedown", 1, *editor.point(260, 240), "click", 3, "mousemove", 5, 5,
               "click", 3, "mouseup", 1, *editor.point(100, 300), *editor.point(350, 350), "click", 3)
    editor.click(300, 50, 3)  # one too many, taken back with the one before, which comes back
    for keys in ("ctrl+z", "ctrl+z", "ctrl+shift+z"):
        editor.key(keys)
    editor.key("alt+d")
    assert editor.popup(), "Alt+D opened nothing"
    editor.key("Escape")
    editor.key("ctrl+s")
    editor.save_as(editor.folder / "walk", "walk4r.bmp")
    assert editor.files() == sorted(f"walk{n}{side}.bmp" for n in range(5) for side in "lr")
    assert all((editor.folder / name).stat().st_size == 480054 for name in editor.files())
    # The hip swung to 45 degrees about the neck: the pinned pose "8 south-east".
    assert fnv1a((editor.folder / "walk0l.bmp").read_bytes()[54:]) == 0xAD60BAA4C84F482E
    held, outside, released = (picture(editor.folder / f"walk{n}l.bmp") for n in range(2, 5))
    assert held == outside, "the pose moved while the pointer was outside"
    assert held == released, "the pose follows a released pointer"

    editor.key("ctrl+v")
    assert wait_until(lambda: editor.height() == 475), "no preview panel"
    editor.click(45, 440)  # Play/Pause
    frames = [picture(editor.folder / f"walk{n}l.bmp") for n in range(3)]
    played = set()
    assert wait_until(lambda: played.update(n for n in range(3) if editor.canvas() == frames[n]) or len(played) == 3)
    editor.click(60, 300, 3)  # neither captures in preview: the quit below asks nothing
    editor.key("shift+s")
    editor.click(160, 440)  # into the frame-rate box, whose own Ctrl+V would paste
    editor.key("ctrl+v")
    assert wait_until(lambda: editor.height() == 420), "still in preview"

    editor.xdo("mousemove", "--window", editor.window, 20, 10, "click", 1)  # "Datei"
    menu = editor.popup()
    assert menu, "the menu did not open"
    editor.xdo("mousemove", "--window", menu, 30, editor.height(menu) - 12, "click", 1)  # "Beenden"
    editor.program.ends_with_zero()


# Without a place for its journal (a file where the folder should be) the editor draws its
# window first, says so over it, and works on; New with Nein discards the frames, so that the
# close box then asks nothing.
def test_without_a_journal_the_editor_warns_over_its_window_and_new_with_no_discards(x11, tmp_path):
    (tmp_path.parent / f"{tmp_path.name}-state").write_text("not a folder")
    with Editor(x11, tmp_path) as editor:
        editor.shown("Limbrik Editor")  # centred on the window: the head's handle above it
        assert wait_until(lambda: b"\x10\xff\x10" in editor.canvas()[:100 * 400 * 3]), "not drawn under the warning"
        editor.question("Return")
        editor.gone("Limbrik Editor")
        editor.click(50, 50, 3)
        editor.key("ctrl+n")
        editor.question("alt+n")
        editor.gone("Limbrik Editor")
        editor.close_box()
        editor.program.ends_with_zero()


def test_the_close_box_asks_and_quit_from_the_keyboard_saves_on_yes(editor):
    editor.click(50, 50, 3)
    editor.close_box()
    editor.question("Escape")  # Abbrechen: the editor stays with its frame
    editor.gone("Limbrik Editor")
    editor.key("F10")
    assert editor.popup(), "F10 opened nothing"
    editor.key("Up")  # the last item, "Beenden"
    editor.key("Return")
    editor.question("alt+j")
    editor.save_as(editor.folder / "final", "final0r.bmp")
    editor.program.ends_with_zero()
    assert editor.files() == ["final0l.bmp", "final0r.bmp"]


# A screen reader's user reads the window and its menu, plays and pauses the preview through
# the toggle action; then a logout, kill or Ctrl+C in a terminal reaches the editor as one of
# these signals while it plays. It was started as a session manager restarts programs.
@pytest.mark.parametrize("editor", [["-session", "restarted"]], indirect=True)
def test_a_screen_reader_plays_the_preview_and_signals_ask_once_however_many_come(editor):
    import pyatspi  # once the suite's session bus is set

    def find(root, role, name=None):
        return pyatspi.findDescendant(root, lambda a: a.getRole() == role and name in (None, a.name))

    def application():
        return next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "limbrik"), None)
    assert wait_until(application), "the editor is not on the accessibility bus"
    frame = find(application(), pyatspi.ROLE_FRAME, "Limbrik Animator")
    assert frame, "the main window is no frame"
    assert find(frame, pyatspi.ROLE_TEXT, "FPS:"), "the frame-rate box is not named by its label"
    items = pyatspi.findAllDescendants(frame, lambda a: a.getRole() == pyatspi.ROLE_MENU_ITEM)
    keys = {item.name: item.queryAction().getKeyBinding(0) for item in items}
    assert set(keys) == {"Datei", "Neu", "Speichern", "Bild Speichern", "Letztes Bild entfernen", "Bild wiederherstellen",
                         "Vorschau", "Beenden"}
    assert [keys[name] for name in ("Neu", "Bild Speichern", "Letztes Bild entfernen", "Bild wiederherstellen")] == [
        "Ctrl+N", "Shift+S", "Ctrl+Z", "Ctrl+Shift+Z"]
    editor.click(50, 50, 3)
    editor.drag((200, 230), (120, 250))  # two poses, so that playing shows
    editor.click(350, 350, 3)
    editor.key("ctrl+v")
    assert wait_until(lambda: editor.height() == 475), "no preview panel"
    preview = next(item for item in items if item.name == "Vorschau")
    assert wait_until(lambda: preview.getState().contains(pyatspi.STATE_CHECKED)), "Vorschau shows no check mark"
    button = find(frame, pyatspi.ROLE_CHECK_BOX, "Play/Pause")  # Qt's role for a button that stays down
    toggle = button.queryAction()
    checked = lambda: button.getState().contains(pyatspi.STATE_CHECKED)  # noqa: E731
    shown = editor.settled()
    toggle.doAction(0)
    assert wait_until(lambda: editor.canvas() != shown and checked()), "the toggle action did not start playback"
    toggle.doAction(0)
    paused = editor.settled()
    time.sleep(0.3)
    assert editor.canvas() == paused and not checked(), "the toggle action did not pause"
    toggle.doAction(0)
    assert wait_until(lambda: editor.canvas() != paused and checked()), "not playing again"
    editor.program.signal(signal.SIGTERM)
    editor.shown("Limbrik Editor")
    editor.program.signal(signal.SIGTERM)
    editor.program.signal(signal.SIGINT)
    time.sleep(0.3)
    editor.key("Escape")  # Abbrechen answers all three
    editor.gone("Limbrik Editor")
    time.sleep(0.5)
    assert not editor.visible("Limbrik Editor"), "asked again"
    editor.program.signal(signal.SIGHUP)
    editor.question("alt+n")
    editor.program.ends_with_zero()
    assert editor.files() == []


# Killed after an export: the next start offers the frames again, Ja restores them unsaved, and
# their export is the same to the byte; the clean end after it leaves no journal behind.
def test_frames_of_a_killed_editor_come_back_on_ja_exactly_as_captured(x11, tmp_path):
    with Editor(x11, tmp_path) as editor:  # and killed at its end
        editor.click(50, 50, 3)
        editor.drag((200, 230), (300, 200), *editor.point(80, 60), "click", 3)  # not a double click of the first
        editor.key("ctrl+s")
        editor.save_as(tmp_path / "before", "before1r.bmp")
    with Editor(x11, tmp_path, answer_at_start="alt+j") as editor:
        editor.close_box()
        editor.question("Escape")  # unsaved: the quit asks
        editor.gone("Limbrik Editor")
        editor.key("ctrl+s")
        editor.save_as(tmp_path / "after", "after1r.bmp")
        editor.close_box()
        editor.program.ends_with_zero()
    for name in (f"{n}{side}.bmp" for n in range(2) for side in "lr"):
        assert (tmp_path / f"after{name}").read_bytes() == (tmp_path / f"before{name}").read_bytes(), name
    assert list((editor.state / "limbrik").iterdir()) == []


SYNCFS, FDATASYNC = {"x86_64": (306, 75), "aarch64": (267, 83)}[platform.machine()]


# A disk that takes long to flush (every syncfs held up for twenty seconds, every fdatasync for
# two, so that the journal's flush after a capture is seen): the progress window
# shows while the flush is held, painted by a loop that still runs, and a target that appears,
# immutable, meanwhile stops the export before any rename. The next export completes although
# the system interrupts every other link, flush and rename. The save dialog opens in the folder,
# so that the name is typed without a path and no completer's list can take its Return.
def test_a_slow_flush_shows_the_progress_window_while_it_is_held(x11, tmp_path):
    traced = dict(x11, ASAN_OPTIONS=x11.get("ASAN_OPTIONS", "") + ":detect_leaks=0",  # no leak check under ptrace
                  XDG_CONFIG_HOME=str(tmp_path.parent / "config"))  # no folder remembered by earlier dialogs
    editor = Editor(traced, tmp_path, wrapper=["strace", "-f", "-o", "/dev/null", "-e", "inject=syncfs:delay_enter=20000000",
                                               "-e", "inject=fdatasync:delay_enter=2000000",
                                               "-e", "inject=linkat,fsync,renameat:error=EINTR:when=1+2"], cwd=tmp_path)
    pid = int(output("pgrep", "-P", str(editor.program.process.pid)))

    def flushing(call=SYNCFS):  # a thread of the editor is inside that call
        return any(p.read_text().split(" ")[0] == str(call) for p in pathlib.Path(f"/proc/{pid}/task").glob("*/syscall"))

    def export():
        editor.key("ctrl+s")
        editor.shown("Speichern unter")
        editor.xdo("type", "--delay", 20, "walk")
        editor.key("Return")
    try:
        editor.click(50, 50, 3)
        assert wait_until(lambda: flushing(FDATASYNC)), "the capture's journal record is not flushed"
        export()
        assert wait_until(flushing), "no flush"
        progress = editor.shown("Limbrik Editor")
        assert flushing(), "the window came after the flush"
        assert wait_until(lambda: editor.painted(progress)), "nothing paints while the disk flushes"
        for name in ("walk0l.bmp", "walk0r.bmp"):
            (tmp_path / name).write_text("old")
        subprocess.run(["chattr", "+i", tmp_path / "walk0r.bmp"], check=True)
        assert wait_until(lambda: not editor.mapped(progress), 40)
        editor.question("Return")  # the message that the file is protected
        subprocess.run(["chattr", "-i", tmp_path / "walk0r.bmp"], check=True)
        assert [(tmp_path / name).read_text() for name in editor.files()] == ["old", "old"]
        for name in editor.files():
            (tmp_path / name).unlink()
        export()
        names = ["walk0l.bmp", "walk0r.bmp"]  # the temporaries gone: then both names stay
        assert wait_until(lambda: editor.files() == names and all((tmp_path / n).stat().st_size == 480054 for n in names), 40)
        editor.close_box()  # saved: nothing to ask
        editor.program.ends_with_zero()
    finally:
        subprocess.run(["chattr", "-i", tmp_path / "walk0r.bmp"])
        editor.__exit__()


# The address space limited below what the running editor maps, as prlimit limits it: Ctrl+S
# warns that memory is short, and the save dialog still opens and saves every frame.
def test_memory_short_warns_and_the_save_still_runs(editor):
    if "ASAN_OPTIONS" in os.environ:
        pytest.skip("the sanitizer maps more address space than any limit can leave")
    editor.click(50, 50, 3)
    editor.click(80, 60, 3)
    pid = str(editor.program.process.pid)
    mapped = int(pathlib.Path(f"/proc/{pid}/statm").read_text().split()[0]) * os.sysconf("SC_PAGESIZE")
    subprocess.run(["prlimit", "--pid", pid, f"--as={mapped - (4 << 20)}:"], check=True)
    editor.key("ctrl+s")
    editor.question("Return")  # "Der Arbeitsspeicher ist knapp geworden. …"
    editor.save_as(editor.folder / "short", "short1r.bmp")
    subprocess.run(["prlimit", "--pid", pid, "--as=unlimited:"], check=True)
    editor.close_box()  # saved: nothing to ask
    editor.program.ends_with_zero()
    assert len(editor.files()) == 4


def test_help_and_version_answer_without_a_display_and_unknown_options_are_refused(x11):
    bare = {k: v for k, v in x11.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    answers = {arg: subprocess.run([BINARY, arg], env=x11 if arg == "--bogus" else bare, capture_output=True,
                                   text=True, timeout=30) for arg in ("--help", "--version", "--bogus")}
    assert (answers["--help"].returncode, answers["--help"].stdout.splitlines()[0]) == (0, "Aufruf: limbrik [Optionen]")
    assert (answers["--version"].returncode, answers["--version"].stdout) == (0, "limbrik 1.0\n")
    assert answers["--bogus"].returncode == 2
    assert "limbrik: unbekannte Option „--bogus“" in answers["--bogus"].stderr
