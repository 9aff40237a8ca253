#!/usr/bin/env python3
# Wakeups and processor time of the editor at rest and playing at 25 frames a second, beside
# the polling peer (every pass waits at most 2 ms), both on one Xvfb display in one run.
# Usage: wakeups.py LIMBRIK POLLING_PEER
import os
import subprocess
import sys
import tempfile
import time

SECONDS = 3


def run(*argv, env):
    return subprocess.run(argv, env=env, capture_output=True, text=True).stdout


def counts(pid):  # context switches of every thread, and processor ticks
    switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/status") as status:
            switches += sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return switches, int(fields[11]) + int(fields[12])


def measure(pid):
    switches, ticks = counts(pid)
    time.sleep(SECONDS)
    after, later = counts(pid)
    return (after - switches) / SECONDS, 100.0 * (later - ticks) / os.sysconf("SC_CLK_TCK") / SECONDS


def editor(binary, env):
    program = subprocess.Popen([binary], env=env)
    for _ in range(500):
        window = run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid), "--name", "^Limbrik Animator$",
                     env=env).split()
        if window:
            return program, window[0]
        time.sleep(0.02)
    raise SystemExit(f"{binary}: no window")


# At rest after two captures, whose journal has been flushed; then playing them.
def figures(binary, env):
    with tempfile.TemporaryDirectory() as state:  # the killed editor's journal goes with it
        return measured(binary, dict(env, XDG_STATE_HOME=state))


def measured(binary, env):
    program, window = editor(binary, env)
    xdo = lambda *args: run("xdotool", *map(str, args), env=env)  # noqa: E731
    xdo("windowactivate", "--sync", window)
    for x in (50, 350):
        xdo("mousemove", "--window", window, x, 70, "click", 3)
    time.sleep(1)
    rest = measure(program.pid)
    xdo("key", "--clearmodifiers", "ctrl+v")
    time.sleep(0.5)
    xdo("mousemove", "--window", window, 45, 460, "click", 1)
    time.sleep(0.5)
    playing = measure(program.pid)
    program.kill()
    program.wait()
    return rest, playing


def main():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=[write])
    os.close(write)
    with os.fdopen(read) as pipe:
        env = dict(os.environ, DISPLAY=":" + pipe.readline().strip(), QT_QPA_PLATFORM="xcb")
    manager = subprocess.Popen(["openbox", "--sm-disable"], env=env)
    time.sleep(1)
    try:
        ours, peer = figures(sys.argv[1], env), figures(sys.argv[2], env)
    finally:
        manager.kill()
        server.kill()
    print(f"{'':22}{'wakeups/s':>12}{'% of a core':>14}{'peer wakeups/s':>17}{'peer %':>9}{'ratio':>8}")
    for name, mine, theirs in (("at rest", ours[0], peer[0]), ("playing at 25 fps", ours[1], peer[1])):
        print(f"{name:22}{mine[0]:12.1f}{mine[1]:14.2f}{theirs[0]:17.1f}{theirs[1]:9.2f}{mine[0] / theirs[0]:8.3f}")


main()
