#!/usr/bin/env python3
"""The converter's questions at a terminal: the offer to go on wants a typed
answer (an empty one asks again), and Ctrl+C at the dialog's prompt stops the
program there, with its message and status 5, before anything is written. A
host that stops answering is told on the status line, with how to stop, and
Ctrl+C then gives up on it.

    terminal_prompts.py TRASKEL_BINARY
"""
import fcntl
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import termios
import time

binary = os.path.abspath(sys.argv[1])
folder = tempfile.mkdtemp()
failures = []


def run_on_terminal(args, steps, **more_env):
    """Runs the converter on a terminal; each step waits for a text on the
    screen, then types its keys. Gives the exit status and the screen."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("LC_", "LANG", "QUORVEX_", "TRASKEL_"))}
    env.update(TERM="vt100", LC_ALL="C.UTF-8", TRASKEL_SETTINGS_DIR=folder, **more_env)
    terminal, user_side = pty.openpty()
    def own_terminal():
        # The terminal the converter's session controls, so that Ctrl+C on
        # it raises an interrupt, as in a shell.
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    converter = subprocess.Popen([binary] + args, stdin=user_side, stderr=user_side,
                                 stdout=subprocess.DEVNULL, cwd=folder, env=env,
                                 preexec_fn=own_terminal)
    os.close(user_side)
    screen = b""

    def read_until(done, seconds):
        nonlocal screen
        deadline = time.monotonic() + seconds
        while not done() and time.monotonic() < deadline:
            ready, _, _ = select.select([terminal], [], [], 0.1)
            if ready:
                try:
                    screen += os.read(terminal, 4096)
                except OSError:  # the converter has ended
                    return

    for wait_for, count, keys in steps:
        read_until(lambda: screen.count(wait_for.encode()) >= count, 20)
        os.write(terminal, keys)
    try:
        status = converter.wait(timeout=20)
    except subprocess.TimeoutExpired:
        converter.kill()
        status = f"none: still running after 20 s ({converter.wait()})"
    read_until(lambda: False, 0.3)
    os.close(terminal)
    return status, screen.decode(errors="replace")


try:
    header = "".join(f"Kopf {n}\n" for n in range(1, 11))
    export = os.path.join(folder, "t.csv")
    with open(export, "w") as f:
        f.write(header + "PT,P1,1,2,3,0,0,1,,,,,,,,,,1\nPT,P2,x\nPT,P3,1,2,3,0,0,1,,,,,,,,,,1\n")
    first = subprocess.run([binary, export], stdin=subprocess.DEVNULL, capture_output=True,
                           env=dict(os.environ, LC_ALL="C.UTF-8", TRASKEL_SETTINGS_DIR=folder))
    if first.returncode != 1:
        failures.append(f"the failing run ended with {first.returncode}")
    with open(export, "w") as f:
        f.write(header + "PT,P1,1,2,3,0,0,1,,,,,,,,,,1\nPT,P2,1,2,3,0,0,1,,,,,,,,,,1\n"
                "PT,P3,1,2,3,0,0,1,,,,,,,,,,1\n")

    prompt = "[J]a/[N]ein/[A]bbrechen: "
    status, screen = run_on_terminal([export], [(prompt, 1, b"\r"), (prompt, 2, b"j\r")])
    if status != 0:
        failures.append(f"going on ended with {status}")
    if "Ab Zeile 12 fortsetzen?" not in screen or screen.count(prompt) != 2:
        failures.append("the offer was not asked again after an empty answer")

    status, screen = run_on_terminal([], [("Datei: ", 1, b"\x03")])
    if status != 5:
        failures.append(f"Ctrl+C at the dialog ended with {status}")
    if "bevor etwas an Quorvex gesendet wurde" not in screen:
        failures.append("Ctrl+C at the dialog gave no message")
    silent = "Quorvex antwortet seit 0:01 nicht. (Strg+C bricht ab)"
    started = time.monotonic()
    status, screen = run_on_terminal(["--ab-zeile", "1", export], [(silent, 1, b"\x03")],
                                     QUORVEX_SIM_HANG_AT="30", QUORVEX_TIMEOUT_S="1")
    if silent not in screen:
        failures.append("a silent host was not told on the status line")
    if status != 5 or "nicht geantwortet" not in screen:
        failures.append(f"Ctrl+C did not give up on the silent host: status {status}")
    if time.monotonic() - started > 10:
        failures.append("giving up took too long")
    if failures:
        print("terminal showed:", screen, file=sys.stderr)
        print("\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print("the offer asked twice, Ctrl+C stopped the dialog and gave up on a silent host")
finally:
    shutil.rmtree(folder)
